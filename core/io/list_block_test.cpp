#include "core/io/list_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/io/packed_list.h"
#include "core/io/pair_counting.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;

#if defined(__linux__)
constexpr bool carves = true;
#else
constexpr bool carves = false;
#endif

TEST(list_arena, carves_distinct_blocks_whose_chunk_lives_until_the_last_one_goes) {
  const std::size_t before = live_list_chunks();
  std::vector<list_block> blocks;
  {
    list_arena arena;
    for (std::size_t n = 1; n <= 300; ++n) {
      blocks.push_back(arena.take(n, 100000));
      EXPECT_EQ(blocks.back().carved(), carves) << n;
      std::memset(blocks.back().get(), static_cast<int>(n), n);
    }
    EXPECT_EQ(live_list_chunks(), before + (carves ? 1 : 0));
  }
  // Every block kept its own bytes: none overlaps another.
  for (std::size_t n = 1; n <= blocks.size(); ++n) {
    for (std::size_t i = 0; i < n; ++i)
      ASSERT_EQ(blocks[n - 1][i], static_cast<std::uint8_t>(n)) << n << " " << i;
  }
  // Moving a block keeps the chunk; only the last block let go frees it.
  list_block moved = std::move(blocks.front());
  EXPECT_TRUE(blocks.front() == nullptr);
  blocks.erase(blocks.begin());
  blocks.clear();
  EXPECT_EQ(live_list_chunks(), before + (carves ? 1 : 0));
  moved = list_block(std::make_unique_for_overwrite<std::uint8_t[]>(3));
  EXPECT_FALSE(moved.carved());
  EXPECT_EQ(live_list_chunks(), before);
}

TEST(list_arena, gives_long_blocks_their_own_and_starts_a_chunk_when_one_is_full) {
  const std::size_t before = live_list_chunks();
  list_arena arena;
  const list_block long_one = arena.take(list_arena::carve_max_bytes + 1);
  EXPECT_FALSE(long_one.carved());
  EXPECT_EQ(live_list_chunks(), before);
  // A chunk sized for the first block has no room for the second.
  list_block first = arena.take(40000, 0);
  list_block second = arena.take(40000, 0);
  if (!carves) return;
  EXPECT_TRUE(first.carved());
  EXPECT_TRUE(second.carved());
  EXPECT_EQ(live_list_chunks(), before + 2);
  first.reset();  // the first chunk has no block left, and the arena has moved on
  EXPECT_EQ(live_list_chunks(), before + 1);
}

// The pool's classes: every length from 1 to pool_max_bytes gets a class at least as long,
// a multiple of 4, at most a sixteenth (3 bytes up to 64, 7 up to 128) longer,
// never shorter than the class of a shorter length.
TEST(list_pool, classes_fit_each_length_closely) {
  std::size_t previous = 0;
  for (std::size_t n = 1; n <= pool_max_bytes; ++n) {
    const std::size_t bytes = pooled_class_bytes(n);
    ASSERT_GE(bytes, n) << n;
    ASSERT_EQ(bytes % 4, 0u) << n;
    ASSERT_LE(bytes, n + (n <= 64 ? 3 : std::max<std::size_t>(7, n / 16))) << n;
    ASSERT_GE(bytes, previous) << n;
    previous = bytes;
  }
  EXPECT_EQ(pooled_class_bytes(pool_max_bytes), pool_max_bytes);
}

