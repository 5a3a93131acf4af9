// The faster forms of word discovery, the link steps and candidate gathering against the
// literal algorithms kept in tests/support/reference.h, on every small input over a two- or
// three-letter alphabet (and seeded random ones where "every" would be too many).
#include <gtest/gtest.h>

// GCC 12 at -O3 reports overlapping copies inside std::u16string concatenation that cannot
// happen (a known false positive of -Wrestrict).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <algorithm>
#include <bit>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/app/bot.h"
#include "core/app/forgetting.h"
#include "core/app/session.h"
#include "core/dict/dictionary_files.h"
#include "core/dict/segmentation.h"
#include "core/io/list_extras_table.h"
#include "core/io/pair_counting.h"
#include "core/io/primitives.h"
#include "core/memory/lcs_length.h"
#include "core/memory/learning.h"
#include "core/memory/word_discovery.h"
#include "tests/support/invariants.h"
#include "tests/support/reference.h"
#include "tests/support/test_support.h"
#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using testing::all_strings;

std::string dictionary_words(const strmorph::dic_t& d) {
  std::string out;
  for (const auto& [key, info] : d.wordmap) {
    for (const char16_t c : key.text())
      out.push_back(static_cast<char>(c));
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about "#" + string.
    out.append("#").append(std::to_string(info.id)).append("x");
    out.append(std::to_string(info.count)).append(" ");
  }
  return out;
}

TEST(substring_index, finds_exactly_the_stretches_that_occur_in_some_text) {
  const std::vector<std::u16string> strings = all_strings(u"ab", 5);
  substring_index index;
  std::vector<std::int32_t> longest;
  std::mt19937 rng(1);
  for (int round = 0; round < 400; ++round) {
    const std::u16string query = strings[rng() % strings.size()] + u"c" + strings[rng() % 30];
    index.set_query(query);
    std::vector<std::u16string> texts;
    for (int t = rng() % 4; t > 0; --t) {
      texts.push_back(strings[rng() % strings.size()] + (rng() % 2 != 0 ? u"c" : u"d"));
      index.add_text(texts.back());
    }
    index.longest_matches(longest);
    for (std::size_t w = 0; w < query.size(); ++w) {
      for (std::size_t n = 1; w + n <= query.size(); ++n) {
        const std::u16string_view window = std::u16string_view(query).substr(w, n);
        bool occurs = false;
        for (const auto& text : texts)
          occurs = occurs || text.find(window) != std::u16string::npos;
        ASSERT_EQ(longest[w + n - 1] >= static_cast<std::int32_t>(n), occurs)
            << round << " window " << w << "+" << n;
      }
    }
  }
}

TEST(substring_index, finds_the_longest_stretches_of_long_queries_whose_edges_collide) {
  // Queries of some hundred units give the automaton hundreds of edges, so that lookups in
  // its edge table meet other keys on their way.
  std::mt19937 rng(9);
  substring_index index;
  std::vector<std::int32_t> longest;
  for (int round = 0; round < 12; ++round) {
    const std::u16string_view alphabet = round % 2 == 0 ? u"abc" : u"abcdefghij";
    const auto random_text = [&](std::size_t length) {
      std::u16string text(length, u'a');
      for (char16_t& c : text)
        c = alphabet[rng() % alphabet.size()];
      return text;
    };
    const std::u16string query = random_text(100 + rng() % 200);
    index.set_query(query);
    std::vector<std::u16string> texts;
    for (int t = 0; t < 3; ++t) {
      texts.push_back(random_text(20 + rng() % 200));
      index.add_text(texts.back());
    }
    index.longest_matches(longest);
    for (std::size_t end = 0; end < query.size(); ++end) {
      std::int32_t expected = 0;
      for (std::size_t n = 1; n <= end + 1; ++n) {
        const std::u16string_view window = std::u16string_view(query).substr(end + 1 - n, n);
        bool occurs = false;
        for (const auto& text : texts)
          occurs = occurs || text.find(window) != std::u16string::npos;
        if (!occurs) break;
        expected = static_cast<std::int32_t>(n);
      }
      ASSERT_EQ(longest[end], expected) << round << " at " << end;
    }
  }
}

TEST(word_discovery, adds_the_same_words_in_the_same_order_as_the_literal_search) {
  // Every pair (older line, newest line) of strings over {a, b} up to 4 units, then seeded
  // logs of three to five lines over {a, b, c}.
  const std::vector<std::u16string> short_strings = all_strings(u"ab", 4);
  const auto compare = [](const std::vector<std::u16string>& lines) {
    conversation_log log;
    for (const auto& line : lines)
      add_line(log, line);
    strmorph::dic_t fast;
    strmorph::dic_t literal;
    discover_words(fast, log);
    reference::discover_words(literal, log);
    return dictionary_words(fast) == dictionary_words(literal);
  };
  for (const auto& older : short_strings) {
    for (const auto& newest : short_strings) {
      ASSERT_TRUE(compare({older, newest})) << testing::u8(older) << " / " << testing::u8(newest);
    }
  }
  const std::vector<std::u16string> strings = all_strings(u"abc", 5);
  std::mt19937 rng(2);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::u16string> lines(3 + rng() % 3);
    for (auto& line : lines)
      line = strings[rng() % strings.size()];
    ASSERT_TRUE(compare(lines)) << round;
  }
}

// The pairs packed and read back as a loaded list is: one holding an id twice is marked.
packed_list as_loaded(std::span<const id_count> pairs) {
  return packed_from_bytes(pack_pairs(pairs).bytes(), list_kind::pairs);
}

// The values one compact_int after another, value k in lengths[k] bytes (or its fewest).
std::vector<std::uint8_t> written(std::span<const std::int32_t> values,
                                  std::span<const std::size_t> lengths) {
  std::vector<std::uint8_t> out;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const auto value = static_cast<std::uint32_t>(values[k]);
    const std::size_t length = std::max(lengths[k], compact_int_size(value) - 1);
    out.push_back(static_cast<std::uint8_t>(length));
    for (std::size_t i = 0; i < length; ++i)
      out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  return out;
}

