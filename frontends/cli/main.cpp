// tsugihagi-cli: talk to the bot from a terminal, or teach it a text file.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "frontends/cli/terminal_session.h"

namespace {

int usage() {
  std::cerr << "usage: tsugihagi-cli [--dir DIR] [--seed N] [--no-save] [--learn FILE]\n"
               "                     [--max-entries N]\n"
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
    } else if (arg == "--max-entries" && has_value) {
      const std::string value = argv[++i];
      char* end = nullptr;
      const long long n = std::strtoll(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || n < 1 || n > 0xFFFFFF) {
        std::cerr << "tsugihagi-cli: --max-entries takes a whole number from 1 to 16777215, not \""
                  << value << "\"\n";
        return 2;
      }
      options.entry_limit = static_cast<std::int32_t>(n);
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
