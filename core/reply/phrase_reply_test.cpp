#include "core/reply/phrase_reply.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/reply/reply_generation.h"
#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using testing::add;
using ids = std::vector<std::int32_t>;

class phrase_reply : public ::testing::Test {
 protected:
  phrase_reply() { seed_random(rng, 7); }
  ids reply() {
    reply_sequence seq;
    if (!reply_from_phrases(d, log, rng, seq)) {
      EXPECT_TRUE(seq.empty());
      return {-99};
    }
    return {seq.begin(), seq.end()};
  }
  // A word that can start and end a line.
  std::int32_t whole(const char16_t* text) {
    const std::int32_t w = add(d, text);
    testing::set_prev(d, w, {-1});
    testing::set_next(d, w, {{-1, 0}});
    return w;
  }
  strmorph::dic_t d;
  conversation_log log;
  random_source rng;
};

TEST_F(phrase_reply, a_log_of_used_lines_fails_without_drawing) {
  const std::int32_t a = whole(u"a");
  testing::set_cooc(d, a, {{a, 0}});
  testing::add_phrase(d, {a}, {0});
  testing::push_line(log, d, {a});
  log.line_words[0].used = true;
  random_source before = rng;
  EXPECT_EQ(reply(), ids{-99});
  EXPECT_EQ(next_random(rng), next_random(before));
}

TEST_F(phrase_reply, returns_a_fitting_phrase_unchanged_and_marks_its_line) {
  const std::int32_t a = whole(u"a");
  const std::int32_t b = whole(u"b");
  testing::set_cooc(d, a, {{b, 0}});
  testing::add_phrase(d, {a, b}, {1, 0});
  testing::push_line(log, d, {a});
  EXPECT_EQ(reply(), (ids{a, b}));
  EXPECT_TRUE(log.line_words[0].used);
  EXPECT_EQ(reply(), ids{-99});  // the line has served
}

TEST_F(phrase_reply, keeps_phrases_for_later_lines_while_nothing_is_associated) {
  const std::int32_t a = whole(u"a");
  const std::int32_t c = add(d, u"c");
  const std::int32_t x = add(d, u"x");
  testing::add_phrase(d, {a}, {0});  // reached from line 1, whose words have no cooc
  testing::set_cooc(d, c, {{x, 0}});
  testing::push_line(log, d, {c});
  testing::push_line(log, d, {a});
  EXPECT_EQ(reply(), ids{a});
  EXPECT_FALSE(log.line_words[0].used);
  EXPECT_TRUE(log.line_words[1].used);  // the line being visited when it succeeded
}

TEST_F(phrase_reply, prepends_a_start_word_and_appends_one_closing_word) {
  const std::int32_t s = add(d, u"s");
  testing::set_prev(d, s, {-1});  // s can start a line but not end one
  const std::int32_t b = add(d, u"b");
  const std::int32_t c = add(d, u"c");
  const std::int32_t e = whole(u"e");
  testing::set_prev(d, b, {c, s});  // c cannot start a line, s can
  testing::set_next(d, b, {{c, 0}, {e, 4}, {s, 1}});
  testing::set_cooc(d, b, {{b, 0}});
  testing::add_phrase(d, {b}, {0});
  testing::push_line(log, d, {b});
  EXPECT_EQ(reply(), (ids{s, b, e}));
}

TEST_F(phrase_reply, fills_a_gap_with_the_one_associated_word_that_fits_both_sides) {
  const std::int32_t a = whole(u"a");
  const std::int32_t c = whole(u"c");
  const std::int32_t b = add(d, u"b");
  const std::int32_t x = add(d, u"x");
  testing::set_next(d, a, {{b, 0}, {x, 0}, {-1, 0}});
  testing::set_next(d, b, {{c, 0}});
  testing::set_next(d, x, {{a, 0}});  // x follows a but never precedes c
  testing::set_cooc(d, a, {{x, 0}, {b, 1}, {a, 2}});
  testing::add_phrase(d, {a, c}, {0, 0});
  testing::push_line(log, d, {a});
  EXPECT_EQ(reply(), (ids{a, b, c}));
}