// The list as another program may have written it: a third of its values longer than
// needed and, of pairs, every other time a pair repeating an earlier id.
packed_list foreign(const packed_list& list, list_kind kind, std::mt19937& rng) {
  std::vector<std::int32_t> values = reference::ids_of(list);
  if (const std::size_t n = values.size() / 2; kind == list_kind::pairs && n > 0 && rng() % 2) {
    const std::size_t copied = rng() % n;
    const auto at = static_cast<std::ptrdiff_t>(2 * (copied + 1 + rng() % (n - copied)));
    values.insert(values.begin() + at, {values[2 * copied], static_cast<std::int32_t>(rng() % 9)});
  }
  std::vector<std::size_t> lengths(values.size());
  for (std::size_t& length : lengths)
    length = rng() % 3 == 0 ? rng() % 5 : 0;
  return packed_from_bytes(written(values, lengths), kind);
}

// Three words with random cooc lists; with `dead`, the lists may also name the id 7, which
// no word has, and hold counts up to 3; with `foreign_lists`, they are written as foreign().
void randomise(strmorph::dic_t& d, std::mt19937& rng, bool dead = false,
               bool foreign_lists = false) {
  for (const char16_t* text : {u"a", u"b", u"c"})
    testing::add(d, text);
  for (std::int32_t w = 0; w < 3; ++w) {
    std::vector<id_count> cooc;
    for (std::int32_t x = 0; x < 3; ++x) {
      if (rng() % 2 != 0) cooc.push_back({x, static_cast<std::int32_t>(rng() % 3)});
    }
    if (dead) {
      for (std::uint32_t extra = rng() % 3; extra > 0; --extra)
        cooc.push_back({rng() % 2 != 0 ? 7 : static_cast<std::int32_t>(rng() % 3),
                        static_cast<std::int32_t>(rng() % 4)});
    }
    std::shuffle(cooc.begin(), cooc.end(), rng);
    strmorph::word_at(d, w)->cooc = as_loaded(cooc);
    if (foreign_lists) {
      strmorph::wordinfo_t& info = *strmorph::word_at(d, w);
      info.cooc = foreign(info.cooc, list_kind::pairs, rng);
      info.next = foreign(pack_pairs(std::vector<id_count>{{(w + 1) % 3, 2}, {-1, 0}}),
                          list_kind::pairs, rng);
      info.prev =
          foreign(pack_ids(std::vector<std::int32_t>{-1, (w + 2) % 3}), list_kind::ids, rng);
    }
  }
}

std::vector<std::int32_t> random_sequence(std::mt19937& rng, std::size_t max_length) {
  std::vector<std::int32_t> ids(1 + rng() % max_length);
  for (auto& id : ids)
    id = static_cast<std::int32_t>(rng() % 3);
  return ids;
}

TEST(link_learning, counts_exactly_as_the_literal_unpack_and_repack_steps) {
  std::mt19937 rng(3);
  for (int round = 0; round < 3000; ++round) {
    const std::uint32_t state_seed = rng();
    bot fast;
    bot literal;
    std::mt19937 state_rng(state_seed);
    randomise(fast.dic, state_rng, false, round % 2 != 0);
    state_rng.seed(state_seed);
    randomise(literal.dic, state_rng, false, round % 2 != 0);
    const std::vector<std::int32_t> before = random_sequence(rng, 4);
    const std::vector<std::int32_t> now = random_sequence(rng, 5);
    for (bot* b : {&fast, &literal}) {
      add_line(b->log, u"x");
      b->log.line_words[0].ids = before;
      add_line(b->log, u"y");
      b->log.line_words[0].ids = now;
    }
    if (now.size() >= 2) {
      learn_word_links(fast.dic, now);
      reference::learn_word_links(literal.dic, now);
    }
    learn_turn_links(fast.dic, fast.log);
    reference::learn_turn_links(literal.dic, literal.log);
    ASSERT_EQ(testing::state_difference(fast, literal), "") << round;
  }
}

