#include "tests/support/quick_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tsugihagi {
namespace {

// The text copied to the end of a heap block of exactly its size, so that a read past its
// last unit is caught by the address sanitizer.
class exact_text {
 public:
  explicit exact_text(std::u16string_view text)
      : units_(new char16_t[text.size()]), length_(static_cast<std::int32_t>(text.size())) {
    std::copy(text.begin(), text.end(), units_.get());
  }
  const char16_t* data() const { return units_.get(); }
  std::int32_t length() const { return length_; }

 private:
  std::unique_ptr<char16_t[]> units_;
  std::int32_t length_;
};

std::int32_t find_in(const quick_search<char16_t>& finder, std::u16string_view text) {
  const exact_text copy(text);
  return finder.find(copy.data(), copy.length());
}

// Every string of length min_length..max_length over the letters.
std::vector<std::u16string> all_strings(std::u16string_view letters, std::size_t min_length,
                                        std::size_t max_length) {
  std::vector<std::u16string> out;
  std::vector<std::u16string> current{u""};
  for (std::size_t length = 0; length <= max_length; ++length) {
    if (length >= min_length) out.insert(out.end(), current.begin(), current.end());
    std::vector<std::u16string> longer;
    for (const auto& s : current) {
      for (const char16_t c : letters)
        longer.push_back(s + c);
    }
    current = std::move(longer);
  }
  return out;
}

// Compares find with std::u16string_view::find for every pattern in every text, each text
// held in a block of exactly its size.
void expect_same_as_reference(std::u16string_view letters, std::size_t max_text,
                              std::size_t max_pattern) {
  const std::vector<std::u16string> texts = all_strings(letters, 0, max_text);
  std::vector<std::unique_ptr<exact_text>> copies;
  for (const auto& t : texts)
    copies.push_back(std::make_unique<exact_text>(t));
  quick_search<char16_t> finder;
  for (const std::u16string& pattern : all_strings(letters, 1, max_pattern)) {
    finder.set_pattern(pattern.data(), static_cast<std::int32_t>(pattern.size()));
    // An entry above m would let find stand still or step back.
    for (const char16_t c : letters)
      ASSERT_LE(finder.shift_entry(c), static_cast<std::int32_t>(pattern.size()));
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const std::size_t expected = std::u16string_view(texts[i]).find(pattern);
      const std::int32_t want =
          expected == std::u16string_view::npos ? -1 : static_cast<std::int32_t>(expected);
      ASSERT_EQ(finder.find(copies[i]->data(), copies[i]->length()), want)
          << "pattern size " << pattern.size() << ", text size " << texts[i].size()
          << ", text index " << i;
    }
  }
}

TEST(quick_search, finds_a_two_unit_pattern_at_the_leftmost_place) {
  quick_search<char16_t> finder;
  const std::u16string pattern = u"ab";
  finder.set_pattern(pattern.data(), 2);
  EXPECT_EQ(find_in(finder, u"cab"), 1);
  EXPECT_EQ(find_in(finder, u"ab"), 0);
  EXPECT_EQ(find_in(finder, u"a"), -1);
  EXPECT_EQ(find_in(finder, u""), -1);
  EXPECT_EQ(find_in(finder, u"xyzxyzab"), 6);
  EXPECT_EQ(find_in(finder, u"abab"), 0);
  EXPECT_EQ(find_in(finder, u"ba"), -1);
}

TEST(quick_search, shift_entries_hold_one_plus_the_last_position_of_each_unit) {
  quick_search<char16_t> finder;
  const std::u16string pattern = u"aba";
  finder.set_pattern(pattern.data(), 3);
  EXPECT_EQ(finder.shift_entry(u'a'), 3);
  EXPECT_EQ(finder.shift_entry(u'b'), 2);
  EXPECT_EQ(finder.shift_entry(u'x'), 0);
  EXPECT_EQ(finder.shift_entry(u'\0'), 0);
  EXPECT_EQ(finder.shift_entry(u'\xFFFF'), 0);
  EXPECT_EQ(find_in(finder, u"xxabxaba"), 5);
}

TEST(quick_search, a_new_pattern_clears_the_entries_of_the_previous_one) {
  quick_search<char16_t> finder;
  const std::u16string first = u"abc";
  const std::u16string second = u"c";
  finder.set_pattern(first.data(), 3);
  finder.set_pattern(second.data(), 1);
  ASSERT_EQ(finder.shift_entry(u'a'), 0);
  ASSERT_EQ(finder.shift_entry(u'b'), 0);
  ASSERT_EQ(finder.shift_entry(u'c'), 1);
  EXPECT_EQ(find_in(finder, u"abab"), -1);
  EXPECT_EQ(find_in(finder, u"abcc"), 2);

  // After several patterns the whole table equals that of a finder given only the last.
  const std::u16string third = u"\xFFFFzz\x3042";
  finder.set_pattern(third.data(), 4);
  quick_search<char16_t> fresh;
  fresh.set_pattern(third.data(), 4);
  for (std::size_t c = 0; c < quick_search<char16_t>::alphabet; ++c) {
    const auto unit = static_cast<char16_t>(c);
    ASSERT_EQ(finder.shift_entry(unit), fresh.shift_entry(unit)) << c;
  }
}

TEST(quick_search, a_mismatch_in_the_window_at_the_text_end_reads_nothing_past_it) {
  quick_search<char16_t> finder;
  const std::u16string pattern = u"ab";
  finder.set_pattern(pattern.data(), 2);
  // The first shift lands the window exactly on the last two units, which do not match.
  EXPECT_EQ(find_in(finder, u"xyzac"), -1);
  EXPECT_EQ(find_in(finder, u"xa"), -1);
  EXPECT_EQ(find_in(finder, u"xxa"), -1);
  // A match ending on the last unit is still found.
  EXPECT_EQ(find_in(finder, u"xyzab"), 3);
}

TEST(quick_search, compares_units_as_unsigned_values_without_folding) {
  quick_search<char16_t> finder;
  const std::u16string pattern{u'\xFFFF', u'\0', u'\xFF21'};  // the last is a full-width A
  finder.set_pattern(pattern.data(), 3);
  EXPECT_EQ(finder.shift_entry(u'\xFFFF'), 1);
  EXPECT_EQ(finder.shift_entry(u'\0'), 2);
  const std::u16string text{u'A', u'\xFFFF', u'\0', u'A', u'\xFFFF', u'\0', u'\xFF21'};
  EXPECT_EQ(find_in(finder, text), 4);
}

TEST(quick_search, agrees_with_the_standard_find_on_all_short_texts_over_three_letters) {
  expect_same_as_reference(u"abc", 7, 4);
}

TEST(quick_search, agrees_with_the_standard_find_on_all_longer_texts_over_two_letters) {
  expect_same_as_reference(u"ab", 11, 6);
}

}  // namespace
}  // namespace tsugihagi
