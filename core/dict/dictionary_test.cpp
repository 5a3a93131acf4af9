#include "core/dict/dictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace strmorph {
namespace {

using tsugihagi::pack_ids;
using tsugihagi::pack_pairs;
using tsugihagi::unpack_ids;
using tsugihagi::unpack_pairs;
using tsugihagi::testing::u16;

using ids = std::vector<std::int32_t>;
using pairs = std::vector<id_count>;

constexpr std::int32_t absent = -99;

std::int32_t add(dic_t& d, std::u16string_view text) {
  return add_word(d, text.data(), static_cast<std::int32_t>(text.size())).first->second.id;
}

std::int32_t id_of(dic_t& d, std::u16string_view text) {
  const auto* entry = find_word(d, text.data(), static_cast<std::int32_t>(text.size()));
  return entry == nullptr ? absent : entry->second.id;
}

std::u16string numbered(const char* prefix, std::size_t i) {
  return u16(prefix + std::to_string(i));
}

std::vector<std::u16string> texts_in_order(const dic_t& d) {
  std::vector<std::u16string> texts;
  for (const auto& entry : d.wordmap)
    texts.emplace_back(entry.first.text());
  return texts;
}

// A whole-line idiom: every flag 0 but the last.
idiom_t line_idiom(ids word_ids) {
  std::vector<std::uint8_t> flags(word_ids.size(), 0);
  flags.back() = 1;
  return {std::move(word_ids), std::move(flags)};
}

// The invariants tying wordmap/idiomset to idmap/idiomidmap and the free-id sets.
void expect_maps_consistent(const dic_t& d) {
  for (const auto& [key, info] : d.wordmap) {
    ASSERT_LT(info.id, d.idmap.size());
    EXPECT_EQ(d.idmap[info.id].key, &key) << info.id;
    EXPECT_EQ(d.idmap[info.id].info, &info) << info.id;
  }
  std::size_t live_words = 0;
  for (std::int32_t i = 0; i < d.idmap.size(); ++i)
    live_words += d.idmap[i].info != nullptr;
  EXPECT_EQ(live_words, d.wordmap.size());
  for (const std::int32_t id : d.hdid)
    EXPECT_TRUE(id >= d.idmap.size() || d.idmap[id].info == nullptr) << id;

  std::size_t live_idioms = 0;
  for (std::int32_t i = 0; i < d.idiomidmap.size(); ++i) {
    const idiom_t* idiom = d.idiomidmap[i].idiom;
    if (idiom == nullptr) continue;
    ++live_idioms;
    const auto it = d.idiomset.find(*idiom);
    EXPECT_TRUE(it != d.idiomset.end() && &*it == idiom) << i;
    EXPECT_EQ(d.idiom_hdid.count(i), 0u) << i;
  }
  EXPECT_EQ(live_idioms, d.idiomset.size());
}

TEST(word_order, is_by_length_first_then_by_units_as_unsigned_values) {
  dic_t d;
  for (const std::u16string_view text :
       {u"ab", u"\uFFFF", u"b", u"\u8000", u"\u7FFF", u"\U0001F600", u"\uFF21a", u"zz"})
    add(d, text);
  EXPECT_EQ(texts_in_order(d),
            (std::vector<std::u16string>{u"b", u"\u7FFF", u"\u8000", u"\uFFFF", u"ab", u"zz",
                                         u"\U0001F600", u"\uFF21a"}));
}

TEST(add_word, the_same_text_twice_is_one_entry_counted_once_more) {
  dic_t d;
  const auto [first, first_inserted] = add_word(d, u"ねこ", 2);
  EXPECT_TRUE(first_inserted);
  EXPECT_EQ(first->second.id, 0);
  EXPECT_EQ(first->second.count, 0);
  const auto [second, second_inserted] = add_word(d, u"ねこ", 2);
  EXPECT_FALSE(second_inserted);
  EXPECT_EQ(second, first);
  EXPECT_EQ(second->second.count, 1);
  EXPECT_EQ(d.wordmap.size(), 1u);
}

TEST(add_word, keeps_its_own_copy_of_the_text_and_starts_with_empty_lists) {
  dic_t d;
  std::u16string buffer = u"いぬ";
  const wordinfo_t& info = add_word(d, buffer.data(), 2).first->second;
  for (const packed_list* list : {&info.next, &info.prev, &info.cooc, &info.idioms})
    EXPECT_TRUE(list->size == 0 && list->data == nullptr);
  buffer = u"xx";
  EXPECT_EQ(id_of(d, u"いぬ"), 0);
  EXPECT_EQ(word_text(d, 0), u"いぬ");
  EXPECT_EQ(id_of(d, u"xx"), absent);
}

TEST(find_word, matches_text_and_length_exactly_and_changes_nothing) {
  dic_t d;
  add(d, u"ab");
  add(d, u"ab");
  const auto* entry = find_word(d, u"abc", 2);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->second.count, 1);
  EXPECT_EQ(find_word(d, u"abc", 3), nullptr);
  EXPECT_EQ(find_word(d, u"a", 1), nullptr);
  EXPECT_EQ(find_word(d, u"ba", 2), nullptr);
  EXPECT_EQ(d.wordmap.size(), 1u);
}