TEST(candidate_gathering, reaches_the_same_associations_and_phrases_as_the_literal_walk) {
  std::mt19937 rng(4);
  for (int round = 0; round < 2000; ++round) {
    strmorph::dic_t d;
    randomise(d, rng, round % 2 != 0, round % 4 >= 2);
    // Some rounds hold hundreds of idioms, a third of them removed: ids over several chunks
    // of the id slots, with gaps.
    const bool many = round % 5 == 4;
    std::vector<std::int32_t> added;
    for (int p = 0; p < (many ? 400 : 3); ++p) {
      const std::vector<std::int32_t> ids = random_sequence(rng, many ? 6 : 3);
      std::vector<std::uint8_t> flags(ids.size(), 0);
      flags.back() = static_cast<std::uint8_t>(rng() % 2);
      const auto [id, inserted] = strmorph::add_idiom(d, strmorph::idiom_t{ids, flags});
      if (inserted) strmorph::link_idiom(d, ids, id);
      if (inserted) added.push_back(id);
    }
    for (const std::int32_t id : added) {
      if (many && rng() % 3 == 0) strmorph::remove_idiom(d, id);
    }
    // A damaged file's idioms lists may name idioms that are gone, or ids past the last.
    if (round % 3 == 0) {
      for (const std::int32_t dead : {1, 9, -2}) {
        const auto w = static_cast<std::int32_t>(rng() % 3);
        add_once_id(strmorph::word_at(d, w)->idioms, dead);
        d.holders.add(dead, w);  // as loading the list would
      }
      strmorph::remove_idiom(d, 1);
    }
    // Some rounds add 40 words whose lists hold counts 0..7 in any order, so that a word's
    // count bound often equals, or lies just below, the smallest count not yet a key.
    const bool wide = round % 7 == 6;
    const std::int32_t word_count = wide ? 43 : 3;
    for (std::int32_t w = 3; w < word_count; ++w) {
      testing::add(d, u"w" + std::u16string(1, static_cast<char16_t>(u'A' + w)));
      std::vector<id_count> cooc;
      for (std::uint32_t n = rng() % 12; n > 0; --n)
        cooc.push_back(
            {static_cast<std::int32_t>(rng() % 43), static_cast<std::int32_t>(rng() % 8)});
      strmorph::word_at(d, w)->cooc = as_loaded(cooc);
    }
    conversation_log log;
    for (int line = 0; line < 3; ++line) {
      add_line(log, u"z");
      log.line_words[0].ids = random_sequence(rng, 3);
      if (wide) {
        for (std::uint32_t n = rng() % 4; n > 0; --n)
          log.line_words[0].ids.push_back(static_cast<std::int32_t>(3 + rng() % 40));
      }
    }
    // The idioms found by one pass over the holders, and by asking each word reached.
    candidates fast(d);
    fast.words_for_a_pass = 0;
    candidates asking(d);
    asking.words_for_a_pass = SIZE_MAX;
    association_map associations;
    id_pool phrases;
    for (std::size_t i = 0; i < log.line_count(); ++i) {
      reference::collect_candidates(d, log, i, associations, phrases);
      const std::vector<std::int32_t> literal(phrases.begin(), phrases.end());
      for (candidates* c : {&fast, &asking}) {
        collect_candidates(d, log, i, *c);
        ASSERT_TRUE(c->associations == associations) << round;
        ASSERT_EQ(c->phrases.elements(), literal) << round << " " << (c == &fast);
      }
      // A reply takes tried phrases out of the pool between lines.
      if (!phrases.empty() && rng() % 2 != 0) {
        const std::int32_t taken = *phrases.begin();
        phrases.erase(taken);
        ASSERT_EQ(fast.phrases.take(0), taken);
        ASSERT_EQ(asking.phrases.take(0), taken);
      }
    }
    // A list counted into after a reply: the next reply must see the change.
    const auto w = static_cast<std::int32_t>(rng() % 3);
    count_in_pair(strmorph::word_at(d, w)->cooc, static_cast<std::int32_t>(rng() % 3));
    candidates again(d);
    association_map literal_again;
    id_pool phrases_again;
    collect_candidates(d, log, 0, again);
    reference::collect_candidates(d, log, 0, literal_again, phrases_again);
    ASSERT_TRUE(again.associations == literal_again) << round << " after an edit";
    // Whole replies, over lines used or not, with next and prev lists that let some phrases
    // fit: the same reply, lines marked and draws as the literal reply.
    for (std::int32_t x = 0; x < word_count; ++x) {
      strmorph::wordinfo_t* info = strmorph::word_at(d, x);
      if (info == nullptr || info->next.size != 0 || rng() % 4 == 0) continue;
      info->next = pack_pairs(std::vector<id_count>{{(x + 1) % 3, 1}, {-1, 0}});
      info->prev = pack_ids(std::vector<std::int32_t>{-1, static_cast<std::int32_t>(rng() % 3)});
    }
    for (int reply = 0; reply < 3; ++reply) {
      std::vector<char> used(log.line_count());
      for (std::size_t i = 0; i < log.line_count(); ++i)
        log.line_words[i].used = (used[i] = rng() % 3 == 0) != 0;
      const std::uint32_t seed = rng();
      random_source fast_rng;
      random_source literal_rng;
      seed_random(fast_rng, seed);
      seed_random(literal_rng, seed);
      reply_sequence fast_seq;
      reply_sequence literal_seq;
      const bool fast_fits = reply_from_phrases(d, log, fast_rng, fast_seq);
      for (std::size_t i = 0; i < log.line_count(); ++i)
        used[i] = std::exchange(log.line_words[i].used, used[i] != 0);  // what the fast one marked
      ASSERT_EQ(fast_fits, reference::reply_from_phrases(d, log, literal_rng, literal_seq))
          << round;
      ASSERT_TRUE(fast_seq == literal_seq) << round;
      for (std::size_t i = 0; i < log.line_count(); ++i)
        ASSERT_EQ(used[i] != 0, log.line_words[i].used) << round;
      ASSERT_EQ(next_random(fast_rng), next_random(literal_rng)) << round;
    }
  }
}

// Where the holders differ from the idioms lists of the live words turned around, or "".
std::string holders_difference(const strmorph::dic_t& d) {
  std::map<std::int32_t, std::vector<std::int32_t>> turned;
  for (const auto& [key, info] : d.wordmap) {
    for_each_id(info.idioms, [&](std::int32_t y) {
      if (y >= 0 && y < strmorph::id_ceiling) turned[y].push_back(info.id);
    });
  }
  std::size_t pairs = 0;
  for (auto& [y, words] : turned) {
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    pairs += words.size();
    if (d.holders.holders(y) != words) return "holders of idiom " + std::to_string(y);
  }
  if (pairs != d.holders.pair_count()) return "pairs held that no list names";
  // And the idioms' liveness as bits, through the same edits.
  const auto bits = static_cast<std::int32_t>(64 * d.live_idioms.size());
  for (std::int32_t y = 0; y < std::max(bits, d.idiomidmap.size()); ++y) {
    const auto k = static_cast<std::size_t>(y) / 64;
    const bool bit = y < bits && (d.live_idioms[k] >> (y % 64) & 1) != 0;
    if (bit != (strmorph::idiom_at(d, y) != nullptr))
      return "liveness of idiom " + std::to_string(y);
  }
  return "";
}

// The holders stay the idioms lists turned around through learning with pruning, forgetting,
// pruning by hand, loading files whose lists name idioms their words are not part of, twice or
// impossible ones, with bytes overwritten at random or not, and removals after loading.
TEST(idiom_holders, stay_the_idioms_lists_turned_around_through_every_edit) {
  bot b([] { return std::int64_t{1}; }, 400);
  const std::vector<std::u16string> lines = testing::corpus_lines(600);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    learn_line(b.dic, b.log, b.patterns, lines[k]);
    if (k % 25 == 0) {
      ASSERT_EQ(holders_difference(b.dic), "") << "line " << k;
    }
    if (k % 150 == 149) {
      forget_text(b, lines[k].substr(0, 2));
      ASSERT_EQ(holders_difference(b.dic), "") << "forgetting after line " << k;
    }
  }
  strmorph::prune_idioms(b.dic);
  strmorph::prune_words(b.dic);
  ASSERT_EQ(holders_difference(b.dic), "") << "pruning";
  // Lists as a damaged file may hold them: naming idioms the word is not part of (some gone,
  // some never possible) and naming an idiom twice. Only written, never read from b.dic.
  std::mt19937 rng(11);
  for (auto& [key, info] : b.dic.wordmap) {
    std::vector<std::int32_t> ids = unpack_ids(info.idioms);
    if (rng() % 3 == 0) ids.push_back(static_cast<std::int32_t>(rng() % 600));
    if (rng() % 9 == 0) ids.push_back(rng() % 2 == 0 ? strmorph::id_ceiling + 5 : -3);
    if (!ids.empty() && rng() % 5 == 0) ids.push_back(ids[rng() % ids.size()]);
    info.idioms = pack_ids(ids);
  }
  const testing::bytes dic =
      testing::written_by([&](data_stream& s) { strmorph::write_dic(b.dic, s); });
  const testing::bytes idioms =
      testing::written_by([&](data_stream& s) { strmorph::write_idiomdic(b.dic, s); });
  for (int round = 0; round < 40; ++round) {
    testing::bytes damaged = dic;
    for (int hit = 0; hit < round % 4; ++hit)
      damaged[rng() % damaged.size()] = static_cast<std::uint8_t>(rng());
    strmorph::dic_t loaded;
    data_stream idiom_stream = testing::memory_reader(idioms);
    strmorph::read_idiomdic(loaded, idiom_stream);
    data_stream dic_stream = testing::memory_reader(damaged);
    strmorph::read_dic(loaded, dic_stream);
    strmorph::index_loaded_words(loaded);
    ASSERT_EQ(holders_difference(loaded), "") << "loaded, round " << round;
    for (int removal = 0; removal < 30; ++removal) {
      strmorph::remove_word(loaded, static_cast<std::int32_t>(rng() % 600));
      strmorph::remove_idiom(loaded, static_cast<std::int32_t>(rng() % 600));
    }
    ASSERT_EQ(holders_difference(loaded), "") << "removals, round " << round;
  }
}

