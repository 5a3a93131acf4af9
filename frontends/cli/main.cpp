// tsugihagi-cli: talk to the bot from a terminal, teach it a text file, or look at what it
// has learned.
#include <cstdio>

#include "frontends/cli/command_line.h"
#include "frontends/cli/terminal_session.h"
#include "frontends/cli/translation.h"

int main(int argc, char** argv) {
  tsugihagi::start_translation();
  const tsugihagi::parsed_command_line parsed = tsugihagi::parse_command_line(argc, argv);
  if (!parsed.options) {
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    return parsed.status;
  }
  return tsugihagi::run_terminal(*parsed.options);
}
