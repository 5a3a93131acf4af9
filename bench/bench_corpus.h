// Inputs for the benchmarks: lines and words of the shared Japanese corpus as UTF-16, and
// synthetic lines of CJK ideographs for worst cases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tsugihagi::bench {

// The shared data folder: $TSUGIHAGI_SHARED_DIR, else ../shared beside the source tree.
std::filesystem::path shared_dir();

// Up to `count` non-empty corpus lines, each cut to the longest line a turn accepts. Exits
// with a message when the corpus cannot be read.
std::vector<std::u16string> corpus_lines(std::size_t count = SIZE_MAX);
// The same from another file: `file` as given when it exists, else in the shared corpus folder.
std::vector<std::u16string> corpus_file_lines(const std::filesystem::path& file,
                                              std::size_t count = SIZE_MAX);

// The line with its clauses (stretches ending at 、 or 。, and the rest) in an order that
// depends on `seed` alone: a Fisher-Yates shuffle driven by splitmix64. Seed 0 keeps the line.
std::u16string reorder_clauses(const std::u16string& line, std::uint64_t seed);

// The words of the lines: the non-empty stretches between punctuation (、。，．,.!?！？)
// and spaces.
std::vector<std::u16string> split_words(const std::vector<std::u16string>& lines);

// A line of `length` ideographs drawn from [first, first + span) by a generator seeded
// with `seed`; the same arguments give the same line.
std::u16string ideograph_line(std::uint32_t seed, std::size_t length, char16_t first,
                              char16_t span);

}  // namespace tsugihagi::bench