// Where the bounds replies remember (strmorph::cooc_bound_cache) differ from the words, or "".
std::string remembered_difference(const strmorph::dic_t& d) {
  for (std::int32_t id = 0; id < d.idmap.size(); ++id) {
    if (!d.reached_bounds.known(id)) continue;
    const strmorph::wordinfo_t* w = strmorph::word_at(d, id);
    if (w == nullptr) return "dead word " + std::to_string(id) + " known";
    const std::int32_t bound = std::min(count_bound(w->cooc), d.reached_bounds.bound_clip);
    if (d.reached_bounds.bound(id) != bound) return "bound of " + std::to_string(id);
  }
  return "";
}

// Gathers the candidates of the newest log lines both ways, each line's after the ones
// before, as a reply does; "" when they agree with the literal walk.
std::string gathering_difference(const strmorph::dic_t& d, const conversation_log& log) {
  candidates fast(d);
  fast.words_for_a_pass = 0;  // so that reached words are read from what replies remember
  association_map associations;
  id_pool phrases;
  for (std::size_t i = 0; i < std::min<std::size_t>(log.line_count(), 4); ++i) {
    reference::collect_candidates(d, log, i, associations, phrases);
    collect_candidates(d, log, i, fast);
    if (fast.associations != associations) return "associations of line " + std::to_string(i);
    if (fast.phrases.elements() != std::vector<std::int32_t>(phrases.begin(), phrases.end()))
      return "phrases of line " + std::to_string(i);
  }
  return remembered_difference(d);
}

// Replies between the steps of learning with pruning, forgetting, pruning by hand and
// loading: what they remember of the words they reach stays the words' own bound and
// liveness, and they gather what the literal walk gathers.
TEST(reached_bounds, stay_in_step_through_every_edit) {
  bot b([] { return std::int64_t{1}; }, 300);
  const std::vector<std::u16string> lines = testing::corpus_lines(500);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    learn_line(b.dic, b.log, b.patterns, lines[k]);
    if (k % 4 == 0) {
      ASSERT_EQ(gathering_difference(b.dic, b.log), "") << "line " << k;
    }
    if (k % 100 == 99) {
      forget_text(b, lines[k].substr(0, 2));
      ASSERT_EQ(gathering_difference(b.dic, b.log), "") << "forgetting after line " << k;
    }
  }
  strmorph::prune_words(b.dic);
  ASSERT_EQ(gathering_difference(b.dic, b.log), "") << "pruning";
  const testing::temp_dir dir;
  std::filesystem::create_directories(dir.path() / "data");
  ASSERT_TRUE(save_data_files(b, dir.path()));
  bot loaded([] { return std::int64_t{1}; }, 300);
  ASSERT_EQ(load_data_files(loaded, dir.path()), startup_status::ready);
  ASSERT_EQ(gathering_difference(loaded.dic, loaded.log), "") << "loaded";
}

TEST(phrase_fitting, fills_and_varies_as_the_literal_search_and_ordered_set_do) {
  // Four words (the last removed now and then), random next and prev lists that also name
  // line ends and ids past the last, random associations, patterns and whole lines: the same
  // reply and the same draws as the literal search and draws from an ordered set.
  std::mt19937 rng(8);
  const auto some_id = [&] { return static_cast<std::int32_t>(rng() % 6) - 1; };  // -1..4
  for (int round = 0; round < 20000; ++round) {
    strmorph::dic_t d;
    for (const char16_t* text : {u"a", u"b", u"c", u"d"})
      testing::add(d, text);
    for (std::int32_t w = 0; w < 4; ++w) {
      std::vector<id_count> next(rng() % 5);
      for (id_count& p : next)
        p = {some_id() == 4 ? 300 : some_id(), static_cast<std::int32_t>(rng() % 3)};
      std::vector<std::int32_t> prev(rng() % 4);
      for (std::int32_t& u : prev)
        u = some_id();
      strmorph::word_at(d, w)->next = as_loaded(next);
      strmorph::word_at(d, w)->prev = pack_ids(prev);
    }
    const bool removed = rng() % 3 == 0;
    if (removed) strmorph::remove_word(d, 3);
    association_map associations;
    for (std::uint32_t k = rng() % 5; k > 0; --k)
      associations.emplace(static_cast<std::int32_t>(rng() % 6), rng() % 5 == 4 ? 300 : rng() % 5);
    // A pattern, or (every other round) a whole line of two or more words to vary.
    const bool whole_line = round % 2 != 0;
    strmorph::idiom_t phrase;
    for (std::uint32_t k = (whole_line ? 2 : 1) + rng() % 4; k > 0; --k) {
      phrase.ids.push_back(static_cast<std::int32_t>(rng() % (removed ? 3 : 4)));
      phrase.flags.push_back(static_cast<std::uint8_t>(rng() % 2));
    }
    phrase.flags.back() = whole_line ? 1 : 0;
    const std::uint32_t seed = rng();
    random_source fast_rng;
    random_source literal_rng;
    seed_random(fast_rng, seed);
    seed_random(literal_rng, seed);
    reply_sequence fast;
    reply_sequence literal;
    const bool fast_fits = whole_line ? vary_phrase(d, associations, fast_rng, phrase, fast)
                                      : realise_phrase(d, associations, fast_rng, phrase, fast);
    const bool literal_fits =
        whole_line ? reference::vary_phrase(d, associations, literal_rng, phrase, literal)
                   : reference::realise_phrase(d, associations, literal_rng, phrase, literal);
    ASSERT_EQ(fast_fits, literal_fits) << round;
    ASSERT_TRUE(fast == literal) << round;
    ASSERT_EQ(next_random(fast_rng), next_random(literal_rng)) << round;
  }
}

}  // namespace
}  // namespace tsugihagi

