#include "core/dict/segmentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using strmorph::dic_t;
using testing::add;
using testing::words_of;
using segmentation = std::map<std::int32_t, std::int32_t>;

std::int32_t id_of(dic_t& d, std::u16string_view text) {
  const auto* entry = strmorph::find_word(d, text.data(), static_cast<std::int32_t>(text.size()));
  return entry == nullptr ? -99 : entry->second.id;
}

// Segments `text` and returns the pieces as texts, in position order.
std::vector<std::u16string> pieces(dic_t& d, std::u16string_view text, bool* all_known = nullptr) {
  segmentation out;
  const bool flag = segment(d, text.data(), static_cast<std::int32_t>(text.size()), out);
  if (all_known != nullptr) *all_known = flag;
  std::vector<std::u16string> texts;
  for (const auto& [position, id] : out)
    texts.emplace_back(strmorph::word_text(d, id));
  return texts;
}

using texts = std::vector<std::u16string>;
using counted = std::vector<std::pair<std::u16string, std::int32_t>>;

TEST(segment, takes_the_longest_known_word_then_splits_the_rest) {
  dic_t d;
  const std::int32_t abc = add(d, u"abc");
  add(d, u"ab");
  segmentation out;
  EXPECT_TRUE(segment(d, u"abcd", 4, out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out.at(0), abc);
  EXPECT_EQ(out.at(3), id_of(d, u"d"));
  EXPECT_EQ(words_of(d), (counted{{u"d", 0}, {u"ab", 0}, {u"abc", 0}}))
      << "a known word is not counted again";
}

TEST(segment, searches_a_left_part_with_windows_shorter_than_the_match) {
  dic_t d;
  add(d, u"bc");
  add(d, u"abcd");
  bool all_known = false;
  EXPECT_EQ(pieces(d, u"xabcdy", &all_known), (texts{u"x", u"abcd", u"y"}));
  EXPECT_TRUE(all_known);
}

TEST(segment, a_one_unit_left_part_becomes_a_word_without_clearing_the_flag) {
  dic_t d;
  add(d, u"bc");
  bool all_known = false;
  EXPECT_EQ(pieces(d, u"abc", &all_known), (texts{u"a", u"bc"}));
  EXPECT_TRUE(all_known);
  EXPECT_EQ(pieces(d, u"abc", &all_known), (texts{u"a", u"bc"}));
  EXPECT_EQ(words_of(d), (counted{{u"a", 1}, {u"bc", 0}}))
      << "the remnant is added again, so counted; the known word is only found";
}

TEST(segment, makes_an_unknown_line_one_word_by_the_fall_back_rule) {
  dic_t d;
  add(d, u"x");
  bool all_known = true;
  EXPECT_EQ(pieces(d, u"xyz", &all_known), (texts{u"xyz"}))
      << "known one-unit words do not stop the fall-back";
  EXPECT_FALSE(all_known);
  EXPECT_EQ(pieces(d, u"xy", &all_known), (texts{u"xy"}));
  EXPECT_FALSE(all_known);
}

TEST(segment, applies_the_fall_back_rule_to_an_unknown_right_part) {
  dic_t d;
  add(d, u"ab");
  bool all_known = true;
  EXPECT_EQ(pieces(d, u"abcd", &all_known), (texts{u"ab", u"cd"}));
  EXPECT_FALSE(all_known);
}

TEST(segment, makes_a_one_unit_line_a_word_and_keeps_the_flag) {
  dic_t d;
  bool all_known = false;
  EXPECT_EQ(pieces(d, u"あ", &all_known), (texts{u"あ"}));
  EXPECT_TRUE(all_known);
  EXPECT_EQ(pieces(d, u"あ", &all_known), (texts{u"あ"}));
  EXPECT_EQ(words_of(d), (counted{{u"あ", 1}})) << "a one-unit region is added, so counted";
}

TEST(segment, empties_the_callers_map_first) {
  dic_t d;
  segmentation out{{7, 7}, {100, 1}};
  segment(d, u"ab", 2, out);
  EXPECT_EQ(out, (segmentation{{0, id_of(d, u"ab")}}));
}

// Whatever the dictionary holds, the pieces tile the line without gaps or overlaps.
TEST(segment, pieces_always_tile_the_line) {
  dic_t d;
  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    std::u16string line(1 + random() % 12, u'a');
    for (char16_t& c : line)
      c = static_cast<char16_t>(u'a' + random() % 3);
    segmentation out;
    segment(d, line.data(), static_cast<std::int32_t>(line.size()), out);
    std::u16string joined;
    for (const auto& [position, id] : out) {
      ASSERT_EQ(static_cast<std::size_t>(position), joined.size()) << "line " << round;
      joined += strmorph::word_text(d, id);
    }
    EXPECT_EQ(joined, line);
  }
}

}  // namespace
}  // namespace tsugihagi
