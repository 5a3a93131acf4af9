// Word discovery with the log's block index against the literal search kept in
// tests/support/reference.h: every small input to the block automaton, and learned line
// sequences that fill the log, roll it past its capacity, reload it and edit it directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/memory/conversation_log.h"
#include "core/memory/substring_index.h"
#include "core/memory/word_discovery.h"
#include "tests/support/reference.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::all_strings;

std::u16string random_string(std::mt19937& rng, std::u16string_view alphabet,
                             std::size_t max_length) {
  std::u16string s(rng() % (max_length + 1), u'a');
  for (char16_t& c : s)
    c = alphabet[rng() % alphabet.size()];
  return s;
}

// The longest stretch ending at each unit of `query` that lies within one of the texts.
std::vector<std::int32_t> longest_by_search(std::u16string_view query,
                                            const std::vector<std::u16string>& texts) {
  std::vector<std::int32_t> longest(query.size(), 0);
  for (std::size_t end = 0; end < query.size(); ++end) {
    for (std::size_t n = 1; n <= end + 1; ++n) {
      const std::u16string_view stretch = query.substr(end + 1 - n, n);
      if (std::none_of(texts.begin(), texts.end(), [&](const std::u16string& t) {
            return t.find(stretch) != std::u16string::npos;
          }))
        break;
      longest[end] = static_cast<std::int32_t>(n);
    }
  }
  return longest;
}

// Checks raise_longest against the search, starting from `start` (raised, never lowered),
// for the automaton of `texts` as it grows text by text and frozen, leaving out the first
// texts in every way.
void expect_raised(const std::vector<std::u16string>& texts, std::u16string_view query,
                   const std::vector<std::int32_t>& start) {
  text_automaton automaton;
  for (const std::u16string& text : texts)
    automaton.append(text);
  for (const bool frozen : {false, true}) {
    if (frozen) automaton.freeze();
    for (std::size_t first = 0; first < texts.size(); ++first) {
      std::vector<std::int32_t> longest = start;
      automaton.raise_longest(query, longest, static_cast<std::int32_t>(first));
      std::vector<std::int32_t> expected = longest_by_search(
          query, std::vector<std::u16string>(texts.begin() + static_cast<std::ptrdiff_t>(first),
                                             texts.end()));
      for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = std::max(expected[i], start[i]);
      ASSERT_EQ(longest, expected)
          << testing::u8(query) << (frozen ? " frozen" : " growing") << " from text " << first;
    }
  }
}

// The dictionary's words with their ids and counts: equal strings mean the same words were
// added in the same order the same number of times.
std::string dictionary_words(const strmorph::dic_t& d) {
  std::string out;
  for (const auto& [key, info] : d.wordmap) {
    out.append(testing::u8(key.text()));
    out.append("#").append(std::to_string(info.id));
    out.append("x").append(std::to_string(info.count)).append(" ");
  }
  return out;
}

// Runs both forms of discovery on the log, each into its own dictionary, and compares. An
// empty newest line is skipped: learning never logs one (the literal form would add an empty
// word), though older lines may be empty when read from a file.
struct discovery_pair {
  strmorph::dic_t fast;
  strmorph::dic_t literal;
  void step(conversation_log& log) {
    if (log.line_texts[0].text.empty()) return;
    discover_words(fast, log);
    reference::discover_words(literal, log);
    ASSERT_EQ(dictionary_words(fast), dictionary_words(literal))
        << log.line_count() << " lines, newest " << testing::u8(log.line_texts[0].text);
  }
};

// Lines 1..n-1 that no block holds.
std::size_t loose_lines(const conversation_log& log) {
  std::set<std::uint64_t> blocked;
  for (const indexed_block& b : log.finder.blocks)
    blocked.insert(b.serials.begin(), b.serials.end());
  return static_cast<std::size_t>(
      std::count_if(log.line_texts.begin() + 1, log.line_texts.end(),
                    [&](const text_entry& e) { return !blocked.contains(e.serial); }));
}

TEST(text_automaton, finds_the_longest_stretch_within_one_text_for_every_small_input) {
  // The empty string too: an empty text or line.
  std::vector<std::u16string> strings = all_strings(u"ab", 4);
  strings.insert(strings.begin(), u"");
  for (const auto& first : strings) {
    for (const auto& second : strings) {
      for (std::size_t q = 1; q < strings.size(); ++q) {
        expect_raised({first, second}, strings[q], std::vector<std::int32_t>(strings[q].size()));
      }
    }
  }
}

