#include "core/memory/learning.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/io/packed_list.h"
#include "tests/support/reference.h"
#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using ids = std::vector<std::int32_t>;
using pairs = std::vector<std::pair<std::int32_t, std::int32_t>>;
constexpr std::int32_t boundary = strmorph::boundary_id;

// A fresh dictionary, log and pattern history, with readers for a word's lists.
class learning_state : public ::testing::Test {
 protected:
  std::int32_t word(std::u16string_view text) {
    return strmorph::add_word(d, text.data(), static_cast<std::int32_t>(text.size()))
        .first->second.id;
  }
  std::int32_t known(std::u16string_view text) {
    const auto* entry = strmorph::find_word(d, text.data(), static_cast<std::int32_t>(text.size()));
    return entry == nullptr ? -100 : entry->second.id;
  }
  const strmorph::wordinfo_t& info(std::int32_t id) { return *strmorph::word_at(d, id); }
  static pairs as_pairs(const packed_list& list) {
    pairs out;
    for (const id_count& p : unpack_pairs(list))
      out.emplace_back(p.id, p.count);
    return out;
  }
  pairs next(std::int32_t id) { return as_pairs(info(id).next); }
  pairs cooc(std::int32_t id) { return as_pairs(info(id).cooc); }
  ids prev(std::int32_t id) { return unpack_ids(info(id).prev); }
  ids idioms(std::int32_t id) { return unpack_ids(info(id).idioms); }
  // Adds log lines, oldest first, each with the given word ids.
  void log_lines(const std::vector<ids>& oldest_first) {
    for (const ids& words : oldest_first) {
      add_line(log, u"-");
      log.line_words[0].ids = words;
    }
  }
  void learn(std::u16string_view line) { learn_line(d, log, history, line); }

  strmorph::dic_t d;
  conversation_log log;
  pattern_history history;
};

using word_links = learning_state;
using turn_links = learning_state;
using line_learning = learning_state;

TEST(count_in, counts_on_the_first_equal_pair_or_appends_with_zero) {
  std::vector<id_count> list{{1, 0}, {2, 3}, {1, 5}};
  count_in(list, 1);
  count_in(list, 9);
  count_in(list, boundary);
  EXPECT_EQ(list, (std::vector<id_count>{{1, 1}, {2, 3}, {1, 5}, {9, 0}, {boundary, 0}}));
}

TEST(add_once, appends_only_ids_not_yet_listed) {
  ids list{4, boundary};
  add_once(list, 4);
  add_once(list, boundary);
  add_once(list, 0);
  EXPECT_EQ(list, (ids{4, boundary, 0}));
}

TEST_F(word_links, of_a_b_a_count_each_pair_and_a_word_with_itself_once) {
  const std::int32_t a = word(u"A");
  const std::int32_t b = word(u"B");
  learn_word_links(d, ids{a, b, a});
  EXPECT_EQ(next(a), (pairs{{b, 0}, {boundary, 0}}));
  EXPECT_EQ(next(b), (pairs{{a, 0}}));
  EXPECT_EQ(prev(b), (ids{a}));
  EXPECT_EQ(prev(a), (ids{b, boundary}));
  EXPECT_EQ(cooc(a), (pairs{{b, 1}, {a, 0}}));
  EXPECT_EQ(cooc(b), (pairs{{a, 1}}));
}

TEST_F(word_links, add_to_lists_that_already_hold_entries) {
  const std::int32_t a = word(u"A");
  const std::int32_t b = word(u"B");
  learn_word_links(d, ids{a, b});
  learn_word_links(d, ids{a, b});
  EXPECT_EQ(next(a), (pairs{{b, 1}}));
  EXPECT_EQ(next(b), (pairs{{boundary, 1}}));
  EXPECT_EQ(prev(a), (ids{boundary}));
  EXPECT_EQ(prev(b), (ids{a}));
  EXPECT_EQ(cooc(a), (pairs{{b, 1}}));
  EXPECT_EQ(cooc(b), (pairs{{a, 1}}));
}

