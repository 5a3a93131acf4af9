#include "core/reply/random_source.h"

namespace tsugihagi {

void seed_random(random_source& rng, std::uint32_t seed) {
  rng.engine.seed(seed);
  rng.seeded = true;
}

std::uint32_t next_random(random_source& rng) {
  return static_cast<std::uint32_t>(rng.engine());
}

std::uint32_t draw(random_source& rng, std::uint32_t n) {
  return next_random(rng) % n;
}

}  // namespace tsugihagi
