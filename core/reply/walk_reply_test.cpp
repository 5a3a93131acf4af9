#include "core/reply/walk_reply.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using testing::add;

class walk_reply : public ::testing::Test {
 protected:
  walk_reply() { seed_random(rng, 1); }
  std::vector<std::int32_t> walk() {
    reply_sequence seq;
    if (!reply_from_walk(d, log, rng, seq)) return {-99};
    return {seq.begin(), seq.end()};
  }
  strmorph::dic_t d;
  conversation_log log;
  random_source rng;
};

TEST_F(walk_reply, fails_when_no_word_in_the_log_can_start_a_line) {
  const std::int32_t a = add(d, u"a");
  testing::push_line(log, d, {a});
  EXPECT_EQ(walk(), std::vector<std::int32_t>{-99});
}

TEST_F(walk_reply, starts_from_the_newest_line_that_offers_a_start_word) {
  const std::int32_t a = add(d, u"a");
  const std::int32_t b = add(d, u"b");
  const std::int32_t c = add(d, u"c");
  testing::set_prev(d, a, {-1});
  testing::set_next(d, a, {{-1, 0}});
  testing::set_prev(d, c, {-1});
  testing::set_next(d, c, {{-1, 0}});
  testing::push_line(log, d, {a});
  testing::push_line(log, d, {b});
  EXPECT_EQ(walk(), std::vector<std::int32_t>{a});  // b offers nothing: the older line does
  testing::set_cooc(d, b, {{c, 0}});
  EXPECT_EQ(walk(), std::vector<std::int32_t>{c});  // b's co-occurring word can start
}

TEST_F(walk_reply, a_start_word_without_successors_is_the_whole_reply) {
  const std::int32_t a = add(d, u"a");
  testing::set_prev(d, a, {-1});
  testing::push_line(log, d, {a, a, a});
  EXPECT_EQ(walk(), std::vector<std::int32_t>{a});
}

TEST_F(walk_reply, stops_at_the_limit_then_closes_with_words_until_one_can_end) {
  std::vector<std::int32_t> w;
  for (const char16_t* text : {u"a", u"b", u"c", u"d", u"e"})
    w.push_back(add(d, text));
  testing::set_prev(d, w[0], {-1});
  for (std::size_t i = 0; i + 1 < w.size(); ++i)
    testing::set_next(d, w[i], {{w[i + 1], 0}});
  testing::set_next(d, w[4], {{-1, 0}});
  testing::push_line(log, d, {w[0]});  // one word: the walk may append two, then the third
  EXPECT_EQ(walk(), w);
}

TEST_F(walk_reply, ends_a_closing_loop_that_could_never_reach_an_end) {
  const std::int32_t a = add(d, u"a");
  testing::set_prev(d, a, {-1});
  testing::set_next(d, a, {{a, 3}});
  testing::push_line(log, d, {a});
  EXPECT_EQ(walk(), (std::vector<std::int32_t>{a, a, a}));
}

}  // namespace
}  // namespace tsugihagi
