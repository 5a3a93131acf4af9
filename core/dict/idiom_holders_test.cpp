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

// The pass over every block against the holders read one idiom at a time: holders built by
// adding or assigning, then removing, over ids with empty blocks between them; words sets
// from empty to full, some shorter than the words held; skips from none to many.
TEST(idiom_holders, the_pass_finds_what_each_idioms_holders_say) {
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    std::mt19937 rng(seed);
    const std::int32_t ids = seed % 4 == 0 ? 64 : static_cast<std::int32_t>(1 + rng() % 1500);
    const std::uint32_t word_ids = 1 + rng() % 300;
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs(rng() % 3000);
    for (auto& [idiom, word] : pairs) {
      idiom = static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(ids));
      if (idiom % 128 >= 64 && seed % 3 == 0) idiom = 0;  // empty blocks
      word = static_cast<std::int32_t>(rng() % word_ids);
    }
    idiom_holders h;
    if (seed % 2 == 0) {
      h.assign(pairs);
    } else {
      for (const auto& [idiom, word] : pairs)
        h.add(idiom, word);
    }
    // Removals: the least holder of an id, or (some seeds) all of them, emptying blocks.
    for (std::uint32_t n = rng() % 400; n > 0; --n) {
      const auto idiom = static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(ids));
      const std::vector<std::int32_t> words = h.holders(idiom);
      for (std::size_t r = 0; r < words.size() && (r == 0 || seed % 3 == 1); ++r)
        h.remove(idiom, words[r]);
    }
    const std::size_t blocks = (static_cast<std::size_t>(ids) + 63) / 64 + rng() % 3;
    std::vector<std::uint64_t> skip(blocks);
    std::vector<std::uint64_t> words(seed % 5 == 0 ? rng() % 3 : (word_ids + 63) / 64);
    const std::uint32_t density = rng() % 9;  // of 8: 0 none, 8 all
    for (std::uint64_t& w : words) {
      for (int bit = 0; bit < 64; ++bit)
        w |= static_cast<std::uint64_t>(rng() % 8 < density) << bit;
    }
    for (std::uint64_t& s : skip)
      s = seed % 7 == 0 ? 0 : (std::uint64_t{rng()} << 32 | rng()) & rng();
    std::vector<std::uint64_t> held(blocks, ~std::uint64_t{0});
    h.held_by_any(skip, words, held);
    for (std::size_t k = 0; k < blocks; ++k) {
      std::uint64_t literal = 0;
      for (std::size_t j = 0; j < 64; ++j) {
        if ((skip[k] >> j & 1) != 0) continue;
        for (const std::int32_t w : h.holders(static_cast<std::int32_t>(64 * k + j))) {
          const auto i = static_cast<std::size_t>(w);
          if (i / 64 < words.size() && (words[i / 64] >> (i % 64) & 1) != 0)
            literal |= std::uint64_t{1} << j;
        }
      }
      ASSERT_EQ(held[k], literal) << "seed " << seed << " block " << k;
      ASSERT_EQ(h.held_by_any(k, skip[k], words), literal) << "seed " << seed << " block " << k;
    }
  }
}

}  // namespace
}  // namespace strmorph