namespace tsugihagi {
namespace {

TEST(lcs_length, matches_the_textbook_table_on_every_short_pair_and_on_long_ones) {
  // Every pair of sequences over {0, 1, 2} of length 0..5.
  std::vector<std::vector<std::int32_t>> sequences{{}};
  for (std::size_t start = 0, length = 1; length <= 5; ++length) {
    const std::size_t end = sequences.size();
    for (std::size_t i = start; i < end; ++i) {
      for (std::int32_t c = 0; c < 3; ++c) {
        std::vector<std::int32_t> s = sequences[i];
        s.push_back(c);
        sequences.push_back(std::move(s));
      }
    }
    start = end;
  }
  for (const auto& a : sequences) {
    const lcs_length_against fixed(a);
    for (const auto& b : sequences)
      ASSERT_EQ(fixed.length(b), reference::lcs_length(a, b));
  }
  // Lengths that cross 64-bit words, where carries and borrows travel.
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::int32_t> a(1 + rng() % 200);
    std::vector<std::int32_t> b(rng() % 200);
    const std::uint32_t alphabet = 2 + rng() % 6;
    for (auto& x : a)
      x = static_cast<std::int32_t>(rng() % alphabet);
    for (auto& x : b)
      x = static_cast<std::int32_t>(rng() % alphabet);
    ASSERT_EQ(lcs_length_against(a).length(b), reference::lcs_length(a, b)) << round;
  }
}

// Pair lists of up to three pairs over the ids 0..2, with counts at the edges of the
// compact_int lengths (-1 is 0xFFFFFFFF, which wraps to 0).
std::vector<std::vector<id_count>> short_pair_lists() {
  const std::int32_t counts[] = {0, 254, 255, 65535, -1};
  std::vector<std::vector<id_count>> lists{{}};
  for (std::size_t start = 0, length = 1; length <= 3; ++length) {
    const std::size_t end = lists.size();
    for (std::size_t i = start; i < end; ++i) {
      for (std::int32_t id = 0; id < 3; ++id) {
        for (const std::int32_t count : counts) {
          std::vector<id_count> list = lists[i];
          list.push_back({id, count});
          lists.push_back(std::move(list));
        }
      }
    }
    start = end;
  }
  return lists;
}

// Whether count_bound keeps its promise on the list: unknown, or no count below 0 or above
// it; and, asked afresh of the same bytes, the largest count exactly. And whether the
// list's extras (index, summary, offsets and tally) hold their invariant.
::testing::AssertionResult bound_holds(const packed_list& list) {
  if (!extras_hold(list)) return ::testing::AssertionFailure() << "extras out of step";
  const std::vector<id_count> pairs = unpack_pairs(list);
  const bool negative = std::ranges::any_of(
      pairs, [](const id_count& p) { return p.count < 0 || p.count == unknown_count_bound; });
  std::int32_t largest = -1;
  for (const id_count& p : pairs)
    largest = std::max(largest, p.count);
  const std::int32_t exact = negative ? unknown_count_bound : largest;
  const std::int32_t kept = count_bound(list);
  const std::int32_t fresh = count_bound(packed_from_bytes(list.bytes(), list_kind::pairs));
  if (fresh != exact) return ::testing::AssertionFailure() << "fresh bound " << fresh;
  if (kept != unknown_count_bound && (negative || kept < largest))
    return ::testing::AssertionFailure() << "kept bound " << kept << " below " << largest;
  return ::testing::AssertionSuccess();
}

TEST(list_edits, match_unpack_edit_pack_on_every_short_list) {
  for (const std::vector<id_count>& pairs : short_pair_lists()) {
    for (std::int32_t x = -1; x <= 3; ++x) {
      packed_list fast = as_loaded(pairs);
      packed_list literal = pack_pairs(pairs);
      count_in_pair(fast, x);
      reference::count_in_pair(literal, x);
      ASSERT_TRUE(std::ranges::equal(fast.bytes(), literal.bytes())) << pairs.size() << " " << x;
      ASSERT_TRUE(bound_holds(fast)) << pairs.size() << " " << x;
      fast = as_loaded(pairs);
      literal = pack_pairs(pairs);
      erase_first_pair(fast, x);
      reference::erase_first_pair(literal, x);
      ASSERT_TRUE(std::ranges::equal(fast.bytes(), literal.bytes())) << pairs.size() << " " << x;
    }
  }
  // Id lists: the first value of each pair list above, read as ids.
  for (const std::vector<id_count>& pairs : short_pair_lists()) {
    std::vector<std::int32_t> ids;
    for (const id_count& p : pairs)
      ids.push_back(p.count == 0 ? -1 : p.id);
    for (std::int32_t x = -1; x <= 3; ++x) {
      packed_list fast = pack_ids(ids);
      packed_list literal = pack_ids(ids);
      add_once_id(fast, x);
      reference::add_once_id(literal, x);
      ASSERT_TRUE(std::ranges::equal(fast.bytes(), literal.bytes()));
      erase_first_id(fast, x);
      reference::erase_first_id(literal, x);
      ASSERT_TRUE(std::ranges::equal(fast.bytes(), literal.bytes()));
    }
  }
}

// Whether the list's kept summary is the one the unpacked pairs give.
bool summary_is_current(const packed_list& list) {
  return std::ranges::equal(first_pair_of_each_count(list),
                            reference::first_pair_of_each_count(list));
}

TEST(list_edits, batches_match_one_sighting_at_a_time_on_every_short_list) {
  // Every batch of up to three sightings over -1..3, on every short list, with and without a
  // summary asked for before: the bytes and the summary after it must be the literal ones.
  std::vector<std::vector<std::int32_t>> batches{{}};
  for (std::size_t start = 0, length = 1; length <= 3; ++length) {
    const std::size_t end = batches.size();
    for (std::size_t i = start; i < end; ++i) {
      for (std::int32_t x = -1; x <= 3; ++x) {
        batches.push_back(batches[i]);
        batches.back().push_back(x);
      }
    }
    start = end;
  }
  for (const std::vector<id_count>& pairs : short_pair_lists()) {
    for (const std::vector<std::int32_t>& batch : batches) {
      // Packed (its count bound known from the start), summarised, or read from bytes with
      // its count bound asked for before the batch.
      for (const int start : {0, 1, 2}) {
        packed_list fast = as_loaded(pairs);
        packed_list literal = pack_pairs(pairs);
        if (start == 1) first_pair_of_each_count(fast);
        if (start == 2) {
          fast = packed_from_bytes(literal.bytes(), list_kind::pairs);
          count_bound(fast);
        }
        count_in_pairs(fast, batch);
        for (const std::int32_t x : batch)
          reference::count_in_pair(literal, x);
        literal = pack_pairs(reference::pairs_of(literal));  // a batch packs, even an empty one
        ASSERT_TRUE(std::ranges::equal(fast.bytes(), literal.bytes())) << pairs.size();
        ASSERT_TRUE(summary_is_current(fast)) << pairs.size();
        ASSERT_TRUE(bound_holds(fast)) << pairs.size() << " " << start;
      }
    }
  }
}

TEST(list_edits, counting_into_several_lists_at_once_matches_the_literal_steps) {
  // Sets of one to five lists of every kind a batch meets (empty, short, walked eight bytes a
  // step, indexed; packed, summarised or read from bytes), each with its own batch of old
  // and new ids: the passes side by side must leave each list's literal bytes.
  std::mt19937 rng(9);
  for (int round = 0; round < 600; ++round) {
    const std::size_t n = 1 + rng() % 5;
    std::vector<packed_list> fast(n);
    std::vector<packed_list> literal(n);
    std::vector<std::vector<std::int32_t>> batches(n);
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint32_t sizes[] = {0, 1, 3, 40, 400, 1500, 3000};
      const std::uint32_t pairs = sizes[rng() % 7];
      std::vector<std::int32_t> ids(2 * pairs + 2);
      std::iota(ids.begin(), ids.end(), -1);
      std::shuffle(ids.begin(), ids.end(), rng);
      std::vector<id_count> start;
      for (std::uint32_t i = 0; i < pairs; ++i) {
        const std::int32_t counts[] = {0, 1, 2, 255, 65535, 70000, 16777215, -1};
        start.push_back({ids[i], counts[rng() % 8]});
      }
      literal[k] = pack_pairs(start);
      fast[k] = pack_pairs(start);
      if (rng() % 3 == 1) first_pair_of_each_count(fast[k]);
      if (rng() % 3 == 2) fast[k] = packed_from_bytes(literal[k].bytes(), list_kind::pairs);
      batches[k].resize(rng() % 14);
      for (std::int32_t& x : batches[k])
        x = rng() % 3 == 0 ? ids[rng() % ids.size()] : ids[rng() % (pairs + 1)];
      for (const std::int32_t x : batches[k])
        reference::count_in_pair(literal[k], x);
      literal[k] = pack_pairs(reference::pairs_of(literal[k]));  // a batch packs, even empty
    }
    std::vector<packed_list*> lists;
    std::vector<std::span<const std::int32_t>> xs;
    for (std::size_t k = 0; k < n; ++k) {
      lists.push_back(&fast[k]);
      xs.emplace_back(batches[k]);
    }
    count_in_pairs_each(lists, xs);
    for (std::size_t k = 0; k < n; ++k) {
      ASSERT_TRUE(std::ranges::equal(fast[k].bytes(), literal[k].bytes())) << round << " " << k;
      ASSERT_TRUE(bound_holds(fast[k])) << round << " " << k;
    }
  }
}

