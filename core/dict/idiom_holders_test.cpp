#include "core/dict/idiom_holders.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "core/dict/dictionary.h"

namespace strmorph {
namespace {

// assign against adding the pairs one by one: seeded pairs with repeats (of one word's pair
// in a row, and of pairs far apart), over dense ids, ids with empty blocks between them,
// ids out of range, and ids so sparse that assign adds them one by one; assigned over
// holders that held other pairs; then more pairs added to both.
TEST(idiom_holders, assign_holds_what_adding_the_pairs_one_by_one_holds) {
  const std::int32_t spans[] = {1, 64, 200, 5000, 3 * id_ceiling / 4};
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    const std::int32_t span = spans[seed % 5];
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs(rng() % 300);
    for (auto& [idiom, word] : pairs) {
      idiom = static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(span));
      if (rng() % 50 == 0) idiom = rng() % 2 == 0 ? -1 - idiom : id_ceiling + idiom;
      word = static_cast<std::int32_t>(rng() % 40);
    }
    for (std::size_t k = 1; k < pairs.size(); k += 7)
      pairs[k] = pairs[rng() % 3 == 0 ? k - 1 : rng() % k];
    idiom_holders one_by_one;
    for (const auto& [idiom, word] : pairs)
      one_by_one.add(idiom, word);
    idiom_holders assigned;
    assigned.add(3, 99);  // dropped by the assignment
    assigned.add(900, 98);
    assigned.assign(pairs);
    // Then later pairs added to both, past the largest id too.
    for (int k = 0; k < 20 && !pairs.empty(); ++k) {
      const auto idiom = static_cast<std::int32_t>(pairs[rng() % pairs.size()].first + rng() % 70);
      const auto word = static_cast<std::int32_t>(rng() % 40);
      one_by_one.add(idiom, word);
      assigned.add(idiom, word);
      pairs.emplace_back(idiom, word);
    }
    ASSERT_EQ(assigned.pair_count(), one_by_one.pair_count()) << seed;
    std::vector<std::uint64_t> words(1);
    for (const auto& [idiom, word] : pairs) {
      ASSERT_EQ(assigned.holders(idiom), one_by_one.holders(idiom)) << seed << " " << idiom;
      const auto k = static_cast<std::size_t>(static_cast<std::uint32_t>(idiom)) / 64;
      words[0] = rng() | std::uint64_t{rng()} << 32;
      const std::uint64_t skip = rng() % 2 == 0 ? 0 : rng();
      ASSERT_EQ(assigned.held_by_any(k, skip, words), one_by_one.held_by_any(k, skip, words))
          << seed;
    }
    for (const std::int32_t dropped : {3, 900}) {
      for (const std::int32_t w : assigned.holders(dropped))
        EXPECT_LT(w, 40) << seed;
    }
  }
}

}  // namespace
}  // namespace strmorph
