// Whole conversation turns (learn, then reply) against a full log, as a user waits for them:
// the median and 99th-percentile time per turn, for corpus lines and for short chat lines.
// Each turn is timed by the wall clock and by the thread's CPU clock, which other programs
// sharing the machine do not inflate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <time.h>

#include "bench/bench_corpus.h"
#include "core/app/bot.h"
#include "core/app/conversation_turn.h"
#include "core/memory/learning.h"

namespace {

using tsugihagi::log_capacity;

constexpr std::size_t measured_turns = 1000;

double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double percentile_ms(std::vector<double> sorted_ms, double p) {
  const auto rank = static_cast<std::size_t>(p * static_cast<double>(sorted_ms.size() - 1) + 0.5);
  return sorted_ms[rank];
}

// Learns the first log_capacity lines without replying, then times one turn per further
// line, cycling through them.
void run_turns(benchmark::State& state, const std::vector<std::u16string>& lines) {
  tsugihagi::bot b([] { return std::int64_t{0}; });
  for (std::size_t i = 0; i < log_capacity; ++i)
    tsugihagi::learn_line(b.dic, b.log, b.patterns, lines[i]);
  std::vector<double> turn_ms;
  std::vector<double> turn_cpu_ms;
  turn_ms.reserve(static_cast<std::size_t>(state.max_iterations));
  turn_cpu_ms.reserve(static_cast<std::size_t>(state.max_iterations));
  std::size_t next = log_capacity;
  std::size_t reply_units = 0;
  for (auto _ : state) {
    const double cpu_start = thread_cpu_ms();
    const auto start = std::chrono::steady_clock::now();
    const auto reply = tsugihagi::converse(b, lines[next]);
    const auto stop = std::chrono::steady_clock::now();
    turn_cpu_ms.push_back(thread_cpu_ms() - cpu_start);
    turn_ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    reply_units += reply ? reply->size() : 0;
    if (++next == lines.size()) next = log_capacity;
  }
  std::sort(turn_ms.begin(), turn_ms.end());
  std::sort(turn_cpu_ms.begin(), turn_cpu_ms.end());
  state.SetItemsProcessed(state.iterations());
  state.counters["median_ms"] = percentile_ms(turn_ms, 0.5);
  state.counters["p99_ms"] = percentile_ms(turn_ms, 0.99);
  state.counters["max_ms"] = turn_ms.back();
  state.counters["cpu_median_ms"] = percentile_ms(turn_cpu_ms, 0.5);
  state.counters["cpu_p99_ms"] = percentile_ms(turn_cpu_ms, 0.99);
  state.counters["cpu_max_ms"] = turn_cpu_ms.back();
  state.counters["reply_units"] =
      static_cast<double>(reply_units) / static_cast<double>(state.iterations());
}

void turn_corpus_lines(benchmark::State& state) {
  run_turns(state, tsugihagi::bench::corpus_lines(log_capacity + measured_turns));
}
BENCHMARK(turn_corpus_lines)->Iterations(measured_turns)->Unit(benchmark::kMillisecond);

// The first 10 to 20 units of each corpus line, as typed in a chat.
void turn_short_lines(benchmark::State& state) {
  std::vector<std::u16string> lines = tsugihagi::bench::corpus_lines(log_capacity + measured_turns);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t keep = 10 + i % 11;
    if (lines[i].size() > keep) lines[i].resize(keep);
  }
  run_turns(state, lines);
}
BENCHMARK(turn_short_lines)->Iterations(measured_turns)->Unit(benchmark::kMillisecond);

}  // namespace
