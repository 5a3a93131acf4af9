#include "core/memory/word_discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/dict/segmentation.h"
#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using strmorph::dic_t;
using testing::add;
using testing::words_of;
using texts = std::vector<std::u16string>;
using counted = std::vector<std::pair<std::u16string, std::int32_t>>;

// Segments `text` and returns the pieces as texts, in position order.
texts pieces(dic_t& d, std::u16string_view text, bool* all_known) {
  std::map<std::int32_t, std::int32_t> out;
  *all_known = segment(d, text.data(), static_cast<std::int32_t>(text.size()), out);
  texts result;
  for (const auto& [position, id] : out)
    result.emplace_back(strmorph::word_text(d, id));
  return result;
}

// Runs discover_words with `older` lines logged before `line` (oldest first).
void discover(dic_t& d, std::vector<std::u16string_view> older, std::u16string_view line) {
  conversation_log log;
  for (const std::u16string_view text : older)
    add_line(log, text);
  add_line(log, line);
  discover_words(d, log);
}

TEST(discover_words, with_a_single_logged_line_adds_nothing) {
  dic_t d;
  discover(d, {}, u"abc");
  EXPECT_TRUE(d.wordmap.empty());
  bool all_known = true;
  EXPECT_EQ(pieces(d, u"abc", &all_known), (texts{u"abc"}));
  EXPECT_FALSE(all_known);
}

TEST(discover_words, adds_a_line_identical_to_an_older_one_as_one_word) {
  dic_t d;
  discover(d, {u"abc", u"abc", u"xyz"}, u"abc");
  EXPECT_EQ(words_of(d), (counted{{u"abc", 0}})) << "one add however many lines hold it";
  bool all_known = false;
  EXPECT_EQ(pieces(d, u"abc", &all_known), (texts{u"abc"}));
  EXPECT_TRUE(all_known);
}

TEST(discover_words, adds_a_stretch_found_twice_in_the_line_then_counts_it) {
  dic_t d;
  discover(d, {u"ab"}, u"abab");
  EXPECT_EQ(words_of(d), (counted{{u"ab", 1}}));
}

TEST(discover_words, finds_single_units_and_skips_a_left_part_too_short_to_search) {
  dic_t d;
  discover(d, {u"aya"}, u"xyz");
  EXPECT_EQ(words_of(d), (counted{{u"y", 0}}));
}

TEST(discover_words, takes_the_longest_shared_stretch_first) {
  dic_t d;
  discover(d, {u"abcde"}, u"xbcdy");
  EXPECT_EQ(words_of(d), (counted{{u"bcd", 0}}))
      << "neither bc nor the one-unit left part is searched afterwards";
}

TEST(discover_words, searches_a_left_part_of_two_or_more_units) {
  dic_t d;
  discover(d, {u"abXcde"}, u"abYcde");
  EXPECT_EQ(words_of(d), (counted{{u"ab", 0}, {u"cde", 0}}));
}

// The fast search over the log must find exactly what a plain substring search finds.
TEST(discover_words, agrees_with_a_plain_search_of_every_older_line) {
  std::mt19937 random(2024);
  const auto random_line = [&] {
    std::u16string line(1 + random() % 9, u'a');
    for (char16_t& c : line)
      c = static_cast<char16_t>(u'a' + random() % 4);
    return line;
  };
  std::size_t words_found = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<std::u16string> older(1 + random() % 5);
    for (std::u16string& line : older)
      line = random_line();
    const std::u16string line = random_line();
    dic_t fast;
    discover(fast, {older.begin(), older.end()}, line);

    dic_t plain;
    const auto occurs = [&](std::int32_t w, std::int32_t n) {
      const std::u16string_view window = std::u16string_view(line).substr(w, n);
      return std::any_of(older.begin(), older.end(), [&](const std::u16string& other) {
        return other.find(window) != std::u16string::npos;
      });
    };
    discover_windows(static_cast<std::int32_t>(line.size()), occurs,
                     [&](std::int32_t w, std::int32_t n) { add(plain, line.substr(w, n)); });
    EXPECT_EQ(words_of(fast), words_of(plain)) << "round " << round;
    words_found += plain.wordmap.size();
  }
  EXPECT_GT(words_found, 300u);
}

}  // namespace
}  // namespace tsugihagi
