// The progress bar of a --learn run on a terminal: share of the file read (bytes read of its
// size), lines learned, the current rate (over the last few seconds) and the time left at
// that rate. Redraws at most ten times a second, in place, on one line, cut to the terminal's
// width.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace tsugihagi {

class progress_bar {
 public:
  using clock = std::chrono::steady_clock;

  // `total_bytes` is the size of the file, or nothing when it is not known (a pipe).
  progress_bar(std::FILE* out, std::optional<std::uint64_t> total_bytes);
  progress_bar(const progress_bar&) = delete;
  progress_bar& operator=(const progress_bar&) = delete;

  void update(std::uint64_t bytes, std::int64_t lines);
  // Clears the bar's line.
  void finish();

 private:
  struct sample {
    clock::time_point time;
    std::uint64_t bytes;
    std::int64_t lines;
  };

  std::FILE* out_;
  std::optional<std::uint64_t> total_;
  clock::time_point last_draw_;
  std::deque<sample> recent_;
  bool drawn_ = false;
};

// One drawing of the bar (without the carriage return), for `lines_per_second` and
// `bytes_per_second` measured recently.
std::string progress_text(std::uint64_t bytes, std::optional<std::uint64_t> total,
                          std::int64_t lines, double lines_per_second, double bytes_per_second);

// The start of `text` that takes at most `columns` columns on a terminal (wide and full-width
// characters two), in whole characters.
std::string fit_columns(std::string_view text, int columns);

}  // namespace tsugihagi