TEST(word_ids, are_dense_then_reuse_the_smallest_free_id) {
  dic_t d;
  for (std::int32_t i = 0; i < 5; ++i)
    EXPECT_EQ(add(d, numbered("w", static_cast<std::size_t>(i))), i);
  remove_word(d, 3);
  remove_word(d, 1);
  EXPECT_EQ(d.hdid, (std::set<std::int32_t>{1, 3}));
  EXPECT_EQ(word_at(d, 1), nullptr);

  const auto [entry, inserted] = add_word(d, u"f", 1);
  ASSERT_TRUE(inserted);
  EXPECT_EQ(entry->second.id, 1);
  EXPECT_EQ(d.idmap[1].info, &entry->second);
  EXPECT_EQ(d.idmap[1].key, &entry->first);
  EXPECT_EQ(d.hdid, (std::set<std::int32_t>{3}));
  EXPECT_EQ(add(d, u"g"), 3);
  EXPECT_EQ(add(d, u"h"), 5);
  EXPECT_EQ(add(d, u"w1"), 6) << "a removed text comes back as a new word";
  expect_maps_consistent(d);
}

TEST(idiom_order, fewer_elements_first_then_ids_then_flags) {
  dic_t d;
  // An earlier id wins over a smaller flag: g sorts after b.
  const idiom_t a{{2, 1}, {0, 1}}, b{{1}, {1}}, c{{1, 2}, {0, 1}}, e{{1, 2}, {1, 1}},
      f{{1, 2}, {0, 0}}, g{{2}, {0}}, h{{300}, {0}};
  for (const idiom_t& idiom : {a, b, c, e, f, h, g})
    ASSERT_TRUE(add_idiom(d, idiom).second);
  std::vector<idiom_t> order(d.idiomset.begin(), d.idiomset.end());
  const std::vector<idiom_t> expected{b, g, h, f, c, e, a};
  ASSERT_EQ(order.size(), expected.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(order[i].ids, expected[i].ids) << i;
    EXPECT_EQ(order[i].flags, expected[i].flags) << i;
  }
}

TEST(add_idiom, the_same_idiom_twice_is_reported_and_changes_nothing) {
  dic_t d;
  const std::int32_t w = add(d, u"a");
  const auto [id, inserted] = add_idiom(d, line_idiom({w, w}));
  ASSERT_TRUE(inserted);
  link_idiom(d, ids{w, w}, id);
  const idiom_t* stored = idiom_at(d, id);
  EXPECT_FALSE(add_idiom(d, line_idiom({w, w})).second);
  EXPECT_EQ(d.idiomset.size(), 1u);
  EXPECT_EQ(d.idiomidmap.size(), 1);
  EXPECT_EQ(idiom_at(d, id), stored);
  EXPECT_EQ(unpack_ids(word_at(d, w)->idioms), ids{id});
}

TEST(add_idiom, reuses_the_smallest_free_idiom_id) {
  dic_t d;
  for (std::int32_t i = 0; i < 4; ++i)
    EXPECT_EQ(add_idiom(d, line_idiom({i})).first, i);
  remove_idiom(d, 2);
  remove_idiom(d, 0);
  EXPECT_EQ(d.idiom_hdid, (std::set<std::int32_t>{0, 2}));
  const auto [id, inserted] = add_idiom(d, line_idiom({7}));
  ASSERT_TRUE(inserted);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(idiom_at(d, 0)->ids, ids{7});
  EXPECT_EQ(add_idiom(d, line_idiom({8})).first, 2);
  EXPECT_EQ(add_idiom(d, line_idiom({9})).first, 4);
  expect_maps_consistent(d);
}

