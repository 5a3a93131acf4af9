// The fast split of a line into words (prefix hashes, the index's filter and slot tags)
// against the literal algorithm over the ordered word map: the same positions, ids, flags
// and words added, while words are added, removed, pruned and reloaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/dict/dictionary_files.h"
#include "core/dict/segmentation.h"
#include "core/dict/text_hash.h"
#include "core/memory/conversation_log.h"
#include "core/memory/word_discovery.h"
#include "tests/support/reference.h"
#include "tests/support/reference_segment.h"
#include "tests/support/test_support.h"
#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using testing::all_strings;

using strmorph::dic_t;
using split = std::map<std::int32_t, std::int32_t>;
using testing::u8;

std::u16string random_text(std::mt19937& rng, std::u16string_view alphabet, std::size_t length) {
  std::u16string text(length, u'\0');
  for (char16_t& c : text)
    c = alphabet[rng() % alphabet.size()];
  return text;
}

// Every word as (text, id, count), in word order.
std::vector<std::tuple<std::u16string, std::int32_t, std::int32_t>> words(const dic_t& d) {
  std::vector<std::tuple<std::u16string, std::int32_t, std::int32_t>> out;
  for (const auto& [key, info] : d.wordmap)
    out.emplace_back(std::u16string(key.text()), info.id, info.count);
  return out;
}

// What is wrong with the hash index, or "": every word found through it, as many slots
// used as words, tags on exactly the used slots.
std::string index_problem(dic_t& d) {
  for (auto& entry : d.wordmap) {
    const std::u16string_view text = entry.first.text();
    if (strmorph::find_word(d, text.data(), entry.first.length) != &entry)
      return "lost: " + u8(text);
  }
  std::size_t used = 0;
  for (std::size_t i = 0; i < d.word_slots.size(); ++i) {
    if ((d.word_slots[i] != nullptr) != (d.word_tags[i] != 0)) return "tag out of step";
    used += d.word_slots[i] != nullptr;
  }
  if (used != d.wordmap.size() || d.word_slots_used != used) return "slot count";
  return "";
}

// Every window of the line looked up by text, by hash and in the ordered map alone.
void expect_same_lookups(dic_t& d, std::u16string_view line) {
  line_hashes hashes;
  prepare_line_hashes(hashes, line);
  for (std::size_t start = 0; start < line.size(); ++start) {
    for (std::size_t n = 1; start + n <= line.size(); ++n) {
      const auto* literal = reference::find_word(d, line.substr(start, n));
      const auto length = static_cast<std::int32_t>(n);
      ASSERT_EQ(strmorph::find_word(d, line.data() + start, length), literal)
          << u8(line) << " " << start << " " << n;
      ASSERT_EQ(strmorph::find_word(d, line.data() + start, length, window_hash(hashes, start, n)),
                literal)
          << u8(line) << " " << start << " " << n;
    }
  }
}

// Two dictionaries given the same operations; `fast` splits lines with segment, `literal`
// with the reference.
struct twin {
  explicit twin(std::int32_t limit = strmorph::default_entry_limit)
      : fast(std::make_unique<dic_t>(limit)), literal(std::make_unique<dic_t>(limit)) {}
  std::unique_ptr<dic_t> fast;
  std::unique_ptr<dic_t> literal;
};

void add_both(twin& t, std::u16string_view text) {
  testing::add(*t.fast, text);
  testing::add(*t.literal, text);
}

// Splits the line in both and checks the splits, flags and dictionaries agree. The fast split
// comes as pairs in order of position, into a vector left with a stale pair.
void split_both(twin& t, std::u16string_view line) {
  std::vector<std::pair<std::int32_t, std::int32_t>> fast_out{{-1, -1}};
  split literal_out;
  const bool fast_flag =
      segment(*t.fast, line.data(), static_cast<std::int32_t>(line.size()), fast_out);
  const bool literal_flag = reference::segment(*t.literal, line, literal_out);
  const std::vector<std::pair<std::int32_t, std::int32_t>> literal_pairs(literal_out.begin(),
                                                                         literal_out.end());
  ASSERT_EQ(fast_out, literal_pairs) << u8(line);
  ASSERT_EQ(fast_flag, literal_flag) << u8(line);
  ASSERT_EQ(t.fast->wordmap.size(), t.literal->wordmap.size()) << u8(line);
}

TEST(segmentation_fast_path, splits_every_short_line_as_the_literal_algorithm) {
  // Every line over {a, b} up to 9 units and over {a, b, c} up to 6, each split afresh in
  // seeded vocabularies of up to a dozen words of 1 to 4 units.
  std::vector<std::u16string> lines = all_strings(u"ab", 9);
  const std::vector<std::u16string> abc = all_strings(u"abc", 6);
  lines.insert(lines.end(), abc.begin(), abc.end());
  std::mt19937 rng(11);
  for (int vocabulary = 0; vocabulary < 12; ++vocabulary) {
    std::vector<std::u16string> known(rng() % 13);
    for (auto& word : known)
      word = random_text(rng, vocabulary % 2 == 0 ? u"ab" : u"abc", 1 + rng() % 4);
    for (const auto& line : lines) {
      twin t;
      for (const auto& word : known)
        add_both(t, word);
      expect_same_lookups(*t.fast, line);
      split_both(t, line);
      ASSERT_EQ(words(*t.fast), words(*t.literal)) << vocabulary << " " << u8(line);
    }
  }
}

