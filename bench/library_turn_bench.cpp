// Turns through the C library on a taught state, for comparison with the same turns from
// Python (bench/python_turn_bench.py): teaches the first LINES corpus lines through
// tsugihagi_learn, then times TURNS short turns (tsugihagi_converse) and prints the median and
// the 99th percentile in microseconds.
//
// usage: tsugihagi_bench_library_turns [LINES [TURNS]]   (defaults 30000 and 2000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "core/io/utf8.h"
#include "include/tsugihagi.h"

int main(int argc, char** argv) {
  const std::size_t line_count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 30000;
  const std::size_t turn_count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2000;
  std::vector<std::string> lines;
  for (const std::u16string& line : tsugihagi::bench::corpus_lines(line_count))
    lines.push_back(tsugihagi::utf16_to_utf8(line));
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tsugihagi-turns";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  tsugihagi_options options;
  tsugihagi_options_init(&options);
  options.use_seed = 1;
  options.seed = 20261210;
  options.save = TSUGIHAGI_SAVE_NEVER;
  options.transcript = 0;
  tsugihagi_bot* bot = nullptr;
  if (tsugihagi_open(dir.c_str(), &options, &bot) != TSUGIHAGI_OK) return 1;
  for (const std::string& line : lines)
    tsugihagi_learn(bot, line.data(), line.size());
  std::vector<double> micros;
  for (std::size_t i = 0; i < turn_count; ++i) {
    std::string line = lines[(i * 7919) % lines.size()];
    line.resize(std::min<std::size_t>(line.size(), 30 + 3 * (i % 11)));
    while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80)
      line.pop_back();  // no cut character
    if (!line.empty()) line.pop_back();
    char* reply = nullptr;
    std::size_t length = 0;
    const auto start = std::chrono::steady_clock::now();
    tsugihagi_converse(bot, line.data(), line.size(), &reply, &length);
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    tsugihagi_free(reply);
  }
  tsugihagi_close(bot);
  std::filesystem::remove_all(dir);
  std::sort(micros.begin(), micros.end());
  std::printf("%.1f %.1f\n", micros[micros.size() / 2], micros[micros.size() * 99 / 100]);
  return 0;
}
