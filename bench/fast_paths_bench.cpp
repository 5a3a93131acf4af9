// The fast learning steps against the literal algorithms they replace (kept in the test
// library), measured in one run on the same states: word discovery on a full log of corpus
// lines and on the worst case, and the in-line link step on a long corpus line; and list
// operations on lists that a crafted file may hold.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "core/app/turn_buffers.h"
#include "core/dict/segmentation.h"
#include "core/io/pair_counting.h"
#include "core/memory/learning.h"
#include "core/memory/word_discovery.h"
#include "tests/support/reference.h"

namespace {

using tsugihagi::conversation_log;
using tsugihagi::log_capacity;

// A log of log_capacity corpus lines learnt, with the next corpus line added at the front.
struct corpus_state {
  strmorph::dic_t d;
  conversation_log log;
  tsugihagi::pattern_history patterns;
  corpus_state() {
    const auto lines = tsugihagi::bench::corpus_lines(log_capacity + 1);
    for (std::size_t i = 0; i < log_capacity; ++i) {
      tsugihagi::learn_line(d, log, patterns, lines[i]);
    }
    tsugihagi::add_line(log, lines[log_capacity]);
  }
};

// The worst case: the newest line of the longest length shares no unit with the older ones.
struct worst_state {
  strmorph::dic_t d;
  conversation_log log;
  worst_state() {
    constexpr std::size_t length = tsugihagi::max_line_units;
    for (std::size_t i = 0; i < log_capacity - 1; ++i) {
      tsugihagi::add_line(log, tsugihagi::bench::ideograph_line(static_cast<std::uint32_t>(i),
                                                                length, u'\u4E00', 0x1000));
    }
    tsugihagi::add_line(log, tsugihagi::bench::ideograph_line(0x6000, length, 0x6000, 0x800));
  }
};

template <typename State, bool literal>
void discover(benchmark::State& state) {
  static State s;
  for (auto _ : state) {
    strmorph::dic_t d;  // a fresh dictionary each time: both forms add the same words
    if constexpr (literal) {
      tsugihagi::reference::discover_words(d, s.log);
    } else {
      tsugihagi::discover_words(d, s.log);
    }
    benchmark::DoNotOptimize(d.wordmap.size());
  }
}
BENCHMARK(discover<corpus_state, false>)
    ->Name("discover_words/corpus/fast")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(discover<corpus_state, true>)
    ->Name("discover_words/corpus/literal")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(discover<worst_state, false>)
    ->Name("discover_words/worst/fast")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(discover<worst_state, true>)
    ->Name("discover_words/worst/literal")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Discovery as the log rolls: each corpus line added and its words discovered, with blocks
// of Arg lines (the index kept in step line by line, as learning does).
void discover_rolling(benchmark::State& state) {
  static const auto lines = tsugihagi::bench::corpus_lines(4 * log_capacity);
  conversation_log log;
  log.finder.lines_per_block = static_cast<std::size_t>(state.range(0));
  strmorph::dic_t d;
  std::size_t next = 0;
  for (auto _ : state) {
    tsugihagi::add_line(log, lines[next++ % lines.size()]);
    tsugihagi::discover_words(d, log);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(discover_rolling)
    ->Name("discover_words/rolling")
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Iterations(4000)
    ->Unit(benchmark::kMicrosecond);

// The link step on a line of many words: each form runs on its own copy of the same lists.
template <bool literal>
void link_words(benchmark::State& state) {
  static corpus_state s;
  std::vector<std::int32_t> words;
  for (const auto& entry : s.log.line_words) {
    if (entry.ids.size() > words.size()) words = entry.ids;
  }
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<tsugihagi::packed_list> saved;
    for (const std::int32_t w : words)
      saved.push_back(tsugihagi::packed_from_bytes(strmorph::word_at(s.d, w)->cooc.bytes()));
    state.ResumeTiming();
    if constexpr (literal) {
      tsugihagi::reference::learn_word_links(s.d, words);
    } else {
      tsugihagi::learn_word_links(s.d, words);
    }
    state.PauseTiming();
    for (std::size_t i = 0; i < words.size(); ++i)
      strmorph::word_at(s.d, words[i])->cooc = std::move(saved[i]);
    state.ResumeTiming();
  }
  state.counters["words_in_line"] = static_cast<double>(words.size());
}
BENCHMARK(link_words<false>)
    ->Name("learn_word_links/longest_corpus_line/fast")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(link_words<true>)
    ->Name("learn_word_links/longest_corpus_line/literal")
    ->Unit(benchmark::kMicrosecond);

// Lists a foreign file may hold: 100,000 pairs of distinct counts, whose summary is made
// afresh; and 70,000 ids that all fall in 1,093 slots of a 2^18-slot index under the fixed
// multiplier 0x9E3779B97F4A7C15 (as a crafted file may choose them), counted into once.
void summary_of_distinct_counts(benchmark::State& state) {
  std::vector<tsugihagi::id_count> pairs;
  for (std::int32_t i = 0; i < 100000; ++i)
    pairs.push_back({i + 2, 5000 + i});
  const tsugihagi::packed_list list = tsugihagi::pack_pairs(pairs);
  for (auto _ : state) {
    tsugihagi::packed_list copy = tsugihagi::packed_from_bytes(list.bytes());
    benchmark::DoNotOptimize(tsugihagi::first_pair_of_each_count(copy).size());
  }
}
BENCHMARK(summary_of_distinct_counts)
    ->Name("first_pair_of_each_count/100000_distinct_counts")
    ->Unit(benchmark::kMillisecond);

void first_count_into_colliding_ids(benchmark::State& state) {
  std::vector<tsugihagi::id_count> pairs;
  for (std::uint64_t x = 2; x < (1u << 24) && pairs.size() < 70000; ++x) {
    if ((((x * 0x9E3779B97F4A7C15u) >> 32) & ((1u << 18) - 1)) < 1093)
      pairs.push_back({static_cast<std::int32_t>(x), 0});
  }
  const tsugihagi::packed_list list = tsugihagi::pack_pairs(pairs);
  for (auto _ : state) {
    tsugihagi::packed_list copy = tsugihagi::packed_from_bytes(list.bytes());
    tsugihagi::count_in_pair(copy, 1);
    benchmark::DoNotOptimize(copy.size);
  }
  state.counters["list_bytes"] = static_cast<double>(list.size);
}
BENCHMARK(first_count_into_colliding_ids)
    ->Name("count_in_pair/first_into_70000_colliding_ids")
    ->Unit(benchmark::kMillisecond);

}  // namespace
