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

// The words of the lines: the non-empty stretches between punctuation (、。，．,.!?！？)
// and spaces.
std::vector<std::u16string> split_words(const std::vector<std::u16string>& lines);

// A line of `length` ideographs drawn from [first, first + span) by a generator seeded
// with `seed`; the same arguments give the same line.
std::u16string ideograph_line(std::uint32_t seed, std::size_t length, char16_t first,
                              char16_t span);

}  // namespace tsugihagi::bench