// Random cooc links among the live words, so that pruning has usage counts to go by.
void link_randomly(twin& t, std::mt19937& rng) {
  std::vector<std::int32_t> ids;
  for (const auto& entry : t.fast->wordmap)
    ids.push_back(entry.second.id);
  if (ids.empty()) return;
  const std::int32_t w = ids[rng() % ids.size()];
  const std::int32_t a = ids[rng() % ids.size()];
  const std::int32_t b = ids[rng() % ids.size()];
  testing::set_cooc(*t.fast, w, {{a, 1}, {b, 2}});
  testing::set_cooc(*t.literal, w, {{a, 1}, {b, 2}});
}

std::unique_ptr<dic_t> reloaded(const dic_t& d) {
  using testing::bytes;
  const bytes contents[] = {
      testing::written_by([&](data_stream& s) { strmorph::write_idiom_hdid(d, s); }),
      testing::written_by([&](data_stream& s) { strmorph::write_idiomdic(d, s); }),
      testing::written_by([&](data_stream& s) { strmorph::write_hdid(d, s); }),
      testing::written_by([&](data_stream& s) { strmorph::write_dic(d, s); })};
  auto out = std::make_unique<dic_t>(d.entry_limit);
  EXPECT_FALSE(strmorph::read_dictionary(*out, [&](strmorph::dictionary_file file) {
    return testing::memory_reader(contents[static_cast<int>(file)]);
  }));
  return out;
}

TEST(segmentation_fast_path, matches_the_literal_split_while_words_come_and_go) {
  // Seeded runs of adding, removing, linking, pruning (also from a low entry limit),
  // reloading and splitting lines of up to 60 units; the index is checked as it goes. The
  // runs with thousands of words at the start make the index grow, its probe runs long and
  // removals shift entries back; the last ones hold words and lines longer than the 31
  // units from which one row of word starts stands for every length.
  struct run {
    std::u16string_view alphabet;
    std::int32_t entry_limit;
    std::size_t longest_word;
    int first_words;
    std::size_t longest_line = 60;
  };
  const run runs[] = {{u"ab", 40, 6, 0},          {u"abc", 40, 6, 0},
                      {u"ab", 40, 6, 0},          {u"abc", 2000, 6, 0},
                      {u"ab", 2000, 6, 0},        {u"abc", 2000, 6, 0},
                      {u"abc", 1 << 20, 8, 3000}, {u"ab", 5000, 12, 6000},
                      {u"a", 2000, 90, 40, 120},  {u"ab", 2000, 90, 300, 120}};
  std::uint32_t seed = 100;
  for (const run& r : runs) {
    std::mt19937 rng(++seed);
    twin t(r.entry_limit);
    for (int i = 0; i < r.first_words; ++i)
      add_both(t, random_text(rng, r.alphabet, 1 + rng() % r.longest_word));
    for (int step = 0; step < 1500; ++step) {
      const std::uint32_t op = rng() % 20;
      // Words come and go twenty at a time in the runs with a dense index.
      const int batch = r.first_words > 0 ? 20 : 1;
      if (op < 6) {
        for (int k = 0; k < batch; ++k)
          add_both(t, random_text(rng, r.alphabet, 1 + rng() % r.longest_word));
      } else if (op < 8) {
        for (int k = batch; k > 0 && !t.fast->wordmap.empty(); --k) {
          auto it = t.fast->wordmap.begin();
          std::advance(it, rng() % t.fast->wordmap.size());
          const std::int32_t id = it->second.id;
          strmorph::remove_word(*t.fast, id);
          strmorph::remove_word(*t.literal, id);
        }
      } else if (op < 12) {
        link_randomly(t, rng);
      } else if (op < 13) {
        strmorph::prune_words(*t.fast);
        strmorph::prune_words(*t.literal);
      } else if (op < 14) {
        t.fast = reloaded(*t.fast);
        t.literal = reloaded(*t.literal);
      } else {
        const std::u16string line = random_text(rng, r.alphabet, 1 + rng() % r.longest_line);
        if (step % 10 == 0) expect_same_lookups(*t.fast, line);
        split_both(t, line);
      }
      if (step % 100 == 0) {
        ASSERT_EQ(words(*t.fast), words(*t.literal)) << seed << " " << step;
        ASSERT_EQ(index_problem(*t.fast), "") << seed << " " << step;
      }
    }
    ASSERT_EQ(index_problem(*t.fast), "") << seed;
  }
}

