// The texts of the words a load inserts, copied into shared blocks instead of one allocation
// each: a load of 80,000 words then costs some twenty allocations for their texts instead of
// 80,000, and each text its own units (a short text from malloc takes 32 bytes). Copying is
// O(length) and telling whether a text is the store's O(log blocks). A text stays until the
// store goes, also when its word is removed before: its units are not reused. Not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace strmorph {

class word_text_store {
 public:
  // Units in a block; a longer text gets a block of its own.
  static constexpr std::size_t block_units = 32 * 1024;

  // A copy of `text` held by the store. REQUIRES: !text.empty().
  const char16_t* copy(std::u16string_view text);
  // Whether `text` points into one of the store's blocks.
  bool holds(const char16_t* text) const;

 private:
  // Invariant: spans_ holds each block's [first unit, one past its last unit) as addresses,
  // sorted by the first; blocks_ owns the blocks; [next_, next_ + left_) is the current
  // block's unused rest.
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::vector<std::pair<std::uintptr_t, std::uintptr_t>> spans_;
  char16_t* next_ = nullptr;
  std::size_t left_ = 0;

  char16_t* new_block(std::size_t units);
};

}  // namespace strmorph