TEST_F(word_links, a_line_ending_in_an_ideographic_comma_gets_no_end_marker) {
  const std::int32_t x = word(u"それで");
  const std::int32_t comma = word(u"ね、");
  learn_word_links(d, ids{x, comma});
  EXPECT_EQ(next(comma), pairs{});
  EXPECT_EQ(prev(x), (ids{boundary}));
  EXPECT_EQ(next(x), (pairs{{comma, 0}}));

  // A comma elsewhere in the last word does not count.
  const std::int32_t inner = word(u"、ね");
  learn_word_links(d, ids{x, inner});
  EXPECT_EQ(next(inner), (pairs{{boundary, 0}}));
}

TEST_F(turn_links, of_x_y_after_y_z_keep_the_new_lines_copy_of_a_shared_word) {
  const std::int32_t x = word(u"X");
  const std::int32_t y = word(u"Y");
  const std::int32_t z = word(u"Z");
  log_lines({{y, z}, {x, y}});
  learn_turn_links(d, log);
  EXPECT_EQ(cooc(x), (pairs{{y, 0}, {z, 0}}));
  EXPECT_EQ(cooc(y), (pairs{{y, 0}, {z, 0}}));
  EXPECT_EQ(cooc(z), (pairs{{x, 0}, {y, 0}}));
}

TEST_F(turn_links, count_each_position_of_the_other_line_but_write_a_repeated_word_once) {
  const std::int32_t x = word(u"X");
  const std::int32_t z = word(u"Z");
  log_lines({{z}, {x, x}});
  learn_turn_links(d, log);
  EXPECT_EQ(cooc(x), (pairs{{z, 0}}));  // both copies gained Z once; the last one was kept
  EXPECT_EQ(cooc(z), (pairs{{x, 1}}));

  // The same with the repeated word in the earlier line.
  const std::int32_t u = word(u"U");
  const std::int32_t v = word(u"V");
  log_lines({{u, u}, {v}});
  learn_turn_links(d, log);
  EXPECT_EQ(cooc(u), (pairs{{v, 0}}));
  EXPECT_EQ(cooc(v), (pairs{{u, 1}}));
}

TEST_F(turn_links, with_a_single_line_leave_the_lists_as_they_were) {
  const std::int32_t x = word(u"X");
  const std::int32_t y = word(u"Y");
  learn_word_links(d, ids{x, y});
  const pairs before = cooc(x);
  log_lines({{x, y}});
  learn_turn_links(d, log);
  EXPECT_EQ(cooc(x), before);
  EXPECT_EQ(cooc(y), (pairs{{x, 0}}));
}

TEST_F(turn_links, skip_ids_that_name_no_word) {
  const std::int32_t x = word(u"X");
  const std::int32_t y = word(u"Y");
  log_lines({{9999, y, -7}, {x, 4242}});
  learn_turn_links(d, log);
  EXPECT_EQ(cooc(x), (pairs{{y, 0}}));
  EXPECT_EQ(cooc(y), (pairs{{x, 0}}));
}

// Adding x to a full dictionary while "w1x" is split prunes w1, whose id the line holds
// already: x must not take it, or the line would be learned as "x x".
TEST(line_learning_when_full, a_word_pruned_inside_the_line_leaves_a_dead_id_not_a_reused_one) {
  strmorph::dic_t d(8);
  conversation_log log;
  pattern_history history;
  const std::int32_t w1 = testing::add(d, u"w1");
  std::vector<std::int32_t> fillers;
  for (const char16_t* text : {u"f0", u"f1", u"f2", u"f3", u"f4", u"f5", u"f6"})
    fillers.push_back(testing::add(d, text));
  for (const std::int32_t f : fillers) {  // each filler is used six times, w1 once
    std::vector<id_count> cooc;
    for (const std::int32_t other : fillers)
      if (other != f) cooc.push_back({other, 0});
    if (f == fillers[0]) cooc.push_back({w1, 0});
    strmorph::word_at(d, f)->cooc = pack_pairs(cooc);
  }
  learn_line(d, log, history, u"w1x");
  const std::vector<std::int32_t>& line = log.line_words[0].ids;
  ASSERT_EQ(line.size(), 2u);
  EXPECT_EQ(line[0], w1);
  EXPECT_EQ(strmorph::word_at(d, w1), nullptr) << "w1 was pruned";
  EXPECT_NE(line[1], w1);
  EXPECT_EQ(strmorph::word_text(d, line[1]), u"x");
  EXPECT_TRUE(d.hdid.contains(w1)) << "the id is free once the line is learned";
}

