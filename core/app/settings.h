// The one setting, save-on-exit, kept as a single byte in "config".
#pragma once

#include <cstdint>
#include <filesystem>

namespace tsugihagi {

struct settings {
  std::uint8_t save_on_exit = 0;  // 0 off, anything else on; stored back unchanged
  bool settings_abort = false;    // "config" could not be opened after every attempt
};

inline constexpr int settings_open_attempts = 64;

// Reads the byte from `path`, creating the file empty when missing (an empty file means on).
void load_settings(settings& s, const std::filesystem::path& path);
// Writes the single byte; failures are not reported.
void save_settings(const settings& s, const std::filesystem::path& path);

}  // namespace tsugihagi
