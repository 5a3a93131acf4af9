#include "core/memory/lcsubsequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tsugihagi {
namespace {

using ids = std::vector<std::int32_t>;
using flags = std::vector<std::uint8_t>;
using lcs = lcsubsequence<std::int32_t, std::int32_t>;

constexpr std::int32_t P = 1, Q = 2, R = 3, S = 4, T = 5, X = 6;

common_subsequence<std::int32_t> compute(lcs& matcher, const ids& a, const ids& b) {
  return matcher.compute(std::span<const std::int32_t>(a), std::span<const std::int32_t>(b));
}

// A plain dynamic-programming table of prefix LCS lengths.
std::vector<std::vector<int>> length_table(const ids& a, const ids& b) {
  std::vector<std::vector<int>> t(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      t[i][j] = a[i - 1] == b[j - 1] ? t[i - 1][j - 1] + 1 : std::max(t[i - 1][j], t[i][j - 1]);
    }
  }
  return t;
}

// The matched positions in a and b of the subsequence chosen by walking back from the end,
// taking a match wherever the two elements are equal and otherwise preferring to drop an
// element of a on a tie.
struct matched_positions {
  std::vector<std::size_t> in_a;
  std::vector<std::size_t> in_b;
};

matched_positions reference_walk(const ids& a, const ids& b,
                                 const std::vector<std::vector<int>>& t) {
  matched_positions m;
  for (std::size_t i = a.size(), j = b.size(); i > 0 && j > 0;) {
    if (a[i - 1] == b[j - 1]) {
      m.in_a.insert(m.in_a.begin(), i - 1);
      m.in_b.insert(m.in_b.begin(), j - 1);
      --i, --j;
    } else if (t[i - 1][j] >= t[i][j - 1]) {
      --i;
    } else {
      --j;
    }
  }
  return m;
}

bool is_subsequence(const ids& sub, const ids& of) {
  std::size_t k = 0;
  for (std::size_t i = 0; i < of.size() && k < sub.size(); ++i) {
    if (of[i] == sub[k]) ++k;
  }
  return k == sub.size();
}

// Every sequence of length 0..max_length over the values 0, 1, 2.
std::vector<ids> all_sequences(std::size_t max_length) {
  std::vector<ids> out{{}};
  std::vector<ids> current{{}};
  for (std::size_t length = 1; length <= max_length; ++length) {
    std::vector<ids> longer;
    for (const ids& s : current) {
      for (std::int32_t v = 0; v < 3; ++v) {
        longer.push_back(s);
        longer.back().push_back(v);
      }
    }
    current = std::move(longer);
    out.insert(out.end(), current.begin(), current.end());
  }
  return out;
}

TEST(lcsubsequence, of_two_equal_sequences_is_the_whole_sequence_joined) {
  lcs matcher;
  const auto s = compute(matcher, {P, Q, R, S}, {P, Q, R, S});
  EXPECT_EQ(s.ids, (ids{P, Q, R, S}));
  EXPECT_EQ(s.flags, (flags{1, 1, 1, 0}));
  EXPECT_EQ(s.count(), 4);
}

TEST(lcsubsequence, joins_only_elements_adjacent_in_both_inputs) {
  lcs matcher;
  const auto s = compute(matcher, {P, Q, R, T}, {P, X, Q, R});
  EXPECT_EQ(s.ids, (ids{P, Q, R}));
  EXPECT_EQ(s.flags, (flags{0, 1, 0}));
}

TEST(lcsubsequence, breaks_ties_by_dropping_from_the_first_sequence) {
  lcs matcher;
  const auto reversed = compute(matcher, {P, Q, R}, {R, Q, P});
  EXPECT_EQ(reversed.ids, (ids{P}));
  EXPECT_EQ(reversed.flags, (flags{0}));

  const auto alternating = compute(matcher, {P, Q, P, Q}, {Q, P, Q, P});
  EXPECT_EQ(alternating.ids, (ids{P, Q, P}));
  EXPECT_EQ(alternating.flags, (flags{1, 1, 0}));
}

TEST(lcsubsequence, with_an_empty_input_is_empty) {
  lcs matcher;
  for (const auto& [a, b] : {std::pair<ids, ids>{{}, {}}, {{P, Q}, {}}, {{}, {P, Q}}}) {
    const auto s = compute(matcher, a, b);
    EXPECT_EQ(s.count(), 0);
    EXPECT_TRUE(s.ids.empty());
    EXPECT_TRUE(s.flags.empty());
  }
  EXPECT_EQ(compute(matcher, {P, Q}, {R, S}).count(), 0);
}

TEST(lcsubsequence, flags_compare_values_after_the_match_not_positions_of_the_next) {
  // P is matched at position 0 of both and Q at position 2 of the first; the element after P
  // is a Q in both inputs, so P counts as joined to Q.
  lcs matcher;
  const auto s = compute(matcher, {P, Q, Q}, {P, Q});
  EXPECT_EQ(s.ids, (ids{P, Q}));
  EXPECT_EQ(s.flags, (flags{1, 0}));
}

TEST(lcsubsequence, table_grows_only_when_a_larger_one_is_needed) {
  lcs matcher;
  EXPECT_EQ(matcher.capacity(), 0u);
  compute(matcher, {}, {});
  EXPECT_EQ(matcher.capacity(), 1u);
  compute(matcher, {P, Q, R}, {P, Q, R});
  EXPECT_EQ(matcher.capacity(), 16u);
  const auto small = compute(matcher, {P, Q}, {Q, P});
  EXPECT_EQ(matcher.capacity(), 16u);
  EXPECT_EQ(small.ids, (ids{P}));
  compute(matcher, {P}, ids(9, Q));  // 2 x 10 cells: more, although each side is shorter
  EXPECT_EQ(matcher.capacity(), 20u);
  compute(matcher, ids(4, P), ids(4, P));
  EXPECT_EQ(matcher.capacity(), 25u);
}

TEST(lcsubsequence, agrees_with_a_reference_on_all_pairs_of_short_sequences) {
  const std::vector<ids> sequences = all_sequences(5);
  lcs matcher;  // one instance for all pairs: a stale table from an earlier call must not leak
  for (const ids& a : sequences) {
    for (const ids& b : sequences) {
      const auto s = compute(matcher, a, b);
      const auto table = length_table(a, b);
      const int length = table[a.size()][b.size()];
      ASSERT_EQ(s.count(), length);
      ASSERT_EQ(s.flags.size(), s.ids.size());
      ASSERT_TRUE(is_subsequence(s.ids, a));
      ASSERT_TRUE(is_subsequence(s.ids, b));
      if (length == 0) continue;
      ASSERT_EQ(s.flags.back(), 0);

      const matched_positions m = reference_walk(a, b, table);
      for (int k = 0; k < length; ++k)
        ASSERT_EQ(s.ids[k], a[m.in_a[k]]);
      for (int k = 0; k + 1 < length; ++k) {
        const std::size_t after_a = m.in_a[k] + 1;
        const std::size_t after_b = m.in_b[k] + 1;
        const bool joined = a[after_a] == s.ids[k + 1] && b[after_b] == s.ids[k + 1];
        ASSERT_EQ(s.flags[k], joined ? 1 : 0) << "element " << k;
      }
    }
  }
}

}  // namespace
}  // namespace tsugihagi
