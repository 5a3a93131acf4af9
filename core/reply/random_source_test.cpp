#include "core/reply/random_source.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace tsugihagi {
namespace {

// Outputs 1, 2, 3, 624, 625 and 1000 after seeding, computed with a separate implementation
// of init_genrand and genrand_int32; 624 and 625 straddle the first state regeneration.
struct known_outputs {
  std::uint32_t seed;
  std::array<std::uint32_t, 6> outputs;
};

constexpr std::array<known_outputs, 5> known{{
    {0u, {2357136044u, 2546248239u, 3071714933u, 3791854820u, 341544762u, 3043451800u}},
    {1u, {1791095845u, 4282876139u, 3093770124u, 2006116153u, 1104314680u, 548926898u}},
    // A clock reading's low 32 bits (2025-12-10 00:00:00 UTC).
    {1765324800u, {2403261757u, 2391009472u, 1639592748u, 223046738u, 3497780201u, 3976489664u}},
    {4294967295u, {419326371u, 479346978u, 3918654476u, 1027084080u, 3860652269u, 2673539693u}},
    {5489u, {3499211612u, 581869302u, 3890346734u, 4020325887u, 4178893912u, 1341017984u}},
}};

TEST(random_source, gives_the_mersenne_twister_outputs_for_the_seeds_in_use) {
  for (const known_outputs& k : known) {
    random_source rng;
    EXPECT_FALSE(rng.seeded);
    seed_random(rng, k.seed);
    EXPECT_TRUE(rng.seeded);
    std::array<std::uint32_t, 1000> got{};
    for (std::uint32_t& value : got)
      value = next_random(rng);
    EXPECT_EQ(got[0], k.outputs[0]) << "seed " << k.seed;
    EXPECT_EQ(got[1], k.outputs[1]) << "seed " << k.seed;
    EXPECT_EQ(got[2], k.outputs[2]) << "seed " << k.seed;
    EXPECT_EQ(got[623], k.outputs[3]) << "seed " << k.seed;
    EXPECT_EQ(got[624], k.outputs[4]) << "seed " << k.seed;
    EXPECT_EQ(got[999], k.outputs[5]) << "seed " << k.seed;
  }
}

TEST(random_source, reseeding_starts_the_sequence_again) {
  random_source rng;
  seed_random(rng, 1);
  next_random(rng);
  seed_random(rng, 0);
  EXPECT_EQ(next_random(rng), 2357136044u);
}

TEST(random_source, draw_is_the_unsigned_remainder_of_one_output) {
  random_source rng;
  seed_random(rng, 0);
  // 2357136044 % n, 2546248239 % n, ... for the seed 0 outputs above.
  EXPECT_EQ(draw(rng, 1), 0u);
  EXPECT_EQ(draw(rng, 7), 2546248239u % 7);
  EXPECT_EQ(draw(rng, 1000), 3071714933u % 1000);
  random_source big;
  seed_random(big, 4294967295u);
  EXPECT_EQ(draw(big, 4294967295u), 419326371u);
}

}  // namespace
}  // namespace tsugihagi
