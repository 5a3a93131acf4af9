// The length of a longest common subsequence against one fixed sequence, bit-parallel: each
// element of the other sequence costs O(n / 64) word operations, so a sequence of n ids can be
// compared with many others far faster than by filling an n x m table. Used to find which
// earlier line shares enough words before the full table is computed for that line alone.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace tsugihagi {

class lcs_length_against {
 public:
  explicit lcs_length_against(std::span<const std::int32_t> fixed);

  // The length of a longest common subsequence of the fixed sequence and `other`.
  std::int32_t length(std::span<const std::int32_t> other) const;

 private:
  std::size_t n_;
  std::size_t words_;
  // For each id of the fixed sequence, the bit set of the positions where it stands.
  std::unordered_map<std::int32_t, std::vector<std::uint64_t>> positions_;
};

}  // namespace tsugihagi