TEST(link_idiom, lists_each_idiom_once_per_word_in_link_order) {
  dic_t d;
  const std::int32_t a = add(d, u"a"), b = add(d, u"b");
  link_idiom(d, ids{a, b, a}, 0);
  link_idiom(d, ids{a, b}, 0);
  link_idiom(d, ids{b}, 5);
  EXPECT_EQ(unpack_ids(word_at(d, a)->idioms), ids{0});
  EXPECT_EQ(unpack_ids(word_at(d, b)->idioms), (ids{0, 5}));
}

TEST(remove_idiom, unlinks_it_from_its_words_and_frees_its_id) {
  dic_t d;
  const std::int32_t a = add(d, u"a"), b = add(d, u"b"), c = add(d, u"c");
  const std::int32_t first = add_idiom(d, line_idiom({a, b})).first;
  link_idiom(d, ids{a, b}, first);
  const std::int32_t second = add_idiom(d, line_idiom({b, c})).first;
  link_idiom(d, ids{b, c}, second);

  remove_idiom(d, first);
  EXPECT_EQ(word_at(d, a)->idioms.size, 0);
  EXPECT_EQ(unpack_ids(word_at(d, b)->idioms), ids{second});
  EXPECT_EQ(unpack_ids(word_at(d, c)->idioms), ids{second});
  EXPECT_EQ(idiom_at(d, first), nullptr);
  EXPECT_EQ(d.idiomset.count(line_idiom({a, b})), 0u);
  EXPECT_EQ(d.idiom_hdid, std::set<std::int32_t>{first});
  expect_maps_consistent(d);
}

TEST(remove_word, unlinks_it_from_every_list_and_removes_its_idioms) {
  dic_t d;
  const std::int32_t a = add(d, u"a"), b = add(d, u"b"), c = add(d, u"c"), e = add(d, u"e");
  const auto set_lists = [&](std::int32_t w, pairs next, ids prev, pairs cooc) {
    word_at(d, w)->next = pack_pairs(next);
    word_at(d, w)->prev = pack_ids(prev);
    word_at(d, w)->cooc = pack_pairs(cooc);
  };
  // The lines "a b c" (twice) and "e b": every list as learning would leave it.
  set_lists(a, {{b, 1}, {boundary_id, 0}}, {boundary_id}, {{b, 2}, {c, 0}});
  set_lists(b, {{c, 1}, {boundary_id, 0}}, {a, e}, {{a, 2}, {c, 1}, {e, 0}});
  set_lists(c, {{boundary_id, 1}}, {b}, {{a, 0}, {b, 1}});
  set_lists(e, {{b, 0}}, {boundary_id}, {{b, 0}});
  const std::int32_t with_b = add_idiom(d, line_idiom({a, b, c})).first;
  link_idiom(d, ids{a, b, c}, with_b);
  const std::int32_t also_with_b = add_idiom(d, line_idiom({e, b})).first;
  link_idiom(d, ids{e, b}, also_with_b);
  const std::int32_t without_b = add_idiom(d, line_idiom({c, e})).first;
  link_idiom(d, ids{c, e}, without_b);

  remove_word(d, b);

  EXPECT_EQ(id_of(d, u"b"), absent);
  EXPECT_EQ(word_at(d, b), nullptr);
  EXPECT_EQ(d.hdid, std::set<std::int32_t>{b});
  EXPECT_EQ(unpack_pairs(word_at(d, a)->next), (pairs{{boundary_id, 0}}));
  EXPECT_EQ(unpack_pairs(word_at(d, a)->cooc), (pairs{{c, 0}}));
  EXPECT_EQ(word_at(d, c)->prev.size, 0);
  EXPECT_EQ(unpack_pairs(word_at(d, c)->cooc), (pairs{{a, 0}}));
  EXPECT_EQ(word_at(d, e)->next.size, 0);
  EXPECT_EQ(word_at(d, e)->cooc.size, 0);

  EXPECT_EQ(idiom_at(d, with_b), nullptr);
  EXPECT_EQ(idiom_at(d, also_with_b), nullptr);
  EXPECT_NE(idiom_at(d, without_b), nullptr);
  EXPECT_EQ(d.idiom_hdid, (std::set<std::int32_t>{with_b, also_with_b}));
  EXPECT_EQ(word_at(d, a)->idioms.size, 0);
  EXPECT_EQ(unpack_ids(word_at(d, c)->idioms), ids{without_b});
  EXPECT_EQ(unpack_ids(word_at(d, e)->idioms), ids{without_b});

  expect_maps_consistent(d);
}

