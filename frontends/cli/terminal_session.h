// The terminal front-end: a session over standard input and output, or a text file to learn.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tsugihagi {

struct terminal_options {
  std::filesystem::path dir = ".";
  std::optional<std::uint32_t> seed;           // instead of the clock, at the first turn
  bool save = true;                            // false: --no-save
  std::optional<std::filesystem::path> learn;  // learn this file's lines, then save and end
  std::int32_t entry_limit = 0xFFFFFF;         // --max-entries: 1 .. 16,777,215
};

// Runs one session; returns the process exit status.
int run_terminal(const terminal_options& options);

}  // namespace tsugihagi
