// A screen of a sequence of ids: 128 bins, each id falling into one by its hash, and for
// each bin whether one, two, or three or more of the ids fall there (three 128-bit masks,
// 48 bytes). Any common subsequence of two sequences takes from each bin at most as many
// elements as the fewer of the two hold there, so the sum over the bins of the smaller count
// bounds its length from above; with the counts capped at three, that sum is the count of the
// bits of three ANDs. Made in O(length), compared in O(1) without touching the ids: pattern
// learning turns most earlier lines away on it before any subsequence is computed.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tsugihagi {

class id_screen {
 public:
  static constexpr std::int32_t cap = 3;  // counts per bin are told apart up to this

  id_screen() = default;
  explicit id_screen(std::span<const std::int32_t> ids) {
    for (const std::int32_t id : ids) {
      const std::uint32_t bin = (static_cast<std::uint32_t>(id) * 0x9E3779B1u) >> 25;
      const std::size_t word = bin >> 6;
      const std::uint64_t bit = std::uint64_t{1} << (bin & 63);
      // Each level holds the bins with at least that many ids more than the level below.
      masks_[2][word] |= masks_[1][word] & bit;
      masks_[1][word] |= masks_[0][word] & bit;
      masks_[0][word] |= bit;
    }
  }

  // min(cap, an upper bound on the length of any common subsequence of the two sequences).
  // Each level's bins are among the level below's, so a level with no bin in common ends the
  // sum: most pairs end at the first or second level.
  std::int32_t shared_bound(const id_screen& other) const {
    std::int32_t sum = 0;
    for (std::size_t level = 0; level < cap; ++level) {
      if (((masks_[level][0] & other.masks_[level][0]) |
           (masks_[level][1] & other.masks_[level][1])) == 0)
        break;
      sum += at_most_cap(masks_[level][0] & other.masks_[level][0],
                         masks_[level][1] & other.masks_[level][1]);
    }
    return sum < cap ? sum : cap;
  }

 private:
  // min(cap, the bits set in the two words), by clearing the lowest set bit cap times: without
  // a popcount instruction in the target, std::popcount is a call.
  static std::int32_t at_most_cap(std::uint64_t low, std::uint64_t high) {
    std::int32_t n = 0;
    for (std::int32_t k = 0; k < cap; ++k) {
      n += (low | high) != 0 ? 1 : 0;
      const std::uint64_t high_cleared = high & (high - 1);
      high = low != 0 ? high : high_cleared;
      low &= low - 1;
    }
    return n;
  }

  // masks_[k]: the bins holding more than k of the ids, as two words of 64 bins.
  std::array<std::array<std::uint64_t, 2>, cap> masks_{};
};

}  // namespace tsugihagi
