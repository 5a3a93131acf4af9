#include "core/dict/cooc_bound_cache.h"

#include <algorithm>
#include <bit>

namespace strmorph {

void cooc_bound_cache::reserve(std::size_t ids) const {
  if ((ids + 63) / 64 <= known_.size()) return;
  // At least doubled, so that ids announced a few more at a time move the arrays rarely.
  const std::size_t blocks = std::max((ids + 63) / 64, 2 * known_.size());
  // Left unset (not value-initialised): its pages are touched only where ids are remembered.
  std::unique_ptr<std::uint16_t[]> grown(new std::uint16_t[64 * blocks]);
  for (std::size_t k = 0; k < known_.size(); ++k) {
    for (std::uint64_t bits = known_[k]; bits != 0; bits &= bits - 1) {
      const std::size_t i = 64 * k + static_cast<std::size_t>(std::countr_zero(bits));
      grown[i] = bounds_[i];
    }
  }
  bounds_ = std::move(grown);
  known_.resize(blocks, 0);
}

void cooc_bound_cache::remember(std::int32_t id, std::int32_t bound) const {
  const auto i = static_cast<std::size_t>(id);
  if (i / 64 >= known_.size()) reserve(i + 1);
  bounds_[i] = static_cast<std::uint16_t>(std::clamp(bound, -1, bound_clip) + 1);
  known_[i / 64] |= std::uint64_t{1} << (i % 64);
}

}  // namespace strmorph
