// The faster forms of word discovery, the link steps and candidate gathering against the
// literal algorithms kept in tests/support/reference.h, on every small input over a two- or
// three-letter alphabet (and seeded random ones where "every" would be too many).
#include <gtest/gtest.h>

// GCC 12 at -O3 reports overlapping copies inside std::u16string concatenation that cannot
// happen (a known false positive of -Wrestrict).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <random>

#include "core/dict/segmentation.h"
#include "core/memory/lcs_length.h"
#include "core/memory/learning.h"
#include "core/memory/word_discovery.h"
#include "tests/support/invariants.h"
#include "tests/support/reference.h"
#include "tests/support/test_support.h"
#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

// Every string over `alphabet` of length 1..max_length.
std::vector<std::u16string> all_strings(std::u16string_view alphabet, std::size_t max_length) {
  std::vector<std::u16string> out;
  std::vector<std::u16string> frontier{u""};
  for (std::size_t length = 1; length <= max_length; ++length) {
    std::vector<std::u16string> next;
    for (const auto& s : frontier) {
      for (const char16_t c : alphabet) {
        next.push_back(s);
        next.back().push_back(c);
      }
    }
    out.insert(out.end(), next.begin(), next.end());
    frontier = std::move(next);
  }
  return out;
}

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

// Three words with random cooc lists.
void randomise(strmorph::dic_t& d, std::mt19937& rng) {
  for (const char16_t* text : {u"a", u"b", u"c"})
    testing::add(d, text);
  for (std::int32_t w = 0; w < 3; ++w) {
    std::vector<id_count> cooc;
    for (std::int32_t x = 0; x < 3; ++x) {
      if (rng() % 2 != 0) cooc.push_back({x, static_cast<std::int32_t>(rng() % 3)});
    }
    std::shuffle(cooc.begin(), cooc.end(), rng);
    strmorph::word_at(d, w)->cooc = pack_pairs(cooc);
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
    randomise(fast.dic, state_rng);
    state_rng.seed(state_seed);
    randomise(literal.dic, state_rng);
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
    randomise(d, rng);
    for (int p = 0; p < 3; ++p) {
      const std::vector<std::int32_t> ids = random_sequence(rng, 3);
      std::vector<std::uint8_t> flags(ids.size(), 0);
      flags.back() = static_cast<std::uint8_t>(rng() % 2);
      const auto [id, inserted] = strmorph::add_idiom(d, strmorph::idiom_t{ids, flags});
      if (inserted) strmorph::link_idiom(d, ids, id);
    }
    conversation_log log;
    for (int line = 0; line < 3; ++line) {
      add_line(log, u"z");
      log.line_words[0].ids = random_sequence(rng, 3);
    }
    candidates fast(d);
    association_map associations;
    id_pool phrases;
    for (std::size_t i = 0; i < log.line_count(); ++i) {
      collect_candidates(d, log, i, fast);
      reference::collect_candidates(d, log, i, associations, phrases);
      ASSERT_TRUE(fast.associations == associations) << round;
      ASSERT_EQ(fast.phrases.elements(), std::vector<std::int32_t>(phrases.begin(), phrases.end()))
          << round;
      // A reply takes tried phrases out of the pool between lines.
      if (!phrases.empty() && rng() % 2 != 0) {
        const std::int32_t taken = *phrases.begin();
        phrases.erase(taken);
        ASSERT_EQ(fast.phrases.take(0), taken);
      }
    }
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

}  // namespace
}  // namespace tsugihagi
