// Learning costs: corpus lines learnt against a full log, and the worst case, a longest line
// that shares no text with a full log of longest lines.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "core/app/turn_buffers.h"
#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"
#include "core/memory/learning.h"
#include "core/memory/pattern_learning.h"

namespace {

using tsugihagi::conversation_log;
using tsugihagi::learn_line;
using tsugihagi::log_capacity;
using tsugihagi::pattern_history;

constexpr std::size_t measured_lines = 1000;

// Corpus lines learnt one after another once the log is full: the steady state of a
// conversation. Each iteration learns the next line.
void learn_line_full_log(benchmark::State& state) {
  const auto lines = tsugihagi::bench::corpus_lines(log_capacity + measured_lines);
  strmorph::dic_t d;
  conversation_log log;
  pattern_history patterns;
  for (std::size_t i = 0; i < log_capacity; ++i)
    learn_line(d, log, patterns, lines[i]);
  std::size_t next = log_capacity;
  for (auto _ : state) {
    learn_line(d, log, patterns, lines[next]);
    if (++next == lines.size()) next = log_capacity;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["lines_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["words"] = static_cast<double>(d.wordmap.size());
  state.counters["idioms"] = static_cast<double>(d.idiomset.size());
}
BENCHMARK(learn_line_full_log)->Iterations(measured_lines)->Unit(benchmark::kMillisecond);

// The worst case: a log of log_capacity longest lines drawn from one block of ideographs,
// each cut into two-unit words, and probe lines each from a block of its own, so that word
// discovery finds no stretch shared with any logged line and segmenting the probe finds no
// known word. The log's word lists are set directly; they equal what store_line_words would
// find (only two-unit words are known, so segmenting tiles each line left to right), without
// its quadratic cost per line.
void learn_line_worst_case(benchmark::State& state) {
  constexpr std::size_t length = tsugihagi::max_line_units;
  strmorph::dic_t d;
  conversation_log log;
  pattern_history patterns;
  for (std::size_t i = 0; i < log_capacity; ++i) {
    const std::u16string text =
        tsugihagi::bench::ideograph_line(static_cast<std::uint32_t>(i), length, u'\u4E00', 0x1000);
    tsugihagi::add_line(log, text);
    std::vector<std::int32_t>& ids = log.line_words[0].ids;
    for (std::size_t k = 0; k < length; k += 2)
      ids.push_back(strmorph::add_word(d, text.data() + k, 2).first->second.id);
  }
  constexpr char16_t probe_block = 0x800;
  char16_t first = u'\u6000';  // blocks up to U+9FFF: room for eight probes
  for (auto _ : state) {
    state.PauseTiming();
    const std::u16string probe =
        tsugihagi::bench::ideograph_line(first, length, first, probe_block);
    first = static_cast<char16_t>(first + probe_block);
    state.ResumeTiming();
    learn_line(d, log, patterns, probe);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["words"] = static_cast<double>(d.wordmap.size());
}
BENCHMARK(learn_line_worst_case)->Iterations(4)->Unit(benchmark::kMillisecond);

}  // namespace
