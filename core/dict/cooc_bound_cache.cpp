#include "core/dict/cooc_bound_cache.h"

#include <algorithm>

namespace strmorph {

void cooc_bound_cache::clear() {
  std::fill(known_.begin(), known_.end(), 0);
}

void cooc_bound_cache::remember(std::int32_t id, std::int32_t bound) const {
  const auto i = static_cast<std::size_t>(id);
  if (i / 64 >= known_.size()) {
    known_.resize(i / 64 + 1, 0);
    bounds_.resize(64 * known_.size(), 0);
  }
  bounds_[i] = bound;
  known_[i / 64] |= std::uint64_t{1} << (i % 64);
}

}  // namespace strmorph