TEST(segmentation_fast_path, matches_the_literal_split_on_corpus_lines) {
  // The corpus's first lines, each discovered against the log and then split, as learning
  // does, into two dictionaries.
  conversation_log log;
  twin t;
  std::size_t n = 0;
  for (const std::u16string& line : testing::corpus_lines(1500)) {
    if (line.empty()) continue;
    add_line(log, line);
    discover_words(*t.fast, log);
    discover_words(*t.literal, log);
    split_both(t, line);
    if (++n % 250 == 0) {
      expect_same_lookups(*t.fast, line);
      ASSERT_EQ(words(*t.fast), words(*t.literal)) << n;
    }
  }
  ASSERT_EQ(words(*t.fast), words(*t.literal));
  ASSERT_EQ(index_problem(*t.fast), "");
}

TEST(segmentation_fast_path, tells_apart_words_whose_slot_tags_collide) {
  // Texts of one length and one tail (the units after the first two) that share a home slot
  // and a slot tag: only the key's head, its first two units, tells them apart. For each
  // length, one of a colliding pair is a word and the other is probed (with the filter all
  // set, as removals may leave it, so that the probe reaches the slots), then both are.
  for (const std::size_t length : {2, 3, 6}) {
    dic_t d;
    const std::u16string filler = u"zzzzzzzz";
    testing::add(d, filler);  // sizes the index
    const std::size_t mask = d.word_slots.size() - 1;
    const std::u16string tail(length - 2, u'\u3042');
    std::map<std::uint64_t, std::u16string> seen;  // (tag, home slot) -> text
    std::u16string word;
    std::u16string probe;
    for (char16_t x = 1; probe.empty(); ++x) {
      for (char16_t y = 1; y < 4096 && probe.empty(); ++y) {
        const std::u16string text = std::u16string{x, y} + tail;
        const std::uint64_t hash = text_hash(text);
        const auto [it, inserted] = seen.try_emplace((hash >> 48) << 32 | (hash & mask), text);
        if (inserted) continue;
        word = it->second;
        probe = text;
      }
    }
    testing::add(d, word);
    std::fill(d.word_filter.begin(), d.word_filter.end(), ~std::uint64_t{0});
    ASSERT_EQ(d.word_slots.size() - 1, mask);
    const auto n = static_cast<std::int32_t>(length);
    ASSERT_EQ(strmorph::find_word(d, probe.data(), n, text_hash(probe)), nullptr) << length;
    ASSERT_EQ(reference::find_word(d, probe), nullptr) << length;
    ASSERT_EQ(strmorph::find_word(d, word.data(), n), reference::find_word(d, word)) << length;
    testing::add(d, probe);
    ASSERT_EQ(index_problem(d), "") << length;
    for (const std::u16string& text : {word, probe}) {
      const auto* found = strmorph::find_word(d, text.data(), n, text_hash(text));
      ASSERT_NE(found, nullptr) << length;
      ASSERT_EQ(found, reference::find_word(d, text)) << length;
    }
  }
}

}  // namespace
}  // namespace tsugihagi

namespace tsugihagi {
namespace {

// The word map's order (lengths, then heads, then the units after them) against the literal
// one (lengths, then the texts unit by unit as unsigned values), on keys that share heads,
// differ only past them or only in them, and hold units above 0x7FFF; then the map's own
// iteration order after random insertions.
TEST(word_order_fast_path, orders_keys_as_the_literal_comparison) {
  const auto literal_less = [](std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  };
  const std::u16string_view alphabets[] = {u"ab", u"a\u3042\uFF01", u"\u0001\u8000\uFFFF"};
  std::mt19937 rng(7);
  for (const std::u16string_view alphabet : alphabets) {
    for (int round = 0; round < 4000; ++round) {
      const std::u16string a = random_text(rng, alphabet, 1 + rng() % 5);
      std::u16string b = random_text(rng, alphabet, 1 + rng() % 5);
      if (round % 3 == 0) b = a.substr(0, std::min<std::size_t>(2, a.size())) + b.substr(0, 3);
      const char16_t* pa = a.data();
      const char16_t* pb = b.data();
      const strmorph::wordkey_t ka(&pa, static_cast<std::int32_t>(a.size()));
      const strmorph::wordkey_t kb(&pb, static_cast<std::int32_t>(b.size()));
      ASSERT_EQ(strmorph::word_order{}(ka, kb), literal_less(a, b)) << u8(a) << " " << u8(b);
      ASSERT_EQ(strmorph::word_order{}(kb, ka), literal_less(b, a)) << u8(a) << " " << u8(b);
    }
    dic_t d;
    for (int i = 0; i < 2000; ++i) {
      const std::u16string text = random_text(rng, alphabet, 1 + rng() % 6);
      strmorph::add_word(d, text.data(), static_cast<std::int32_t>(text.size()));
    }
    std::vector<std::u16string> texts;
    for (const auto& [key, info] : d.wordmap)
      texts.emplace_back(key.text());
    ASSERT_TRUE(std::is_sorted(texts.begin(), texts.end(), literal_less));
    ASSERT_EQ(std::adjacent_find(texts.begin(), texts.end()), texts.end());
    for (const std::u16string& text : texts)
      ASSERT_NE(strmorph::find_word(d, text.data(), static_cast<std::int32_t>(text.size())),
                nullptr);
  }
}

}  // namespace
}  // namespace tsugihagi
