// The screened pattern learning and its bit-parallel subsequence length against the literal
// algorithms in tests/support: every short pair of sequences over two- and three-letter
// alphabets, seeded long ones across 64-bit word boundaries, and seeded conversations with
// removed and reused word ids; the screen's bound against the table's length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/dict/dictionary.h"
#include "core/io/packed_list.h"
#include "core/memory/conversation_log.h"
#include "core/memory/id_screen.h"
#include "core/memory/lcs_length.h"
#include "core/memory/pattern_learning.h"
#include "tests/support/reference.h"
#include "tests/support/reference_patterns.h"

namespace tsugihagi {
namespace {

using sequence = std::vector<std::int32_t>;

// Every sequence over `letters` of length 0..max_length.
std::vector<sequence> all_sequences(const sequence& letters, std::size_t max_length) {
  std::vector<sequence> out{{}};
  for (std::size_t start = 0, length = 1; length <= max_length; ++length) {
    const std::size_t end = out.size();
    for (std::size_t i = start; i < end; ++i) {
      for (const std::int32_t c : letters) {
        sequence s = out[i];
        s.push_back(c);
        out.push_back(std::move(s));
      }
    }
    start = end;
  }
  return out;
}

sequence random_sequence(std::mt19937& rng, std::size_t length, std::uint32_t alphabet,
                         std::int32_t spread) {
  sequence s(length);
  for (auto& x : s)
    x = static_cast<std::int32_t>(rng() % alphabet) * spread;
  return s;
}

TEST(lcs_length_against, matches_the_table_on_every_short_pair_over_two_and_three_letters) {
  constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
  const std::vector<std::tuple<sequence, std::size_t>> alphabets{
      {{0, 1}, 8}, {{0, 1, 2}, 5}, {{lowest, -1, highest}, 4}};
  for (const auto& [letters, max_length] : alphabets) {
    const std::vector<sequence> sequences = all_sequences(letters, max_length);
    for (const sequence& a : sequences) {
      const lcs_length_against fixed(a);
      for (const sequence& b : sequences)
        ASSERT_EQ(fixed.length(b), reference::lcs_length(a, b)) << a.size() << " " << b.size();
    }
  }
}

TEST(lcs_length_against, matches_the_table_across_word_boundaries_and_with_many_distinct_ids) {
  std::mt19937 rng(11);
  // Fixed lengths at and around one, two and three 64-bit words.
  const std::size_t edges[] = {63, 64, 65, 127, 128, 129, 191, 192, 193};
  for (int round = 0; round < 600; ++round) {
    const std::size_t n = round < 270 ? edges[round % 9] : 1 + rng() % 300;
    const std::uint32_t alphabet = round % 3 == 0 ? 2 + rng() % 2 : 2 + rng() % 300;
    // A spread of 1 << 20 puts many ids on the same probe chain of the id table.
    const std::int32_t spread = round % 4 == 0 ? 1 << 20 : (round % 4 == 1 ? -7 : 1);
    const sequence a = random_sequence(rng, n, alphabet, spread);
    const lcs_length_against fixed(a);
    for (int k = 0; k < 3; ++k) {
      const sequence b = random_sequence(rng, rng() % 320, alphabet, spread);
      ASSERT_EQ(fixed.length(b), reference::lcs_length(a, b)) << round << " " << k;
    }
    ASSERT_EQ(fixed.length(a), static_cast<std::int32_t>(n)) << round;
  }
}

// The screen may only turn a pair away when the table's subsequence is shorter than three:
// every short pair over two and three letters, and seeded pairs over ids that crowd a few bins
// (so that bins hold several distinct ids and repeats) or spread widely.
TEST(id_screen, never_bounds_a_pair_below_its_subsequence_capped_at_three) {
  const auto bin_of = [](std::int32_t id) {
    return (static_cast<std::uint32_t>(id) * 0x9E3779B1u) >> 25;
  };
  sequence crowded;  // four ids in each of bins 0 and 1
  for (std::int32_t id = 0; crowded.size() < 8; ++id) {
    const std::uint32_t bin = bin_of(id);
    if (bin < 2 && std::count_if(crowded.begin(), crowded.end(),
                                 [&](std::int32_t x) { return bin_of(x) == bin; }) < 4)
      crowded.push_back(id);
  }
  std::vector<std::pair<sequence, sequence>> pairs;
  for (const auto& [letters, max_length] :
       std::vector<std::tuple<sequence, std::size_t>>{{{0, 1}, 6}, {{0, 1, 2}, 4}}) {
    const std::vector<sequence> sequences = all_sequences(letters, max_length);
    for (const sequence& a : sequences) {
      for (const sequence& b : sequences)
        pairs.emplace_back(a, b);
    }
  }
  std::mt19937 rng(5);
  for (int round = 0; round < 20000; ++round) {
    const std::size_t n = 1 + rng() % 12;
    sequence a(n);
    sequence b(1 + rng() % 12);
    for (sequence* s : {&a, &b}) {
      for (auto& x : *s)
        x = round % 2 == 0 ? crowded[rng() % crowded.size()] : static_cast<std::int32_t>(rng());
    }
    pairs.emplace_back(a, b);
  }
  // The bound itself, literally: the sum over the bins of the smaller count, capped.
  const auto literal_bound = [&](const sequence& a, const sequence& b) {
    std::int32_t sum = 0;
    for (std::uint32_t bin = 0; bin < 128; ++bin) {
      const auto in_bin = [&](std::int32_t x) { return bin_of(x) == bin; };
      sum += static_cast<std::int32_t>(std::min(std::count_if(a.begin(), a.end(), in_bin),
                                                std::count_if(b.begin(), b.end(), in_bin)));
    }
    return std::min(3, sum);
  };
  std::size_t turned_away = 0;
  for (const auto& [a, b] : pairs) {
    const std::int32_t bound = id_screen(a).shared_bound(id_screen(b));
    ASSERT_GE(bound, std::min(3, reference::lcs_length(a, b))) << a.size() << " " << b.size();
    ASSERT_EQ(bound, literal_bound(a, b)) << a.size() << " " << b.size();
    turned_away += bound < 3 ? 1 : 0;
  }
  EXPECT_GT(turned_away, pairs.size() / 4);  // the screen does turn pairs away
}

// A dictionary of lettered words and a log, built twice from one seed so that the screened
// and the literal learning each get their own copy.
struct conversation {
  strmorph::dic_t d;
  conversation_log log;
  pattern_history history;
};

std::vector<std::tuple<sequence, std::vector<std::uint8_t>, std::int32_t>> records(
    const pattern_history& history) {
  std::vector<std::tuple<sequence, std::vector<std::uint8_t>, std::int32_t>> out;
  for (const pattern_candidate& c : history)
    out.emplace_back(c.ids, c.flags, c.repeats);
  return out;
}

// The idioms with their ids, and every word's idiom list.
std::vector<sequence> idiom_state(const strmorph::dic_t& d) {
  std::vector<sequence> out;
  for (std::int32_t id = 0; id < d.idiomidmap.size(); ++id) {
    const strmorph::idiom_t* idiom = strmorph::idiom_at(d, id);
    if (idiom == nullptr) continue;
    sequence row{id};
    row.insert(row.end(), idiom->ids.begin(), idiom->ids.end());
    row.insert(row.end(), idiom->flags.begin(), idiom->flags.end());
    out.push_back(std::move(row));
  }
  for (std::int32_t w = 0; w < d.idmap.size(); ++w) {
    const strmorph::wordinfo_t* info = strmorph::word_at(d, w);
    if (info != nullptr) out.push_back(unpack_ids(info->idioms));
  }
  return out;
}

TEST(learn_patterns, picks_the_same_line_and_learns_the_same_patterns_as_the_literal_form) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    const auto words = static_cast<std::int32_t>(3 + rng() % 10);
    const std::size_t turns = seed % 10 == 0 ? 600 : 40;  // some runs fill the log
    conversation fast;
    conversation literal;
    std::int32_t next_letter = 0;
    const auto add_word = [&] {
      const std::u16string text(1 + static_cast<std::size_t>(next_letter / 26),
                                static_cast<char16_t>(u'a' + next_letter % 26));
      ++next_letter;
      strmorph::add_word(fast.d, text.data(), static_cast<std::int32_t>(text.size()));
      strmorph::add_word(literal.d, text.data(), static_cast<std::int32_t>(text.size()));
    };
    for (std::int32_t w = 0; w < words; ++w)
      add_word();
    for (std::size_t turn = 0; turn < turns; ++turn) {
      // Ids up to two past the words ever made, so that some never name a word.
      const std::size_t length = rng() % 16 == 0 ? 60 + rng() % 100 : rng() % 9;
      const sequence ids =
          random_sequence(rng, length, static_cast<std::uint32_t>(next_letter + 2), 1);
      for (conversation* c : {&fast, &literal}) {
        add_line(c->log, u"-");
        c->log.line_words[0].ids = ids;
      }
      // Now and then a word dies (its id stays in old lines) or a new word takes a free id.
      const std::uint32_t event = rng() % 8;
      const auto victim =
          static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(next_letter));
      if (event == 0 && strmorph::word_at(fast.d, victim) != nullptr) {
        strmorph::remove_word(fast.d, victim);
        strmorph::remove_word(literal.d, victim);
      } else if (event == 1) {
        add_word();
      }
      learn_patterns(fast.d, fast.log, fast.history);
      const std::size_t chosen = reference::learn_patterns(literal.d, literal.log, literal.history);
      ASSERT_EQ(records(fast.history), records(literal.history)) << seed << " " << turn;
      ASSERT_EQ(idiom_state(fast.d), idiom_state(literal.d)) << seed << " " << turn;
      if (chosen != 0) {
        // The record came from that line: its subsequence with the newest line is the record.
        const sequence newest = strmorph::live_ids(fast.d, fast.log.line_words[0].ids);
        const sequence earlier = strmorph::live_ids(fast.d, fast.log.line_words[chosen].ids);
        const auto s = fast.log.matcher.compute(std::span<const std::int32_t>(newest),
                                                std::span<const std::int32_t>(earlier));
        ASSERT_EQ(s.ids, fast.history.front().ids) << seed << " " << turn;
        ASSERT_EQ(s.flags, fast.history.front().flags) << seed << " " << turn;
      }
    }
  }
}

}  // namespace
}  // namespace tsugihagi
