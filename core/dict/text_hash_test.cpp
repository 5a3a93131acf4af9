#include "core/dict/text_hash.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

namespace tsugihagi {
namespace {

TEST(text_hash, of_every_window_equals_the_hash_of_its_text) {
  std::mt19937 rng(3);
  line_hashes h;
  for (int round = 0; round < 50; ++round) {
    std::u16string line(rng() % 40, u'\0');
    // Units from both ends of the range, where a sign or carry slip would show.
    for (char16_t& c : line)
      c = static_cast<char16_t>(rng() % 2 != 0 ? rng() % 4 : 0xFFFC + rng() % 4);
    prepare_line_hashes(h, line);
    for (std::size_t start = 0; start <= line.size(); ++start) {
      for (std::size_t length = 0; start + length <= line.size(); ++length) {
        ASSERT_EQ(window_hash(h, start, length), text_hash(line.substr(start, length)))
            << round << " " << start << " " << length;
      }
    }
  }
}

TEST(text_hash, tells_apart_short_texts_and_their_lengths) {
  // Every text of up to 3 units over {0, 1, 2}, including leading and trailing zero units,
  // and the empty text: no two share a hash, nor the 16 bits a slot tag keeps.
  std::set<std::uint64_t> hashes;
  std::set<std::uint64_t> tops;
  std::size_t texts = 0;
  std::u16string text;
  const auto visit = [&](auto&& self, std::size_t left) -> void {
    hashes.insert(text_hash(text));
    tops.insert(text_hash(text) >> 48);
    ++texts;
    if (left == 0) return;
    for (char16_t c = 0; c < 3; ++c) {
      text.push_back(c);
      self(self, left - 1);
      text.pop_back();
    }
  };
  visit(visit, 3);
  EXPECT_EQ(hashes.size(), texts);
  EXPECT_EQ(tops.size(), texts);
}

}  // namespace
}  // namespace tsugihagi