// The literal steps on the unpacked pairs, each id's first pair found through a map: what
// unpacking, editing and packing again gives, for lists too long to pack at every sighting.
class literal_pairs {
 public:
  explicit literal_pairs(std::vector<id_count> pairs) : pairs_(std::move(pairs)) { find_all(); }
  void count_in(std::int32_t x) {
    const auto [at, added] = first_.try_emplace(x, pairs_.size());
    if (added) {
      pairs_.push_back({x, 0});
    } else {
      count_once_more(pairs_[at->second].count);
    }
  }
  void erase_first(std::int32_t x) {
    const auto at = first_.find(x);
    if (at == first_.end()) return;
    pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(at->second));
    find_all();
  }
  packed_list packed() const { return pack_pairs(pairs_); }

 private:
  void find_all() {
    first_.clear();
    for (std::size_t k = 0; k < pairs_.size(); ++k)
      first_.try_emplace(pairs_[k].id, k);
  }
  std::vector<id_count> pairs_;
  std::unordered_map<std::int32_t, std::size_t> first_;
};

TEST(list_edits, match_unpack_edit_pack_through_runs_that_build_grow_and_shift_the_index) {
  // Long lists whose counts sit just below a length change, then thousands of sightings
  // (small ids far more often), alone and in batches, and some deletions, compared after
  // every edit; the summary, asked for now and then (or only at the end, so that batches
  // meet indexed lists without one kept in step), must stay the literal one throughout.
  // Two rounds' lists start with as many pairs as an index of 2-byte slots takes and grow
  // by new ids until it is made anew with 4-byte ones; the last grows by counts' lengths
  // alone, in batches, moving the starts of the index's groups.
  std::mt19937 rng(6);
  for (int round = 0; round < 19; ++round) {
    const bool crossing = round == 16 || round == 17;
    const bool lengths_alone = round == 18;
    const bool asked_now_and_then = round < 8 || round == 16;
    // Every other round's list starts long enough to be indexed at its first edit.
    const std::uint32_t ids = crossing         ? 87000
                              : lengths_alone  ? 30000
                              : round % 2 == 0 ? 300 + rng() % 900
                                               : 3000 + rng() % 3000;
    std::vector<id_count> start;
    for (std::uint32_t id = 0; id < ids; id += 2) {
      const std::int32_t near[] = {0, 1, 2, 250, 254, 255, 65533, 65535, -3};
      start.push_back({static_cast<std::int32_t>(id), near[rng() % 9]});
    }
    std::shuffle(start.begin(), start.end(), rng);
    packed_list fast = pack_pairs(start);
    literal_pairs literal(start);
    std::vector<std::int32_t> one_below_longer;  // whose next count is a byte longer
    for (const id_count& p : start) {
      if (p.count == 255 || p.count == 65535) one_below_longer.push_back(p.id);
    }
    auto fresh = static_cast<std::int32_t>(ids);  // the next id no pair holds
    // Small ids far more often, and a quarter of the time a word that was first of its count
    // when the step began; while crossing, a new id half the time.
    std::vector<id_count> firsts;
    const auto sighting = [&] {
      if (lengths_alone) return one_below_longer[rng() % one_below_longer.size()];
      if (crossing) return rng() % 2 == 0 ? fresh++ : static_cast<std::int32_t>(rng() % ids);
      if (rng() % 4 == 0 && !firsts.empty()) return firsts[rng() % firsts.size()].id;
      return static_cast<std::int32_t>(rng() % (1 + rng() % ids)) - 1;
    };
    const auto wide = [&] {
      const list_extras* extras = extras_of(fast);
      return extras != nullptr && !extras->wide_slots.empty();
    };
    int after_wide = 0;
    const int steps = lengths_alone ? 300 : 1500;
    for (int step = 0; crossing ? after_wide < 20 : step < steps; ++step) {
      ASSERT_LT(step, 3000) << round;
      if (!crossing && !lengths_alone)
        firsts = reference::first_pair_of_each_count(literal.packed());
      const std::uint32_t action = lengths_alone ? 2 + rng() % 28
                                   : crossing    ? 2 + rng() % 40
                                                 : rng() % 100;
      if (action < 2) {
        const std::int32_t x = sighting();
        erase_first_pair(fast, x);
        literal.erase_first(x);
      } else if (action < 30) {
        std::vector<std::int32_t> batch(1 + rng() % (crossing ? 120 : 12));
        for (std::int32_t& x : batch)
          x = sighting();
        count_in_pairs(fast, batch);
        for (const std::int32_t x : batch)
          literal.count_in(x);
      } else {
        const std::int32_t x = sighting();
        count_in_pair(fast, x);
        literal.count_in(x);
      }
      ASSERT_TRUE(std::ranges::equal(fast.bytes(), literal.packed().bytes()))
          << round << " " << step;
      if (asked_now_and_then && action % 7 == 0) {
        ASSERT_TRUE(summary_is_current(fast)) << round << " " << step;
      }
      const bool check_extras = crossing        ? step % 40 == 0
                                : lengths_alone ? step % 10 == 0
                                                : action % 7 == 0;
      if (check_extras && (!asked_now_and_then || action % 7 == 0)) {
        ASSERT_TRUE(bound_holds(fast)) << round << " " << step;
      }
      if (crossing && wide()) ++after_wide;
    }
    ASSERT_TRUE(summary_is_current(fast)) << round;
    ASSERT_TRUE(bound_holds(fast)) << round;
  }
}

