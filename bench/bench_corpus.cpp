#include "bench/bench_corpus.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string_view>
#include <utility>

#include "core/app/turn_buffers.h"
#include "core/io/utf8.h"

namespace tsugihagi::bench {

std::filesystem::path shared_dir() {
  if (const char* env = std::getenv("TSUGIHAGI_SHARED_DIR")) return env;
  return TSUGIHAGI_SHARED_DIR;
}

std::vector<std::u16string> corpus_lines(std::size_t count) {
  return corpus_file_lines("ja-sentences.txt", count);
}

std::vector<std::u16string> corpus_file_lines(const std::filesystem::path& file,
                                              std::size_t count) {
  std::filesystem::path path = file;
  if (!std::filesystem::exists(path)) path = shared_dir() / "corpus" / file;
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

std::u16string reorder_clauses(const std::u16string& line, std::uint64_t seed) {
  if (seed == 0) return line;
  std::vector<std::u16string> clauses;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find_first_of(u"、。", start);
    end = end == std::u16string::npos ? line.size() : end + 1;
    clauses.push_back(line.substr(start, end - start));
    start = end;
  }
  std::uint64_t state = seed;
  const auto next = [&state] {  // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  };
  for (std::size_t i = clauses.size(); i > 1; --i)
    std::swap(clauses[i - 1], clauses[next() % i]);
  std::u16string out;
  for (const std::u16string& clause : clauses)
    out += clause;
  return out;
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