TEST(text_automaton, raises_only_where_the_texts_give_longer_stretches) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    // Small and large alphabets: the root's edges are searched by halving past 8 units.
    const std::u16string_view alphabet =
        round % 3 == 0 ? u"abcdefghijklmnopqrstuvwxyz" : (round % 3 == 1 ? u"ab" : u"abc");
    std::vector<std::u16string> texts(1 + rng() % 5);
    for (auto& t : texts)
      t = random_string(rng, alphabet, 40);
    std::u16string query = random_string(rng, alphabet, 40);
    if (round % 7 == 0 && !query.empty()) query[rng() % query.size()] = u'\0';
    std::vector<std::int32_t> start(query.size());
    for (auto& s : start)
      s = static_cast<std::int32_t>(rng() % 3);
    expect_raised(texts, query, start);
  }
}

TEST(discover_found_windows, finds_the_windows_of_the_literal_order_for_every_small_input) {
  // Every array of longest stretches up to 7 units, each entry 0 .. its position + 1.
  std::vector<std::int32_t> longest;
  const auto compare = [&] {
    using windows = std::vector<std::pair<std::int32_t, std::int32_t>>;
    windows literal;
    windows fast;
    discover_windows(
        static_cast<std::int32_t>(longest.size()),
        [&](std::int32_t w, std::int32_t n) {
          return longest[static_cast<std::size_t>(w + n - 1)] >= n;
        },
        [&](std::int32_t w, std::int32_t n) { literal.emplace_back(w, n); });
    discover_found_windows(longest,
                           [&](std::int32_t w, std::int32_t n) { fast.emplace_back(w, n); });
    return fast == literal;
  };
  const auto all = [&](const auto& self) -> void {
    if (!longest.empty()) {
      ASSERT_TRUE(compare()) << ::testing::PrintToString(longest);
    }
    if (longest.size() == 7) return;
    for (std::int32_t v = 0; v <= static_cast<std::int32_t>(longest.size()) + 1; ++v) {
      longest.push_back(v);
      self(self);
      longest.pop_back();
    }
  };
  all(all);
}

// A line of up to `max_length` letters of a to z made of stretches copied from the last
// lines, with a new letter between them.
std::u16string line_of_recent_stretches(std::mt19937& rng, const conversation_log& log,
                                        std::size_t max_length) {
  std::u16string s;
  const std::size_t length = 1 + rng() % max_length;
  while (s.size() < length) {
    const std::u16string& from =
        log.line_texts[rng() % std::min<std::size_t>(log.line_count(), 20)].text;
    if (!from.empty()) {
      const std::size_t at = rng() % from.size();
      s += from.substr(at, 1 + rng() % 12);
    }
    s += static_cast<char16_t>(u'a' + rng() % 26);
  }
  return s.substr(0, length);
}

TEST(block_index, discovery_adds_the_same_words_as_the_literal_search_as_the_log_rolls) {
  // Past the log's capacity twice, with blocks of a single line, a few lines and the usual
  // size, and with a budget for about ten small blocks; lines over two or three letters may be
  // empty or repeat older ones, long lines over 26 letters repeat stretches of recent ones.
  struct setup {
    std::size_t lines_per_block;
    std::size_t byte_budget;
  };
  const std::size_t usual = block_index{}.byte_budget;
  for (const setup s : {setup{1, usual}, setup{3, usual}, setup{32, usual}, setup{3, 7000}}) {
    for (const std::u16string_view alphabet : {u"ab", u"abc", u"a-z"}) {
      const bool long_lines = alphabet.size() > 3;
      if (long_lines && s.lines_per_block == 1) continue;
      SCOPED_TRACE(testing::u8(alphabet) + " in blocks of " + std::to_string(s.lines_per_block) +
                   " within " + std::to_string(s.byte_budget));
      std::mt19937 rng(static_cast<unsigned>(s.lines_per_block * 10 + alphabet.size()));
      conversation_log log;
      log.finder.lines_per_block = s.lines_per_block;
      log.finder.byte_budget = s.byte_budget;
      discovery_pair pair;
      for (std::size_t i = 0; i < 2 * log_capacity + 100; ++i) {
        add_line(log, long_lines && log.line_count() > 0 ? line_of_recent_stretches(rng, log, 60)
                                                         : random_string(rng, alphabet, 7));
        ASSERT_NO_FATAL_FAILURE(pair.step(log));
        if (log.line_texts[0].text.empty()) continue;
        std::size_t estimated = 0;
        std::size_t held = 0;
        for (const indexed_block& b : log.finder.blocks) {
          estimated += b.estimated_bytes;
          held += b.automaton.bytes();
        }
        ASSERT_LE(held, estimated);
        ASSERT_LE(estimated, s.byte_budget);
        if (s.byte_budget == usual && s.lines_per_block > 1) {
          // New lines join the growing block; only more than a block's worth arriving at once
          // (after empty lines) leaves a few waiting.
          ASSERT_LT(loose_lines(log), s.lines_per_block) << "all other lines are in blocks";
        } else if (i > log_capacity) {
          ASSERT_GE(log.finder.blocks.size(), 5u) << "the budget is used";
        }
      }
    }
  }
}

