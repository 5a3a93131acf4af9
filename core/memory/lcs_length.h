// The length of a longest common subsequence against one fixed sequence, bit-parallel: each
// element of the other sequence costs a probe of a few slots of a small open-addressing table
// of the fixed sequence's ids (built in O(n)), and, when it occurs there, O(n / 64) word
// operations. A fixed sequence of up to 64 ids (one word) is compared without a branch per
// element, carries or any allocation; a longer one reuses a scratch row kept in the object.
// Used to find which earlier line shares enough words before the full table is computed for
// that line alone.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tsugihagi {

class lcs_length_against {
 public:
  explicit lcs_length_against(std::span<const std::int32_t> fixed);
  lcs_length_against(const lcs_length_against&) = delete;
  lcs_length_against& operator=(const lcs_length_against&) = delete;
  ~lcs_length_against() = default;

  // The length of a longest common subsequence of the fixed sequence and `other`. Not safe to
  // call from two threads at once on one object (the scratch row is shared).
  std::int32_t length(std::span<const std::int32_t> other) const;

 private:
  struct slot {
    std::uint64_t bits = 0;  // one word: the positions where `id` stands in the fixed sequence
    std::int32_t id = 0;
    std::uint32_t row = 0;  // 0: empty; else 1 + the id's row in rows_ (several words)
  };
  const slot* find(std::int32_t id) const;
  std::int32_t length_in_words(std::span<const std::int32_t> other) const;

  std::size_t n_;
  std::size_t words_;
  std::uint32_t shift_;              // 32 - log2(the number of home slots)
  std::size_t probes_ = 0;           // every id stands within this many slots of its home slot
  std::vector<slot> slots_;          // the home slots, at most a quarter taken, then overflow
  std::vector<std::uint64_t> rows_;  // words_ words per distinct id, when words_ > 1
  mutable std::vector<std::uint64_t> v_;
};

}  // namespace tsugihagi
