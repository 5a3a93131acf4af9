#include "core/io/list_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/io/packed_list.h"
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