TEST(block_index, discovery_stays_exact_with_blocks_kept_as_unit_sets_past_the_budget) {
  // Phases of lines over "abc" and over "xyz": blocks of the other phase share no unit with
  // the newest line and are skipped whole.
  std::mt19937 rng(5);
  conversation_log log;
  log.finder.lines_per_block = 16;
  log.finder.byte_budget = 40000;
  discovery_pair pair;
  std::size_t unit_set_blocks = 0;
  for (std::size_t i = 0; i < log_capacity + 300; ++i) {
    add_line(log, random_string(rng, (i / 40) % 2 == 0 ? u"abc" : u"xyz", 30));
    ASSERT_NO_FATAL_FAILURE(pair.step(log));
    for (const indexed_block& b : log.finder.blocks)
      unit_set_blocks += b.automaton.built() ? 0 : 1;
  }
  EXPECT_GT(unit_set_blocks, 0u);
}

TEST(block_index, discovery_stays_exact_when_the_log_is_reloaded_or_edited_directly) {
  std::mt19937 rng(11);
  conversation_log log;
  log.finder.lines_per_block = 4;
  discovery_pair pair;
  const auto learn = [&](int lines) {
    for (int i = 0; i < lines; ++i) {
      add_line(log, random_string(rng, u"abc", 6));
      ASSERT_NO_FATAL_FAILURE(pair.step(log));
    }
  };
  ASSERT_NO_FATAL_FAILURE(learn(600));
  // A log read back from its file: new serials, every line outside blocks at first.
  conversation_log loaded;
  loaded.finder.lines_per_block = 4;
  data_stream in =
      testing::memory_reader(testing::written_by([&](data_stream& s) { write_log(log, s); }));
  read_log(loaded, in);
  std::swap(log.line_texts, loaded.line_texts);
  std::swap(log.line_words, loaded.line_words);
  ASSERT_NO_FATAL_FAILURE(learn(20));
  // Lines put in without serials, lines taken out of the middle and from either end, a line
  // copied with its serial.
  log.line_texts.insert(log.line_texts.begin() + 9, text_entry{u"abca", 0});
  log.line_words.insert(log.line_words.begin() + 9, word_entry{});
  ASSERT_NO_FATAL_FAILURE(learn(3));
  log.line_texts.erase(log.line_texts.begin() + 100);
  log.line_words.erase(log.line_words.begin() + 100);
  ASSERT_NO_FATAL_FAILURE(learn(3));
  // A line of its own taken out of a block, at each place in the block in turn: its text
  // must not be found.
  for (const std::u16string_view unique : {u"xyzw", u"yzwx", u"zwxy", u"wxyz"}) {
    add_line(log, unique);
    ASSERT_NO_FATAL_FAILURE(learn(30 + static_cast<int>(unique[0] - u'w')));
    const auto at = std::find_if(log.line_texts.begin(), log.line_texts.end(),
                                 [&](const text_entry& e) { return e.text == unique; });
    log.line_words.erase(log.line_words.begin() + (at - log.line_texts.begin()));
    log.line_texts.erase(at);
    add_line(log, unique);
    ASSERT_NO_FATAL_FAILURE(pair.step(log));
  }
  log.line_texts.pop_front();
  log.line_words.pop_front();
  log.line_texts.pop_back();
  log.line_words.pop_back();
  log.line_texts.insert(log.line_texts.begin() + 1, log.line_texts[300]);
  log.line_words.insert(log.line_words.begin() + 1, word_entry{});
  ASSERT_NO_FATAL_FAILURE(pair.step(log));
  ASSERT_NO_FATAL_FAILURE(learn(40));
  // A newest line met in no other line: it must not find itself.
  add_line(log, u"zzz");
  ASSERT_NO_FATAL_FAILURE(pair.step(log));
}

TEST(block_index, discovery_on_corpus_lines_adds_the_same_words_as_the_literal_search) {
  const std::vector<std::u16string> lines = testing::corpus_lines(log_capacity + 300);
  conversation_log log;
  strmorph::dic_t d;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    add_line(log, lines[i]);
    discover_words(d, log);  // keeps the index in step with every line, as learning does
    if (i % 16 == 15) {
      SCOPED_TRACE("corpus line " + std::to_string(i));
      discovery_pair pair;
      ASSERT_NO_FATAL_FAILURE(pair.step(log));
    }
  }
}

}  // namespace
}  // namespace tsugihagi
