#include "core/io/node_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include <boost/pool/pool_alloc.hpp>

namespace tsugihagi {
namespace {

TEST(node_memory, gives_aligned_writable_blocks_that_do_not_overlap) {
  std::vector<std::pair<char*, std::size_t>> blocks;
  for (std::size_t bytes : {1u, 15u, 4096u, 4097u, 350000u}) {
    char* block = node_memory::malloc(bytes);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u) << bytes;
    std::memset(block, static_cast<int>(bytes & 0x7f), bytes);
    blocks.emplace_back(block, bytes);
  }
  for (const auto& [block, bytes] : blocks) {
    for (std::size_t i = 0; i < bytes; ++i)
      ASSERT_EQ(block[i], static_cast<char>(bytes & 0x7f)) << bytes << " " << i;
    node_memory::free(block);
  }
}

// A map whose nodes come from blocks of at most 4 nodes keeps its entries through growth over
// many blocks, erasures and reuse of freed nodes.
TEST(node_memory, backs_a_pooled_map_through_inserts_and_erases) {
  using alloc = boost::fast_pool_allocator<std::pair<const int, std::int64_t>, node_memory,
                                           boost::details::pool::default_mutex, 2, 4>;
  std::map<int, std::int64_t, std::less<>, alloc> pooled;
  std::map<int, std::int64_t> plain;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 500; ++i) {
      pooled[i * 7 % 503] += i;
      plain[i * 7 % 503] += i;
    }
    for (int i = round; i < 503; i += 3) {
      pooled.erase(i);
      plain.erase(i);
    }
  }
  ASSERT_EQ(pooled.size(), plain.size());
  EXPECT_TRUE(std::equal(pooled.begin(), pooled.end(), plain.begin(), plain.end()));
}

}  // namespace
}  // namespace tsugihagi
