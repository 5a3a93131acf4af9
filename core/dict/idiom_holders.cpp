#include "core/dict/idiom_holders.h"

#include <algorithm>
#include <bit>
#include <iterator>

#include "core/dict/dictionary.h"

namespace strmorph {

void idiom_holders::add(std::int32_t idiom, std::int32_t word) {
  if (idiom < 0 || idiom >= id_ceiling) return;
  const auto y = static_cast<std::size_t>(idiom);
  if (y / block_ids >= blocks_.size()) blocks_.resize(y / block_ids + 1);
  std::unique_ptr<block>& b = blocks_[y / block_ids];
  if (!b) b = std::make_unique<block>();
  const std::size_t j = y % block_ids;
  const auto first = b->words.begin() + (j == 0 ? 0 : b->end[j - 1]);
  const auto last = b->words.begin() + b->end[j];
  if (std::find(first, last, word) != last) return;
  b->words.insert(last, word);
  ++pairs_;
  for (std::size_t k = j; k < block_ids; ++k)
    ++b->end[k];
  b->summarise(j);
}

void idiom_holders::assign(std::span<const std::pair<std::int32_t, std::int32_t>> pairs) {
  blocks_.clear();
  pairs_ = 0;
  const auto in_range = [](std::int32_t idiom) { return idiom >= 0 && idiom < id_ceiling; };
  std::size_t ids = 0;  // one past the largest idiom id held
  for (const auto& [idiom, word] : pairs) {
    if (in_range(idiom)) ids = std::max(ids, static_cast<std::size_t>(idiom) + 1);
  }
  // Ids far apart (as only a damaged file names them) are added one by one, so that the
  // cost stays with the pairs.
  if (ids > 4 * pairs.size() + 4096) {
    for (const auto& [idiom, word] : pairs)
      add(idiom, word);
    return;
  }
  // Each idiom's words laid out in one array, idiom by idiom: first[y] is where idiom y's
  // start, next[y] one past the last placed so far (a repeat is placed once).
  std::vector<std::uint32_t> first(ids + 1, 0);
  for (const auto& [idiom, word] : pairs) {
    if (in_range(idiom)) ++first[static_cast<std::size_t>(idiom) + 1];
  }
  for (std::size_t y = 0; y < ids; ++y)
    first[y + 1] += first[y];
  std::vector<std::uint32_t> next(first.begin(), first.end() - 1);
  std::vector<std::int32_t> laid(first[ids]);
  for (const auto& [idiom, word] : pairs) {
    if (!in_range(idiom)) continue;
    const auto y = static_cast<std::size_t>(idiom);
    const auto from = laid.begin() + first[y];
    const auto to = laid.begin() + next[y];
    if (std::find(from, to, word) == to) laid[next[y]++] = word;
  }
  blocks_.resize((ids + block_ids - 1) / block_ids);
  for (std::size_t k = 0; k < blocks_.size(); ++k) {
    const std::size_t end_id = std::min(ids, block_ids * (k + 1));
    if (first[end_id] == first[block_ids * k]) continue;  // no pair in the block
    auto b = std::make_unique<block>();
    for (std::size_t j = 0; j < block_ids && block_ids * k + j < ids; ++j) {
      const std::size_t y = block_ids * k + j;
      b->words.insert(b->words.end(), laid.begin() + first[y], laid.begin() + next[y]);
      b->end[j] = static_cast<std::uint32_t>(b->words.size());
    }
    for (std::size_t j = 1; j < block_ids; ++j)
      b->end[j] = std::max(b->end[j], b->end[j - 1]);
    pairs_ += b->words.size();
    if (b->words.empty()) continue;
    for (std::size_t j = 0; j < block_ids; ++j)
      b->summarise(j);
    blocks_[k] = std::move(b);
  }
}

void idiom_holders::remove(std::int32_t idiom, std::int32_t word) {
  const auto y = static_cast<std::size_t>(static_cast<std::uint32_t>(idiom));
  if (y / block_ids >= blocks_.size() || !blocks_[y / block_ids]) return;
  std::unique_ptr<block>& b = blocks_[y / block_ids];
  const std::size_t j = y % block_ids;
  const auto first = b->words.begin() + (j == 0 ? 0 : b->end[j - 1]);
  const auto last = b->words.begin() + b->end[j];
  const auto it = std::find(first, last, word);
  if (it == last) return;
  b->words.erase(it);
  --pairs_;
  for (std::size_t k = j; k < block_ids; ++k)
    --b->end[k];
  if (b->words.empty()) {
    b.reset();
  } else {
    b->summarise(j);
  }
}

idiom_holders::block::block() {
  std::fill(std::begin(least), std::end(least), -1);
}

void idiom_holders::block::summarise(std::size_t j) {
  const std::uint64_t bit = std::uint64_t{1} << j;
  const auto from = words.begin() + (j == 0 ? 0 : end[j - 1]);
  const auto to = words.begin() + end[j];
  least[j] = from == to ? -1 : *std::min_element(from, to);
  several = to - from >= 2 ? several | bit : several & ~bit;
}

std::uint64_t idiom_holders::held_by_any(std::size_t k, std::uint64_t skip,
                                         std::span<const std::uint64_t> words) const {
  if (k >= blocks_.size() || !blocks_[k]) return 0;
  const block& b = *blocks_[k];
  std::uint64_t held = 0;
  for (std::uint64_t open = ~skip; open != 0; open &= open - 1) {
    const auto j = static_cast<std::size_t>(std::countr_zero(open));
    for (std::uint32_t i = j == 0 ? 0 : b.end[j - 1]; i < b.end[j]; ++i) {
      const auto w = static_cast<std::size_t>(static_cast<std::uint32_t>(b.words[i]));
      if (w / 64 < words.size() && (words[w / 64] >> (w % 64) & 1) != 0) {
        held |= std::uint64_t{1} << j;
        break;
      }
    }
  }
  return held;
}

void idiom_holders::held_by_any(std::span<const std::uint64_t> skip,
                                std::span<const std::uint64_t> words,
                                std::span<std::uint64_t> held) const {
  std::fill(held.begin(), held.end(), 0);
  if (words.empty()) return;
  const auto is_set = [&](std::int32_t word) {
    const std::size_t w = static_cast<std::uint32_t>(word);
    const std::size_t q = w / 64;
    const std::uint64_t in_range = q < words.size() ? ~std::uint64_t{0} : 0;
    return (words[std::min(q, words.size() - 1)] & in_range) >> (w % 64) & 1;
  };
  const auto run_start = [](const block& b, std::size_t j) { return j == 0 ? 0 : b.end[j - 1]; };
  // Block k goes through four steps `lag` apart: its least holders' loads are started; its
  // ids held by their least holder are found, and those left open (skipped by none, with
  // other holders) have the loads of their ends started; then those of their words; then
  // their words are read, the loads having come.
  constexpr std::size_t lag = 4;
  constexpr std::size_t ring = 2 * lag;
  std::uint64_t left[ring] = {};  // the open ids of block k, at k % ring
  const std::size_t blocks = std::min(blocks_.size(), held.size());
  for (std::size_t k = 0; k < blocks + 3 * lag; ++k) {
    if (k >= 3 * lag) {
      const std::size_t at = k - 3 * lag;
      for (std::uint64_t open = left[at % ring]; open != 0; open &= open - 1) {
        const block& b = *blocks_[at];
        const auto j = static_cast<std::size_t>(std::countr_zero(open));
        for (std::uint32_t i = run_start(b, j); i < b.end[j]; ++i) {
          if (is_set(b.words[i]) != 0) {
            held[at] |= std::uint64_t{1} << j;
            break;
          }
        }
      }
    }
    if (k >= 2 * lag && k - 2 * lag < blocks) {
      const std::size_t at = k - 2 * lag;
      for (std::uint64_t open = left[at % ring]; open != 0; open &= open - 1) {
        const block& b = *blocks_[at];
        __builtin_prefetch(b.words.data() +
                           run_start(b, static_cast<std::size_t>(std::countr_zero(open))));
      }
    }
    if (k >= lag && k - lag < blocks) {
      const std::size_t at = k - lag;
      std::uint64_t& open = left[at % ring];
      open = 0;
      if (const block* b = blocks_[at].get()) {
        std::uint64_t least_held = 0;
        for (std::size_t j = 0; j < block_ids; ++j)
          least_held |= is_set(b->least[j]) << j;
        held[at] = least_held & ~skip[at];
        open = ~skip[at] & ~least_held & b->several;
        if (open != 0) __builtin_prefetch(&b->words);
        for (std::uint64_t bits = open; bits != 0; bits &= bits - 1)
          __builtin_prefetch(&b->end[std::countr_zero(bits)]);
      }
    }
    if (k < blocks) {
      if (const block* b = blocks_[k].get()) {
        for (std::size_t line = 0; line < sizeof b->least; line += 64)
          __builtin_prefetch(reinterpret_cast<const char*>(b->least) + line);
      }
    }
  }
}

std::vector<std::int32_t> idiom_holders::holders(std::int32_t idiom) const {
  const auto y = static_cast<std::size_t>(static_cast<std::uint32_t>(idiom));
  if (y / block_ids >= blocks_.size() || !blocks_[y / block_ids]) return {};
  const block& b = *blocks_[y / block_ids];
  const std::size_t j = y % block_ids;
  std::vector<std::int32_t> out(b.words.begin() + (j == 0 ? 0 : b.end[j - 1]),
                                b.words.begin() + b.end[j]);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace strmorph
