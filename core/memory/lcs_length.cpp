#include "core/memory/lcs_length.h"

#include <algorithm>
#include <bit>

namespace tsugihagi {
namespace {

std::uint32_t hash_of(std::int32_t id, std::uint32_t shift) {
  return (static_cast<std::uint32_t>(id) * 0x9E3779B1u) >> shift;
}

}  // namespace

lcs_length_against::lcs_length_against(std::span<const std::int32_t> fixed)
    : n_(fixed.size()), words_((fixed.size() + 63) / 64) {
  // At most a quarter of the home slots are taken, so probes are short; an id whose home slot
  // is taken goes to the next free slot after it, never wrapping round: the n_ slots past the
  // home slots leave room for that.
  std::size_t home = 16;
  while (home < 4 * n_)
    home *= 2;
  slots_.resize(home + n_);
  shift_ = static_cast<std::uint32_t>(32 - std::countr_zero(home));
  std::uint32_t rows = 0;
  for (std::size_t i = 0; i < n_; ++i) {
    const std::int32_t id = fixed[i];
    const std::size_t h = hash_of(id, shift_);
    std::size_t k = h;
    while (slots_[k].row != 0 && slots_[k].id != id)
      ++k;
    probes_ = std::max(probes_, k - h + 1);
    slot& s = slots_[k];
    if (s.row == 0) {
      s.id = id;
      s.row = ++rows;
      if (words_ > 1) rows_.resize(rows_.size() + words_, 0);
    }
    if (words_ == 1) {
      s.bits |= std::uint64_t{1} << i;
    } else {
      rows_[(s.row - 1) * words_ + i / 64] |= std::uint64_t{1} << (i % 64);
    }
  }
  if (words_ > 1) v_.resize(words_);
}

const lcs_length_against::slot* lcs_length_against::find(std::int32_t id) const {
  const slot* s = &slots_[hash_of(id, shift_)];
  for (std::size_t k = 0; k < probes_; ++k) {
    if (s[k].row != 0 && s[k].id == id) return &s[k];
  }
  return nullptr;
}

std::int32_t lcs_length_against::length(std::span<const std::int32_t> other) const {
  if (words_ > 1) return length_in_words(other);
  if (n_ == 0) return 0;
  // V starts all ones; for each element b with match set M: U = V & M, V = (V + U) | (V - U).
  // The zero bits of V then count the subsequence (Allison and Dix; Hyyro's form). Within one
  // word the carry out of the top bit is simply dropped. An id not in the fixed sequence has
  // the empty match set, which leaves V as it is, so no element needs a branch: the probe
  // gathers the bits of every slot within reach that holds the id (an empty slot has none).
  std::uint64_t v = ~std::uint64_t{0};
  for (const std::int32_t b : other) {
    const slot* s = &slots_[hash_of(b, shift_)];
    std::uint64_t m = 0;
    // A mask rather than a choice: whether an element occurs is not predictable.
    for (std::size_t k = 0; k < probes_; ++k)
      m |= s[k].bits & (std::uint64_t{0} - std::uint64_t{s[k].id == b});
    const std::uint64_t u = v & m;
    v = (v + u) | (v - u);
  }
  if (n_ < 64) v &= (std::uint64_t{1} << n_) - 1;
  return static_cast<std::int32_t>(n_) - std::popcount(v);
}

std::int32_t lcs_length_against::length_in_words(std::span<const std::int32_t> other) const {
  std::fill(v_.begin(), v_.end(), ~std::uint64_t{0});
  for (const std::int32_t b : other) {
    const slot* s = find(b);
    if (s == nullptr) continue;
    const std::uint64_t* m = &rows_[(s->row - 1) * words_];
    std::uint64_t carry = 0;
    std::uint64_t borrow = 0;
    for (std::size_t w = 0; w < words_; ++w) {
      const std::uint64_t x = v_[w];
      const std::uint64_t u = x & m[w];
      const std::uint64_t sum = x + u;
      const std::uint64_t sum_carried = sum + carry;
      carry = (sum < x) || (sum_carried < sum) ? 1 : 0;
      const std::uint64_t diff = x - u;
      const std::uint64_t diff_borrowed = diff - borrow;
      borrow = (x < u) || (diff < borrow) ? 1 : 0;
      v_[w] = sum_carried | diff_borrowed;
    }
  }
  std::int32_t ones = 0;
  for (std::size_t w = 0; w < words_; ++w) {
    std::uint64_t bits = v_[w];
    if (w + 1 == words_ && n_ % 64 != 0) bits &= (std::uint64_t{1} << (n_ % 64)) - 1;
    ones += std::popcount(bits);
  }
  return static_cast<std::int32_t>(n_) - ones;
}

}  // namespace tsugihagi