TEST_F(phrase_reply, a_phrase_that_cannot_start_fails_and_marks_its_line) {
  const std::int32_t a = add(d, u"a");
  const std::int32_t b = whole(u"b");
  testing::set_prev(d, b, {});
  testing::set_prev(d, a, {b});  // b cannot start either
  testing::set_cooc(d, a, {{a, 0}});
  testing::add_phrase(d, {a}, {0});
  testing::push_line(log, d, {a});
  EXPECT_EQ(reply(), ids{-99});
  EXPECT_TRUE(log.line_words[0].used);
}

// A phrase can outlive its words: pruning inside the line that made it, or a damaged file.
TEST_F(phrase_reply, a_pattern_whose_words_are_all_gone_fails_and_marks_its_line) {
  const std::int32_t a = whole(u"a");
  const std::int32_t gone = add(d, u"gone");
  testing::set_cooc(d, a, {{a, 0}});
  const std::int32_t phrase = strmorph::add_idiom(d, {{gone}, {0}}).first;
  strmorph::link_idiom(d, std::vector<std::int32_t>{a}, phrase);  // reached through a only
  strmorph::remove_word(d, gone);
  ASSERT_NE(strmorph::idiom_at(d, phrase), nullptr);
  testing::push_line(log, d, {a});
  EXPECT_EQ(reply(), ids{-99});
  EXPECT_TRUE(log.line_words[0].used);
}

TEST_F(phrase_reply, never_uses_a_one_word_whole_line_and_leaves_the_line_unmarked) {
  const std::int32_t a = whole(u"a");
  testing::set_cooc(d, a, {{a, 0}});
  testing::add_phrase(d, {a}, {1});
  testing::push_line(log, d, {a});
  EXPECT_EQ(reply(), ids{-99});
  EXPECT_FALSE(log.line_words[0].used);
}

TEST_F(phrase_reply, varies_a_whole_line_with_associated_words_that_fit) {
  const std::int32_t a = whole(u"a");
  const std::int32_t b = whole(u"b");
  const std::int32_t x = add(d, u"x");
  testing::set_next(d, x, {{b, 0}});
  testing::set_prev(d, x, {a});
  testing::set_cooc(d, a, {{a, 0}, {x, 1}, {b, 2}});
  testing::add_phrase(d, {a, b}, {0, 1});
  testing::push_line(log, d, {a});
  for (int i = 0; i < 20; ++i) {
    log.line_words[0].used = false;
    const ids got = reply();
    EXPECT_TRUE(got == (ids{x, b}) || got == (ids{a, x})) << got[0];
    EXPECT_FALSE(log.line_words[0].used);  // whole lines do not mark their source
  }
}

TEST(reply_generation, joins_the_words_texts_without_separators) {
  strmorph::dic_t d;
  conversation_log log;
  random_source rng;
  seed_random(rng, 1);
  const std::int32_t kyou = add(d, u"今日");
  const std::int32_t wa = add(d, u"は");
  const std::int32_t hare = add(d, u"晴れ");
  testing::set_prev(d, kyou, {-1});
  testing::set_next(d, hare, {{-1, 0}});
  testing::set_cooc(d, kyou, {{wa, 0}});
  testing::add_phrase(d, {kyou, wa, hare}, {1, 1, 0});
  testing::push_line(log, d, {kyou});
  std::u16string reply = u"previous";
  generate_reply(d, log, rng, reply);
  EXPECT_EQ(reply, u"今日は晴れ");
}

TEST(reply_generation, falls_back_to_the_fixed_text_and_drops_the_previous_reply) {
  strmorph::dic_t d;
  conversation_log log;
  random_source rng;
  seed_random(rng, 1);
  testing::push_line(log, d, {add(d, u"あいう")});
  std::u16string reply = u"previous";
  generate_reply(d, log, rng, reply);
  EXPECT_EQ(reply, u"（特に言う事はないみたいです...）");
  EXPECT_EQ(reply.size(), 18u);
}

}  // namespace
}  // namespace tsugihagi
