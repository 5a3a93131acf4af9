#include "core/memory/pattern_learning.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/io/packed_list.h"

namespace tsugihagi {
namespace {

using ids = std::vector<std::int32_t>;
using flags = std::vector<std::uint8_t>;

// A dictionary with the words P Q R S T U X Y and a log whose word sequences are set directly.
class pattern_learning : public ::testing::Test {
 protected:
  pattern_learning() {
    for (const char16_t* text : {u"P", u"Q", u"R", u"S", u"T", u"U", u"X", u"Y"})
      strmorph::add_word(d, text, 1);
  }
  // Adds log lines, oldest first, each with the given word ids.
  void log_lines(const std::vector<ids>& oldest_first) {
    for (const ids& words : oldest_first) {
      add_line(log, u"-");
      log.line_words[0].ids = words;
    }
  }
  void learn() { learn_patterns(d, log, history); }
  const strmorph::idiom_t* idiom(const ids& words, const flags& joined) {
    const auto it = d.idiomset.find(strmorph::idiom_t{words, joined});
    return it == d.idiomset.end() ? nullptr : &*it;
  }
  ids idioms_of(std::int32_t word) { return unpack_ids(strmorph::word_at(d, word)->idioms); }

  static constexpr std::int32_t P = 0, Q = 1, R = 2, S = 3, T = 4, U = 5, X = 6, Y = 7;
  strmorph::dic_t d;
  conversation_log log;
  pattern_history history;
};

TEST_F(pattern_learning, a_shared_pattern_becomes_a_record_and_an_idiom) {
  log_lines({{P, X, Q, R}, {P, Q, R, T}});
  learn();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].ids, (ids{P, Q, R}));
  EXPECT_EQ(history[0].flags, (flags{0, 1, 0}));
  EXPECT_EQ(history[0].repeats, 0);
  ASSERT_EQ(d.idiomset.size(), 1u);
  ASSERT_NE(idiom({P, Q, R}, {0, 1, 0}), nullptr);
  for (const std::int32_t w : {P, Q, R})
    EXPECT_EQ(idioms_of(w).size(), 1u) << w;
  EXPECT_TRUE(idioms_of(T).empty());
  EXPECT_TRUE(idioms_of(X).empty());
  EXPECT_EQ(strmorph::idiom_at(d, idioms_of(P)[0]), idiom({P, Q, R}, {0, 1, 0}));
}

TEST_F(pattern_learning, two_shared_words_make_nothing) {
  log_lines({{P, Q, X, Y}, {P, Q, R, T}});
  learn();
  EXPECT_TRUE(history.empty());
  EXPECT_TRUE(d.idiomset.empty());
}

TEST_F(pattern_learning, only_the_most_recent_line_sharing_three_words_is_used) {
  // Entry 3 also shares four words; being longer, it would grow the matcher's table and
  // add a second record if it were compared.
  ids long_line{P, Q, R, S};
  long_line.resize(30, X);
  log_lines({long_line, {P, Q, R, S}, {P, Q, X}, {P, Q, R, S}});
  learn();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].ids, (ids{P, Q, R, S}));
  EXPECT_EQ(history[0].flags, (flags{1, 1, 1, 0}));
  EXPECT_EQ(d.idiomset.size(), 1u);
  EXPECT_LT(log.matcher.capacity(), 5u * 31u);
}

TEST_F(pattern_learning, an_equal_pattern_counts_a_repeat_and_adds_no_idiom) {
  log_lines({{P, X, Q, R}, {P, Q, R, T}});
  learn();
  const ids p_idioms = idioms_of(P);
  learn();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].repeats, 1);
  EXPECT_EQ(history[1].repeats, 0);
  EXPECT_EQ(d.idiomset.size(), 1u);
  EXPECT_EQ(idioms_of(P), p_idioms);
  EXPECT_EQ(idioms_of(Q), p_idioms);
}

TEST_F(pattern_learning, repeats_follow_the_most_recent_equal_record) {
  history.push_back({{P, Q, R}, {0, 1, 0}, 1});  // newest
  history.push_back({{P, Q, R}, {1, 1, 0}, 9});  // same ids, other flags
  history.push_back({{P, Q, R}, {0, 1, 0}, 7});
  log_lines({{P, X, Q, R}, {P, Q, R, T}});
  learn();
  ASSERT_EQ(history.size(), 4u);
  EXPECT_EQ(history[0].repeats, 2);
  EXPECT_EQ(history[1].repeats, 1);
  EXPECT_EQ(history[3].repeats, 7);
  EXPECT_NE(idiom({P, Q, R}, {0, 1, 0}), nullptr);
}

TEST_F(pattern_learning, the_same_line_twice_makes_a_pattern_beside_its_whole_line_idiom) {
  const auto [whole_id, inserted] = strmorph::add_idiom(d, {{P, Q, R}, {0, 0, 1}});
  ASSERT_TRUE(inserted);
  strmorph::link_idiom(d, ids{P, Q, R}, whole_id);
  log_lines({{P, Q, R}, {P, Q, R}});
  learn();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].flags, (flags{1, 1, 0}));
  EXPECT_EQ(d.idiomset.size(), 2u);
  EXPECT_NE(idiom({P, Q, R}, {1, 1, 0}), nullptr);
  EXPECT_NE(idiom({P, Q, R}, {0, 0, 1}), nullptr);
  EXPECT_EQ(idioms_of(Q).size(), 2u);
}

TEST_F(pattern_learning, the_history_keeps_the_newest_512_records) {
  for (std::int32_t i = 0; i < 511; ++i)
    history.push_back({{1000 + i, 1000 + i, 1000 + i}, {0, 0, 0}, 0});
  log_lines({{P, Q, R}, {P, Q, R}});
  learn();
  ASSERT_EQ(history.size(), 512u);  // 511 + 1: nothing dropped yet
  EXPECT_EQ(history.back().ids[0], 1510);
  learn();
  ASSERT_EQ(history.size(), 512u);
  EXPECT_EQ(history.back().ids[0], 1509);  // the oldest was pushed out
  EXPECT_EQ(history[0].repeats, 1);
  EXPECT_EQ(history[1].ids, (ids{P, Q, R}));
}

TEST_F(pattern_learning, a_single_line_log_compares_nothing) {
  log_lines({{P, Q, R, S}});
  learn();
  EXPECT_TRUE(history.empty());
  EXPECT_TRUE(d.idiomset.empty());
  EXPECT_EQ(log.matcher.capacity(), 0u);
}

TEST_F(pattern_learning, ids_that_name_no_word_are_left_out_of_the_comparison) {
  // With the dead id dropped, P and Q stand side by side in the earlier line.
  log_lines({{P, 4242, Q, R}, {P, Q, R, -3}});
  learn();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].ids, (ids{P, Q, R}));
  EXPECT_EQ(history[0].flags, (flags{1, 1, 0}));
}

}  // namespace
}  // namespace tsugihagi