TEST(list_extras, are_found_as_the_table_holds_them_through_makes_drops_and_moves) {
  // Extras made, dropped and moved with their lists, and lists destroyed and made anew at the
  // same address, every list asked after every step (so that each thread's last answer is
  // asked again): each must have the extras last made for it, told by a mark in them.
  std::mt19937 rng(12);
  constexpr std::size_t n = 5;
  std::vector<std::optional<packed_list>> lists(n);
  std::vector<std::uint32_t> marks(n, 0);  // 0: no extras
  for (std::optional<packed_list>& list : lists)
    list.emplace();
  for (std::uint32_t step = 1; step <= 20000; ++step) {
    const std::size_t a = rng() % n;
    const std::size_t b = rng() % n;
    switch (rng() % 4) {
      case 0:
        make_extras(*lists[a]).used = step;
        marks[a] = step;
        break;
      case 1:
        drop_extras(*lists[a]);
        marks[a] = 0;
        break;
      case 2:
        if (a == b) break;
        *lists[b] = std::move(*lists[a]);
        marks[b] = std::exchange(marks[a], 0);
        break;
      default:
        lists[a].reset();
        lists[a].emplace();
        marks[a] = 0;
    }
    for (std::size_t k = 0; k < n; ++k) {
      const list_extras* extras = extras_of(*lists[k]);
      ASSERT_EQ(extras == nullptr ? 0 : extras->used, marks[k]) << step << " " << k;
    }
  }
}

// Every reader and edit of a list loaded from `form` against the plain walk over its values
// (tests/support/reference.h), for each id of `probes`: the same answers, the same bytes
// after each edit and after another edit on the list left (indexed when long), and the
// readers keep the file's bytes.
void expect_plain_answers(const std::vector<std::uint8_t>& form, list_kind kind,
                          std::span<const std::int32_t> probes) {
  const std::string where = ::testing::PrintToString(form);
  const bool pairs = kind == list_kind::pairs;
  ASSERT_EQ(is_canonical(form, kind), reference::is_canonical(form, kind)) << where;
  const packed_list loaded = packed_from_bytes(form, kind);
  const packed_list plain = packed_from_bytes(form);  // the references ignore the mark
  const std::vector<id_count> expected = reference::pairs_of(plain);
  const std::vector<std::int32_t> ids = reference::ids_of(plain);
  std::vector<std::int32_t> walked;
  for_each_id(loaded, [&](std::int32_t x) { walked.push_back(x); });
  ASSERT_EQ(walked, ids) << where;
  if (pairs) {
    std::vector<id_count> walked_pairs;
    for_each_pair(loaded, [&](std::int32_t x, std::int32_t n) { walked_pairs.push_back({x, n}); });
    ASSERT_EQ(walked_pairs, expected) << where;
    ASSERT_EQ(unpack_pairs(loaded), expected) << where;
    ASSERT_TRUE(std::ranges::equal(first_pair_of_each_count(loaded),
                                   reference::first_pair_of_each_count(plain)))
        << where;
    ASSERT_TRUE(bound_holds(loaded)) << where;
  }
  for (const std::int32_t x : probes) {
    const bool held = std::ranges::find(ids, x) != ids.end() &&
                      (!pairs || std::ranges::count(expected, x, &id_count::id) > 0);
    ASSERT_EQ(pairs ? pair_list_has_id(loaded, x) : id_list_contains(loaded, x), held) << where;
    // Counted (added) with its batch, erased, packed anew; then counted (added) again.
    const std::int32_t batch[] = {x, 2, x};
    for (int edit = 0; edit < 3; ++edit) {
      packed_list fast = packed_from_bytes(form, kind);
      packed_list literal = packed_from_bytes(form);
      bool found = held;
      if (edit == 0 && pairs) {
        count_in_pairs(fast, batch);
        for (const std::int32_t y : batch)
          reference::count_in_pair(literal, y);
      } else if (edit == 0) {
        add_once_id(fast, x);
        reference::add_once_id(literal, x);
      } else if (edit == 1) {
        found = pairs ? erase_first_pair(fast, x) : erase_first_id(fast, x);
        pairs ? reference::erase_first_pair(literal, x) : reference::erase_first_id(literal, x);
      } else {
        pack_anew(fast, kind);
        literal = pairs ? pack_pairs(expected) : pack_ids(ids);
      }
      ASSERT_EQ(found, held) << where << " " << x << " " << edit;
      ASSERT_FALSE(is_noncanonical(fast)) << where;
      pairs ? count_in_pair(fast, x) : add_once_id(fast, x);
      pairs ? reference::count_in_pair(literal, x) : reference::add_once_id(literal, x);
      ASSERT_TRUE(std::ranges::equal(fast.bytes(), literal.bytes())) << where << " " << x;
    }
  }
  ASSERT_TRUE(std::ranges::equal(loaded.bytes(), form)) << where;
}