TEST_F(line_learning, the_first_line_is_split_and_stored_without_discovery) {
  learn(u"abc");  // no known word: the fall-back rule makes the whole line one word
  ASSERT_EQ(log.line_count(), 1u);
  EXPECT_EQ(log.line_texts[0].text, u"abc");
  const std::int32_t abc = known(u"abc");
  EXPECT_EQ(log.line_words[0].ids, (ids{abc}));
  EXPECT_FALSE(log.line_words[0].used);
  EXPECT_EQ(d.wordmap.size(), 1u);
  EXPECT_TRUE(d.idiomset.empty());  // the split needed the fall-back rule
  EXPECT_TRUE(history.empty());
  EXPECT_EQ(log.matcher.capacity(), 0u);
  // One word: no markers, no in-line links.
  EXPECT_EQ(next(abc), pairs{});
  EXPECT_EQ(prev(abc), ids{});
  EXPECT_EQ(cooc(abc), pairs{});
}

TEST_F(line_learning, a_one_unit_first_line_becomes_a_whole_line_idiom) {
  learn(u"あ");
  const std::int32_t a = known(u"あ");
  ASSERT_EQ(d.idiomset.size(), 1u);
  EXPECT_EQ(d.idiomset.begin()->ids, (ids{a}));
  EXPECT_EQ(d.idiomset.begin()->flags, (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(idioms(a).size(), 1u);
}

TEST_F(line_learning, a_one_word_line_gets_no_markers_but_links_with_the_line_before) {
  learn(u"あ");
  learn(u"い");
  const std::int32_t a = known(u"あ");
  const std::int32_t i = known(u"い");
  EXPECT_EQ(log.line_words[0].ids, (ids{i}));
  EXPECT_EQ(next(i), pairs{});
  EXPECT_EQ(prev(i), ids{});
  EXPECT_EQ(cooc(i), (pairs{{a, 0}}));
  EXPECT_EQ(cooc(a), (pairs{{i, 0}}));
}

TEST_F(line_learning, a_line_of_known_words_becomes_an_idiom_linked_once_from_each_word) {
  const std::int32_t ab = word(u"ab");
  const std::int32_t cd = word(u"cd");
  learn(u"abcdab");
  EXPECT_EQ(log.line_words[0].ids, (ids{ab, cd, ab}));
  ASSERT_EQ(d.idiomset.size(), 1u);
  const strmorph::idiom_t& idiom = *d.idiomset.begin();
  EXPECT_EQ(idiom.ids, (ids{ab, cd, ab}));
  EXPECT_EQ(idiom.flags, (std::vector<std::uint8_t>{0, 0, 1}));
  ASSERT_EQ(idioms(ab).size(), 1u);
  EXPECT_EQ(idioms(cd), idioms(ab));
  EXPECT_EQ(strmorph::idiom_at(d, idioms(ab)[0]), &idiom);
  // In-line statistics of the stored split.
  EXPECT_EQ(next(ab), (pairs{{cd, 0}, {boundary, 0}}));
  EXPECT_EQ(prev(ab), (ids{cd, boundary}));
}

TEST_F(line_learning, storing_the_same_split_again_finds_the_idiom_present) {
  const std::int32_t ab = word(u"ab");
  const std::int32_t cd = word(u"cd");
  for (int turn = 0; turn < 2; ++turn) {
    add_line(log, u"abcdab");
    store_line_words(d, log);
    EXPECT_EQ(log.line_words[0].ids, (ids{ab, cd, ab}));
  }
  EXPECT_EQ(d.idiomset.size(), 1u);
  EXPECT_EQ(idioms(ab).size(), 1u);
  EXPECT_EQ(idioms(cd).size(), 1u);
}

TEST_F(line_learning, submitting_the_same_line_again_changes_no_idioms_list_of_its_words) {
  const std::int32_t ab = word(u"ab");
  const std::int32_t cd = word(u"cd");
  learn(u"abcdab");
  const ids ab_idioms = idioms(ab);
  const ids cd_idioms = idioms(cd);
  learn(u"abcdab");  // discovery makes the whole repeated line one word
  const std::int32_t whole = known(u"abcdab");
  EXPECT_EQ(log.line_words[0].ids, (ids{whole}));
  EXPECT_EQ(idioms(ab), ab_idioms);
  EXPECT_EQ(idioms(cd), cd_idioms);
}

TEST_F(line_learning, words_found_in_the_log_take_part_in_the_split) {
  learn(u"xxab");
  learn(u"abyy");
  const std::int32_t xxab = known(u"xxab");
  const std::int32_t ab = known(u"ab");
  const std::int32_t yy = known(u"yy");
  ASSERT_GE(ab, 0);
  ASSERT_GE(yy, 0);
  EXPECT_EQ(log.line_words[0].ids, (ids{ab, yy}));
  EXPECT_EQ(log.line_words[1].ids, (ids{xxab}));
  EXPECT_TRUE(d.idiomset.empty());  // "yy" needed the fall-back rule
  EXPECT_EQ(next(ab), (pairs{{yy, 0}}));
  EXPECT_EQ(prev(ab), (ids{boundary}));
  EXPECT_EQ(next(yy), (pairs{{boundary, 0}}));
  EXPECT_EQ(cooc(ab), (pairs{{yy, 0}, {xxab, 0}}));
  EXPECT_EQ(cooc(xxab), (pairs{{ab, 0}, {yy, 0}}));
}

TEST(link_learning_fast_path, counts_long_and_short_lines_as_the_literal_steps) {
  // Lines of 1 to 5, 30 and 120 words over 300 words, learned one after another into two
  // dictionaries (the sightings' buffers kept from line to line, their table grown past its
  // first size), each word's lists compared after every line.
  std::mt19937 rng(17);
  strmorph::dic_t fast;
  strmorph::dic_t literal;
  std::vector<std::int32_t> vocabulary;
  for (int i = 0; i < 300; ++i) {
    const std::u16string text =
        u"w" + std::u16string(1 + i / 26, static_cast<char16_t>(u'a' + i % 26));
    vocabulary.push_back(testing::add(fast, text));
    ASSERT_EQ(testing::add(literal, text), vocabulary.back());
  }
  const auto bytes = [](const packed_list& list) {
    return std::vector<std::uint8_t>(list.bytes().begin(), list.bytes().end());
  };
  conversation_log fast_log;
  conversation_log literal_log;
  for (int line = 0; line < 24; ++line) {
    const std::size_t lengths[] = {1 + rng() % 5, 30, 120};
    ids words(lengths[line % 3]);
    for (std::int32_t& w : words)
      w = vocabulary[rng() % (line % 2 == 0 ? 40 : vocabulary.size())];
    for (conversation_log* log : {&fast_log, &literal_log}) {
      add_line(*log, u"x");
      log->line_words[0].ids = words;
    }
    if (words.size() >= 2) {
      learn_word_links(fast, words);
      reference::learn_word_links(literal, words);
    }
    learn_turn_links(fast, fast_log);
    reference::learn_turn_links(literal, literal_log);
    for (const std::int32_t w : vocabulary) {
      const strmorph::wordinfo_t& f = *strmorph::word_at(fast, w);
      const strmorph::wordinfo_t& l = *strmorph::word_at(literal, w);
      ASSERT_EQ(bytes(f.cooc), bytes(l.cooc)) << line << " " << w;
      ASSERT_EQ(bytes(f.next), bytes(l.next)) << line << " " << w;
      ASSERT_EQ(bytes(f.prev), bytes(l.prev)) << line << " " << w;
    }
  }
}

}  // namespace
}  // namespace tsugihagi