// Words 0..n-1 with the given usage counts: holder word k (added after them) lists in its
// cooc every word whose usage is above k. Holders are in no cooc list, so they are never
// counted and never pruned. Returns the number of words added.
std::size_t add_counted_words(dic_t& d, const std::vector<int>& usages) {
  for (std::size_t i = 0; i < usages.size(); ++i)
    add(d, numbered("w", i));
  const int most = *std::max_element(usages.begin(), usages.end());
  for (int k = 0; k < most; ++k) {
    pairs held;
    for (std::size_t i = 0; i < usages.size(); ++i) {
      if (usages[i] > k) held.push_back({static_cast<std::int32_t>(i), 0});
    }
    word_at(d, add(d, numbered("h", static_cast<std::size_t>(k))))->cooc = pack_pairs(held);
  }
  return usages.size() + static_cast<std::size_t>(most);
}

TEST(prune_words, with_usages_1_1_1_1_2_2_3_5_removes_exactly_the_first_two) {
  const std::vector<int> usages{2, 1, 5, 1, 3, 1, 2, 1};  // by word id
  dic_t d(8 + 5);
  ASSERT_EQ(add_counted_words(d, usages), 13u);
  ASSERT_EQ(d.wordmap.size(), 13u) << "reaching the limit prunes nothing yet";

  EXPECT_EQ(add(d, u"new"), 1);
  EXPECT_EQ(id_of(d, u"w1"), absent);
  EXPECT_EQ(id_of(d, u"w3"), absent);
  for (const char* kept : {"w0", "w2", "w4", "w5", "w6", "w7", "h0", "h4"})
    EXPECT_NE(id_of(d, u16(kept)), absent) << kept;
  EXPECT_EQ(d.wordmap.size(), 12u);
  EXPECT_EQ(d.hdid, std::set<std::int32_t>{3});
  expect_maps_consistent(d);
}

TEST(prune_words, runs_when_a_loaded_map_already_holds_more_than_the_limit) {
  const std::vector<int> usages{2, 1, 5, 1, 3, 1, 2, 1};
  dic_t d;
  add_counted_words(d, usages);
  dic_t small(4);  // the same words loaded into a dictionary with a lower limit
  for (const auto& [key, info] : d.wordmap) {
    wordinfo_t copy;
    copy.id = info.id;
    copy.cooc = tsugihagi::pack_pairs(tsugihagi::unpack_pairs(info.cooc));
    ASSERT_TRUE(insert_loaded_word(small, key.text(), std::move(copy)));
  }
  const std::size_t loaded = small.wordmap.size();
  add(small, u"new");
  EXPECT_LT(small.wordmap.size(), loaded) << "adding to an over-full map prunes it";
  expect_maps_consistent(small);
}

TEST(word_ids, freed_while_held_stay_dead_until_released) {
  dic_t d;
  const std::int32_t a = add(d, u"a");
  hold_freed_word_ids(d);
  remove_word(d, a);
  EXPECT_EQ(word_at(d, a), nullptr);
  EXPECT_TRUE(d.hdid.empty());
  EXPECT_EQ(add(d, u"b"), a + 1) << "a held id is not reused";
  release_freed_word_ids(d);
  EXPECT_EQ(d.hdid, std::set<std::int32_t>{a});
  EXPECT_EQ(add(d, u"c"), a);
  remove_word(d, a);
  EXPECT_EQ(d.hdid, std::set<std::int32_t>{a}) << "after the release ids are freed at once";
}

TEST(prune_words, with_usages_1_2_2_2_2_2_2_2_removes_only_the_least_used_word) {
  const std::vector<int> usages{2, 2, 2, 2, 2, 1, 2, 2};
  dic_t d(8 + 2);
  add_counted_words(d, usages);
  EXPECT_EQ(add(d, u"new"), 5);
  EXPECT_EQ(id_of(d, u"w5"), absent);
  EXPECT_EQ(d.wordmap.size(), 10u);
  EXPECT_TRUE(d.hdid.empty());
}

