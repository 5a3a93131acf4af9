#include "bench/bench_corpus.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string_view>

#include "core/app/turn_buffers.h"
#include "core/io/utf8.h"

namespace tsugihagi::bench {

std::filesystem::path shared_dir() {
  if (const char* env = std::getenv("TSUGIHAGI_SHARED_DIR")) return env;
  return TSUGIHAGI_SHARED_DIR;
}

std::vector<std::u16string> corpus_lines(std::size_t count) {
  const std::filesystem::path path = shared_dir() / "corpus" / "ja-sentences.txt";
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s (set TSUGIHAGI_SHARED_DIR)\n", path.c_str());
    std::exit(2);
  }
  std::vector<std::u16string> lines;
  std::string line;
  while (lines.size() < count && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::u16string text = utf8_to_utf16(line);
    if (text.size() > static_cast<std::size_t>(max_line_units)) text.resize(max_line_units);
    if (!text.empty()) lines.push_back(std::move(text));
  }
  return lines;
}

std::vector<std::u16string> split_words(const std::vector<std::u16string>& lines) {
  constexpr std::u16string_view separators = u"、。，．,.!?！？ \t\u3000";
  std::vector<std::u16string> words;
  for (const std::u16string& line : lines) {
    std::size_t start = 0;
    while (start < line.size()) {
      std::size_t end = line.find_first_of(separators, start);
      if (end == std::u16string::npos) end = line.size();
      if (end > start) words.push_back(line.substr(start, end - start));
      start = end + 1;
    }
  }
  return words;
}

std::u16string ideograph_line(std::uint32_t seed, std::size_t length, char16_t first,
                              char16_t span) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(0, span - 1);
  std::u16string line(length, u'\0');
  for (char16_t& c : line)
    c = static_cast<char16_t>(first + pick(gen));
  return line;
}

}  // namespace tsugihagi::bench
