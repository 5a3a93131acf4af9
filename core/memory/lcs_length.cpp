#include "core/memory/lcs_length.h"

#include <bit>

namespace tsugihagi {

lcs_length_against::lcs_length_against(std::span<const std::int32_t> fixed)
    : n_(fixed.size()), words_((fixed.size() + 63) / 64) {
  for (std::size_t i = 0; i < n_; ++i) {
    std::vector<std::uint64_t>& bits = positions_[fixed[i]];
    if (bits.empty()) bits.assign(words_, 0);
    bits[i / 64] |= std::uint64_t{1} << (i % 64);
  }
}

std::int32_t lcs_length_against::length(std::span<const std::int32_t> other) const {
  // V starts all ones; for each element b with match set M: U = V & M, V = (V + U) | (V - U).
  // The zero bits of V then count the subsequence (Allison and Dix; Hyyro's form).
  std::vector<std::uint64_t> v(words_, ~std::uint64_t{0});
  for (const std::int32_t b : other) {
    const auto it = positions_.find(b);
    if (it == positions_.end()) continue;
    const std::vector<std::uint64_t>& m = it->second;
    std::uint64_t carry = 0;
    std::uint64_t borrow = 0;
    for (std::size_t w = 0; w < words_; ++w) {
      const std::uint64_t u = v[w] & m[w];
      const std::uint64_t sum = v[w] + u;
      const std::uint64_t sum_carried = sum + carry;
      carry = (sum < v[w]) || (sum_carried < sum) ? 1 : 0;
      const std::uint64_t diff = v[w] - u;
      const std::uint64_t diff_borrowed = diff - borrow;
      borrow = (v[w] < u) || (diff < borrow) ? 1 : 0;
      v[w] = sum_carried | diff_borrowed;
    }
  }
  std::int32_t ones = 0;
  for (std::size_t w = 0; w < words_; ++w) {
    std::uint64_t bits = v[w];
    if (w + 1 == words_ && n_ % 64 != 0) bits &= (std::uint64_t{1} << (n_ % 64)) - 1;
    ones += std::popcount(bits);
  }
  return static_cast<std::int32_t>(n_) - ones;
}

}  // namespace tsugihagi