TEST(noncanonical_lists, answer_and_edit_as_the_plain_walk_over_their_values) {
  // Every list of up to two pairs (and its values as ids) with each value in each longer
  // encoding, and with each pair's id repeated at each later place; then seeded foreign
  // lists long enough for the sixteen-byte search or for the index.
  const std::int32_t probes[] = {-1, 0, 1, 2, 3, 300};
  for (const std::vector<id_count>& pairs : short_pair_lists()) {
    if (pairs.size() > 2) continue;
    std::vector<std::int32_t> values;
    for (const id_count& p : pairs)
      values.insert(values.end(), {p.id, p.count});
    for (std::size_t k = 0; k < values.size(); ++k) {
      for (std::size_t length = compact_int_size(static_cast<std::uint32_t>(values[k]));
           length <= 4; ++length) {
        std::vector<std::size_t> lengths(values.size(), 0);
        lengths[k] = length;
        expect_plain_answers(written(values, lengths), list_kind::pairs, probes);
        expect_plain_answers(written(values, lengths), list_kind::ids, probes);
      }
      for (std::size_t at = k + 2; k % 2 == 0 && at <= values.size(); at += 2) {
        std::vector<std::int32_t> repeated = values;
        repeated.insert(repeated.begin() + static_cast<std::ptrdiff_t>(at), {values[k], 65535});
        expect_plain_answers(written(repeated, std::vector<std::size_t>(repeated.size(), 0)),
                             list_kind::pairs, probes);
      }
    }
  }
  std::mt19937 rng(10);
  for (int round = 0; round < 400; ++round) {
    const std::int32_t ids[] = {0, 1, 2, 300, 70000, 0x1000000, -1};
    std::vector<id_count> pairs(round % 40 == 0 ? 3000 : 4 + rng() % 12);
    for (id_count& p : pairs)
      p = {ids[rng() % 7], static_cast<std::int32_t>(rng() % 3 == 0 ? rng() : rng() % 300)};
    const list_kind kind = round % 2 == 0 ? list_kind::pairs : list_kind::ids;
    const packed_list form = foreign(pack_pairs(pairs), kind, rng);
    expect_plain_answers({form.bytes().begin(), form.bytes().end()}, kind, probes);
  }
}

TEST(ranked_id_pool, draws_what_advancing_through_an_ordered_set_draws) {
  // Every subset of 0..5 and every rank, then seeded runs of inserts and draws.
  for (std::uint32_t subset = 0; subset < 64; ++subset) {
    for (std::uint32_t r = 0; r < static_cast<std::uint32_t>(std::popcount(subset)); ++r) {
      ranked_id_pool fast(6);
      id_pool literal;
      for (std::int32_t id = 0; id < 6; ++id) {
        if ((subset >> id & 1) != 0) {
          fast.insert(id);
          literal.insert(id);
        }
      }
      ASSERT_EQ(fast.take(r), reference::take_nth(literal, r)) << subset << " " << r;
      ASSERT_EQ(fast.elements(), std::vector<std::int32_t>(literal.begin(), literal.end()));
    }
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    // Small bounds, and ones of several counted groups of 512 ids.
    const auto bound = static_cast<std::int32_t>(1 + rng() % (round % 2 == 0 ? 300 : 3000));
    ranked_id_pool fast(bound);
    id_pool literal;
    for (int step = 0; step < 300; ++step) {
      const std::uint32_t action = rng() % 30;
      if (action == 0) {
        // Many at once: a random set of ids, some present already.
        std::vector<std::uint64_t> bits((static_cast<std::size_t>(bound) + 63) / 64, 0);
        for (std::uint32_t k = rng() % 40; k > 0; --k) {
          const std::uint32_t id = rng() % static_cast<std::uint32_t>(bound);
          bits[id / 64] |= std::uint64_t{1} << (id % 64);
          literal.insert(static_cast<std::int32_t>(id));
        }
        fast.insert_all(bits);
      } else if (action % 3 != 0) {
        const auto id = static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(bound));
        ASSERT_EQ(fast.insert(id), literal.insert(id).second);
      } else if (!literal.empty()) {
        const auto r = static_cast<std::uint32_t>(rng() % literal.size());
        ASSERT_EQ(fast.take(r), reference::take_nth(literal, r)) << round << " " << step;
      }
      ASSERT_EQ(fast.size(), literal.size());
    }
  }
}

TEST(word_lookup, finds_what_the_ordered_map_finds_while_words_come_and_go) {
  // Short texts over {a, b}, and long ones that share their first and last eight units.
  std::vector<std::u16string> texts = all_strings(u"ab", 5);
  for (const char16_t* middle : {u"a", u"b", u"ab", u"ba", u"bb"})
    texts.push_back(u"aaaaaaaa" + std::u16string(middle) + u"bbbbbbbb");
  std::mt19937 rng(8);
  strmorph::dic_t d;
  for (int step = 0; step < 4000; ++step) {
    const std::u16string& text = texts[rng() % texts.size()];
    if (rng() % 3 != 0) {
      strmorph::add_word(d, text.data(), static_cast<std::int32_t>(text.size()));
    } else if (const auto* known = reference::find_word(d, text)) {
      strmorph::remove_word(d, known->second.id);
    }
    if (step % 40 != 0) continue;
    for (const std::u16string& probe : texts) {
      ASSERT_EQ(strmorph::find_word(d, probe.data(), static_cast<std::int32_t>(probe.size())),
                reference::find_word(d, probe))
          << step << " " << testing::u8(probe);
    }
  }
}

}  // namespace
}  // namespace tsugihagi
