// Dictionary costs: adding and finding the corpus's words, and packing and unpacking the
// per-word lists at the sizes they reach.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench/bench_corpus.h"
#include "core/dict/dictionary.h"
#include "core/io/packed_list.h"

namespace {

using tsugihagi::id_count;

const std::vector<std::u16string>& corpus_words() {
  static const std::vector<std::u16string> words =
      tsugihagi::bench::split_words(tsugihagi::bench::corpus_lines());
  return words;
}

void add_all(strmorph::dic_t& d, const std::vector<std::u16string>& words) {
  for (const std::u16string& w : words)
    strmorph::add_word(d, w.data(), static_cast<std::int32_t>(w.size()));
}

// Every word of the corpus into a fresh dictionary: first sightings insert, repeats count.
void add_word_corpus(benchmark::State& state) {
  const auto& words = corpus_words();
  for (auto _ : state) {
    state.PauseTiming();
    auto d = std::make_unique<strmorph::dic_t>();
    state.ResumeTiming();
    add_all(*d, words);
    benchmark::DoNotOptimize(d->wordmap.size());
    state.PauseTiming();
    d.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(words.size()));
  state.counters["words"] = static_cast<double>(words.size());
}
BENCHMARK(add_word_corpus)->Unit(benchmark::kMillisecond);

// Every word of the corpus looked up in a dictionary that holds them all.
void find_word_corpus(benchmark::State& state) {
  const auto& words = corpus_words();
  strmorph::dic_t d;
  add_all(d, words);
  for (auto _ : state) {
    std::size_t found = 0;
    for (const std::u16string& w : words)
      found += strmorph::find_word(d, w.data(), static_cast<std::int32_t>(w.size())) != nullptr;
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(words.size()));
  state.counters["distinct_words"] = static_cast<double>(d.wordmap.size());
}
BENCHMARK(find_word_corpus)->Unit(benchmark::kMillisecond);

// Ids spread as in a grown dictionary: mostly small, some needing three bytes.
std::vector<std::int32_t> sample_ids(std::size_t n) {
  std::mt19937 gen(42);
  std::uniform_int_distribution<std::int32_t> small(0, 0xFFFF);
  std::uniform_int_distribution<std::int32_t> large(0, 0xFFFFFE);
  std::vector<std::int32_t> ids(n);
  for (std::size_t i = 0; i < n; ++i)
    ids[i] = i % 4 == 3 ? large(gen) : small(gen);
  return ids;
}

std::vector<id_count> sample_pairs(std::size_t n) {
  const std::vector<std::int32_t> ids = sample_ids(n);
  std::vector<id_count> pairs(n);
  for (std::size_t i = 0; i < n; ++i)
    pairs[i] = {ids[i], static_cast<std::int32_t>(i % 7)};
  return pairs;
}

void pack_ids(benchmark::State& state) {
  const auto ids = sample_ids(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    tsugihagi::packed_list list = tsugihagi::pack_ids(ids);
    benchmark::DoNotOptimize(list.data.get());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(pack_ids)->Arg(10)->Arg(1000)->Arg(100000);

void unpack_ids(benchmark::State& state) {
  const tsugihagi::packed_list list =
      tsugihagi::pack_ids(sample_ids(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) {
    std::vector<std::int32_t> ids = tsugihagi::unpack_ids(list);
    benchmark::DoNotOptimize(ids.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * list.size);
}
BENCHMARK(unpack_ids)->Arg(10)->Arg(1000)->Arg(100000);

void pack_pairs(benchmark::State& state) {
  const auto pairs = sample_pairs(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    tsugihagi::packed_list list = tsugihagi::pack_pairs(pairs);
    benchmark::DoNotOptimize(list.data.get());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(pack_pairs)->Arg(10)->Arg(1000)->Arg(100000);

void unpack_pairs(benchmark::State& state) {
  const tsugihagi::packed_list list =
      tsugihagi::pack_pairs(sample_pairs(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) {
    std::vector<id_count> pairs = tsugihagi::unpack_pairs(list);
    benchmark::DoNotOptimize(pairs.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * list.size);
}
BENCHMARK(unpack_pairs)->Arg(10)->Arg(1000)->Arg(100000);

}  // namespace