TEST(prune_words, with_fewer_than_four_counted_words_removes_nothing) {
  dic_t d(3 + 3);
  add_counted_words(d, {1, 2, 3});
  EXPECT_EQ(add(d, u"new"), 6);
  EXPECT_EQ(d.wordmap.size(), 7u);
}

// Idioms 0..n-1 with the given usage counts: idiom i holds the first usages[i] holder words
// (plus i extra copies of the first one, to keep the idioms distinct) and is linked to them.
void add_counted_idioms(dic_t& d, const std::vector<int>& usages) {
  const int most = *std::max_element(usages.begin(), usages.end());
  ids holders;
  for (int k = 0; k < most; ++k)
    holders.push_back(add(d, numbered("h", static_cast<std::size_t>(k))));
  for (std::size_t i = 0; i < usages.size(); ++i) {
    ids words(holders.begin(), holders.begin() + usages[i]);
    words.insert(words.end(), i, holders[0]);
    const auto [id, inserted] = add_idiom(d, line_idiom(words));
    ASSERT_TRUE(inserted);
    ASSERT_EQ(id, static_cast<std::int32_t>(i));
    link_idiom(d, words, id);
  }
}

TEST(prune_idioms, with_usages_1_1_1_1_2_2_3_5_removes_exactly_the_first_two) {
  dic_t d(8 + 1);
  add_counted_idioms(d, {2, 1, 5, 1, 3, 1, 2, 1});
  EXPECT_FALSE(add_idiom(d, line_idiom({0, 1})).second) << "a repeat neither fills nor prunes";
  EXPECT_EQ(d.idiomset.size(), 8u);

  const idiom_t fresh{{0}, {0}};
  const auto [id, inserted] = add_idiom(d, fresh);
  ASSERT_TRUE(inserted);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(idiom_at(d, 1)->ids, fresh.ids);
  EXPECT_EQ(idiom_at(d, 1)->flags, fresh.flags);
  EXPECT_EQ(idiom_at(d, 3), nullptr);
  EXPECT_EQ(d.idiom_hdid, std::set<std::int32_t>{3});
  EXPECT_EQ(d.idiomset.size(), 7u);
  EXPECT_EQ(unpack_ids(word_at(d, id_of(d, u"h0"))->idioms), (ids{0, 2, 4, 5, 6, 7}));
  expect_maps_consistent(d);
}

TEST(prune_idioms, with_usages_1_2_2_2_2_2_2_2_removes_only_the_least_used_idiom) {
  dic_t d(8 + 1);
  add_counted_idioms(d, {2, 2, 2, 2, 2, 1, 2, 2});
  EXPECT_EQ(add_idiom(d, idiom_t{{0}, {0}}), std::make_pair(5, true));
  EXPECT_EQ(d.idiomset.size(), 8u);
  EXPECT_TRUE(d.idiom_hdid.empty());
}

TEST(prune_idioms, with_fewer_than_four_counted_idioms_removes_nothing) {
  dic_t d(3 + 1);
  add_counted_idioms(d, {1, 2, 3});
  EXPECT_EQ(add_idiom(d, idiom_t{{0}, {0}}), std::make_pair(3, true));
  EXPECT_EQ(d.idiomset.size(), 4u);
}

// Lists loaded from a damaged file may name ids that are no word or idiom; pruning must
// never choose such an id, or a later entry would be given it (-1 indexes before the array).
TEST(pruning, ignores_ids_in_lists_that_name_no_live_entry) {
  dic_t d(1);
  wordinfo_t info;
  info.id = 0;
  const std::int32_t idioms[] = {-1, 5, 6, 7};
  info.idioms = tsugihagi::pack_ids(idioms);
  const std::int32_t cooc[] = {-1, 0, 9, 0, 0x7FFFFFFF, 1};
  info.cooc = tsugihagi::pack_ids(cooc);
  ASSERT_TRUE(insert_loaded_word(d, u"あ", std::move(info)));
  const auto [id, inserted] = add_idiom(d, idiom_t{{0}, {1}});  // the set is full: prunes
  EXPECT_TRUE(inserted);
  EXPECT_EQ(id, 0);
  EXPECT_TRUE(d.idiom_hdid.empty());
  const auto word = add_word(d, u"い", 1);  // the word map is full: prunes
  EXPECT_TRUE(word.second);
  EXPECT_GE(word.first->second.id, 0);
  EXPECT_LT(d.idmap.size(), 16);
}

}  // namespace
}  // namespace strmorph

