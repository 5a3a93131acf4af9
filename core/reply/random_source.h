// The generator behind every random choice of a reply: MT19937 (std::mt19937 is the
// reference Mersenne Twister), seeded once at the first turn. 2.5 KB of state; O(1) per draw.
#pragma once

#include <cstdint>
#include <random>

namespace tsugihagi {

struct random_source {
  std::mt19937 engine;
  bool seeded = false;
};

// init_genrand(seed); marks the source seeded.
void seed_random(random_source& rng, std::uint32_t seed);

// The next tempered 32-bit output; advances the generator by exactly one output.
std::uint32_t next_random(random_source& rng);

// next_random reduced to 0..n-1 by the unsigned remainder. REQUIRES: n > 0.
std::uint32_t draw(random_source& rng, std::uint32_t n);

}  // namespace tsugihagi
