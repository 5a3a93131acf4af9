// The command line of tsugihagi-cli, parsed with CLI11: the options, their checks, --help and
// --version. Parsing does nothing else: it reads no file and changes none.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tsugihagi {

struct terminal_options {
  std::optional<std::filesystem::path> dir;  // --dir; else the folder the window uses
  std::optional<std::uint32_t> seed;         // instead of the clock, at the first turn
  bool save = true;                          // false: --no-save
  std::optional<std::string> learn;          // a file whose lines to learn; "-" standard input
  std::int32_t entry_limit = 0xFFFFFF;       // --max-entries: 1 .. 16,777,215
  bool stats = false;                        // --stats
  std::optional<std::string> stats_word;     // --stats WORD
  std::optional<std::string> export_file;    // --export FILE; "-" standard output
  std::optional<std::string> forget;         // --forget TEXT: what holds it goes
  bool dry_run = false;                      // --dry-run: --forget only lists what would go
};

// What the command line asks for: options to run with, or an exit status with the texts to
// print (--help and --version on standard output with status 0, wrong usage on standard
// error with status 2).
struct parsed_command_line {
  std::optional<terminal_options> options;
  int status = 0;
  std::string out;
  std::string err;
};

parsed_command_line parse_command_line(int argc, const char* const* argv);

// "0" to "4294967295" exactly: decimal digits only, no sign, no spaces.
std::optional<std::uint32_t> parse_seed(const std::string& text);

}  // namespace tsugihagi