namespace strmorph {
namespace {

// Loaded words indexed at once against the same words indexed one by one: in saved order,
// reversed and shuffled, with repeated texts and taken ids, the same map, the same lookups
// (of every word, of texts that are no word, of every length) and the same table size; and
// words added afterwards are found as well.
TEST(index_loaded_words, finds_what_indexing_one_by_one_finds_in_any_order) {
  std::mt19937 rng(11);
  for (const std::size_t count :
       {std::size_t{0}, std::size_t{1}, std::size_t{700}, std::size_t{769}, std::size_t{3000}}) {
    // `count` distinct texts of a to e, then a tenth of them again under other ids, and
    // ids that repeat.
    std::vector<std::pair<std::u16string, std::int32_t>> words;
    for (std::size_t i = 0; i < count; ++i) {
      std::u16string text;
      for (std::size_t rest = i + 1; rest > 0; rest /= 5)
        text += static_cast<char16_t>(u'a' + rest % 5);
      words.emplace_back(text, static_cast<std::int32_t>(i));
    }
    for (std::size_t i = 0; i < count / 10; ++i) {
      words.emplace_back(words[rng() % count].first, static_cast<std::int32_t>(count + i));
      words.emplace_back(numbered("x", i), static_cast<std::int32_t>(rng() % count));
    }
    for (const int order : {0, 1, 2}) {
      if (order == 0) {  // word map order, as a saved file holds them
        std::ranges::sort(words, [](const auto& a, const auto& b) {
          if (a.first.size() != b.first.size()) return a.first.size() < b.first.size();
          return a.first < b.first;
        });
      }
      if (order == 1) std::ranges::reverse(words);
      if (order == 2) std::ranges::shuffle(words, rng);
      dic_t one_by_one;
      dic_t at_once;
      for (const auto& [text, id] : words) {
        // Some idioms, the holders made from them, named twice by some lists.
        const ids idioms{id % 7, id % 50, id % 3 == 0 ? id % 7 : 60 + id % 4};
        wordinfo_t a;
        a.id = id;
        a.idioms = tsugihagi::pack_ids(idioms);
        wordinfo_t b;
        b.id = id;
        b.idioms = tsugihagi::pack_ids(idioms);
        ASSERT_EQ(insert_loaded_word(one_by_one, text, std::move(a)),
                  insert_loaded_word(at_once, text, std::move(b), true));
      }
      // The holders made on a second thread beside the index, or after it.
      index_loaded_words(at_once, order == 1 ? SIZE_MAX : 0);
      for (std::int32_t y = 0; y < 64; ++y)
        ASSERT_EQ(at_once.holders.holders(y), one_by_one.holders.holders(y)) << y;
      ASSERT_EQ(texts_in_order(at_once), texts_in_order(one_by_one)) << count << " " << order;
      EXPECT_EQ(at_once.word_slots.size(), one_by_one.word_slots.size());
      EXPECT_EQ(at_once.word_slots_used, one_by_one.word_slots_used);
      expect_maps_consistent(at_once);
      for (const auto& [text, id] : words)
        ASSERT_EQ(id_of(at_once, text), id_of(one_by_one, text)) << tsugihagi::testing::u8(text);
      for (std::size_t length = 1; length <= 4; ++length) {
        for (std::size_t n = 0; n < (std::size_t{1} << (3 * length)); ++n) {  // a to h
          std::u16string text;
          for (std::size_t k = 0, rest = n; k < length; ++k, rest /= 8)
            text += static_cast<char16_t>(u'a' + rest % 8);
          ASSERT_EQ(id_of(at_once, text), id_of(one_by_one, text)) << tsugihagi::testing::u8(text);
        }
      }
      const std::int32_t added = add(at_once, u"dddddd");
      EXPECT_EQ(id_of(at_once, u"dddddd"), added);
    }
  }
}

}  // namespace
}  // namespace strmorph