// Blocks taken and let go in a random order against a copy of what each should hold: no
// block overlaps another or a block let go and taken again, and every block goes back. A
// quarter of them are of 4 bytes or less, whose class links its free blocks otherwise.
TEST(list_pool, blocks_keep_their_bytes_while_others_come_and_go) {
  std::mt19937 rng(11);
  const std::size_t before = live_pooled_blocks();
  struct held {
    list_block block;
    std::vector<std::uint8_t> expected;
  };
  std::vector<held> blocks;
  for (int step = 0; step < 20000; ++step) {
    if (!blocks.empty() && rng() % 3 == 0) {
      const std::size_t k = rng() % blocks.size();
      const held& h = blocks[k];
      ASSERT_EQ(std::memcmp(h.block.get(), h.expected.data(), h.expected.size()), 0) << step;
      blocks[k] = std::move(blocks.back());
      blocks.pop_back();
      continue;
    }
    const std::size_t n = rng() % 4 == 0   ? 1 + rng() % 4
                          : rng() % 3 == 0 ? 1 + rng() % 6000
                                           : 1 + rng() % 200;
    std::size_t granted = 0;
    held h{make_list_block(n, granted), {}};
    ASSERT_GE(granted, n);
    ASSERT_EQ(h.block.pooled(), list_blocks_pooled && n <= pool_max_bytes) << n;
    if (h.block.pooled()) {
      ASSERT_EQ(granted, pooled_class_bytes(n)) << n;
    }
    h.expected.resize(granted);
    for (std::uint8_t& b : h.expected)
      b = static_cast<std::uint8_t>(rng());
    std::memcpy(h.block.get(), h.expected.data(), granted);
    blocks.push_back(std::move(h));
  }
  for (const held& h : blocks)
    ASSERT_EQ(std::memcmp(h.block.get(), h.expected.data(), h.expected.size()), 0);
  blocks.clear();
  EXPECT_EQ(live_pooled_blocks(), before);
}

// The bytes of a list, and the list carved from an arena with the same bytes.
packed_list carved_copy(list_arena& arena, const packed_list& list) {
  packed_list copy;
  if (list.size == 0) return copy;
  copy.data = arena.take(static_cast<std::size_t>(list.size));
  std::memcpy(copy.data.get(), list.data.get(), static_cast<std::size_t>(list.size));
  copy.size = copy.capacity = list.size;
  return copy;
}

bytes bytes_of(const packed_list& list) {
  return {list.bytes().begin(), list.bytes().end()};
}

// The in-place edits and the moves to a block of its own that growing makes.
TEST(packed_list, carved_from_an_arena_edits_to_the_same_bytes_as_one_with_its_own_block) {
  std::mt19937 rng(7);
  const std::size_t before = live_list_chunks();
  for (int round = 0; round < 200; ++round) {
    list_arena arena;
    std::vector<id_count> pairs(rng() % 12);
    std::vector<std::int32_t> ids(rng() % 12);
    for (auto& p : pairs)
      p = {static_cast<std::int32_t>(rng() % 6), static_cast<std::int32_t>(rng() % 300)};
    for (auto& x : ids)
      x = static_cast<std::int32_t>(rng() % 6);
    packed_list own_pairs = pack_pairs(pairs);
    packed_list own_ids = pack_ids(ids);
    packed_list carved_pairs = carved_copy(arena, own_pairs);
    packed_list carved_ids = carved_copy(arena, own_ids);
    for (int step = 0; step < 30; ++step) {
      const auto x = static_cast<std::int32_t>(rng() % 8);
      switch (rng() % 5) {
        case 0:
          count_in_pair(own_pairs, x);
          count_in_pair(carved_pairs, x);
          break;
        case 1: {
          const std::vector<std::int32_t> xs{x, x, static_cast<std::int32_t>(rng() % 8)};
          count_in_pairs(own_pairs, xs);
          count_in_pairs(carved_pairs, xs);
          break;
        }
        case 2:
          ASSERT_EQ(erase_first_pair(own_pairs, x), erase_first_pair(carved_pairs, x));
          break;
        case 3:
          add_once_id(own_ids, x);
          add_once_id(carved_ids, x);
          break;
        default:
          ASSERT_EQ(erase_first_id(own_ids, x), erase_first_id(carved_ids, x));
      }
      ASSERT_EQ(bytes_of(own_pairs), bytes_of(carved_pairs)) << round << " " << step;
      ASSERT_EQ(bytes_of(own_ids), bytes_of(carved_ids)) << round << " " << step;
      ASSERT_EQ(first_pair_of_each_count(carved_pairs).size(),
                first_pair_of_each_count(own_pairs).size());
    }
  }
  EXPECT_EQ(live_list_chunks(), before);
}

}  // namespace
}  // namespace tsugihagi
