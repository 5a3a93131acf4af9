// tsugihagi-cli: talk to the bot from a terminal, or teach it a text file.
#include <cstring>
#include <iostream>
#include <string>

#include "frontends/cli/terminal_session.h"

namespace {

int usage() {
  std::cerr << "usage: tsugihagi-cli [--dir DIR] [--seed N] [--no-save] [--learn FILE]\n"
               "Talks on standard input and output (UTF-8), one line per turn, in DIR\n"
               "(default: the current folder), which must hold data/ with the five files.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tsugihagi::terminal_options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--dir" && has_value) {
      options.dir = argv[++i];
    } else if (arg == "--seed" && has_value) {
      try {
        options.seed = static_cast<std::uint32_t>(std::stoull(argv[++i]));
      } catch (const std::exception&) {
        return usage();
      }
    } else if (arg == "--no-save") {
      options.save = false;
    } else if (arg == "--learn" && has_value) {
      options.learn = argv[++i];
    } else {
      return usage();
    }
  }
  return tsugihagi::run_terminal(options);
}
