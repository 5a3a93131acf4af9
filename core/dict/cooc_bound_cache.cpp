#include "core/dict/cooc_bound_cache.h"

#include <algorithm>

namespace strmorph {

void cooc_bound_cache::reserve(std::size_t ids) const {
  if ((ids + 63) / 64 <= known_.size()) return;
  // At least doubled, so that ids announced a few more at a time move the arrays rarely.
  const std::size_t blocks = std::max((ids + 63) / 64, 2 * known_.size());
  // Left unset (not value-initialised): its pages are touched only where ids are remembered.
  // What was remembered is forgotten rather than copied, which would touch the pages of
  // every id remembered at once, on the reply that first reaches past the old capacity.
  bounds_.reset(new std::uint16_t[64 * blocks]);
  known_.assign(blocks, 0);
}

void cooc_bound_cache::remember(std::int32_t id, std::int32_t bound) const {
  const auto i = static_cast<std::size_t>(id);
  if (i / 64 >= known_.size()) reserve(i + 1);
  bounds_[i] = static_cast<std::uint16_t>(std::clamp(bound, -1, bound_clip) + 1);
  known_[i / 64] |= std::uint64_t{1} << (i % 64);
}

}  // namespace strmorph
