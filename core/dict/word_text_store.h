// The texts of the dictionary's words, copied into shared blocks of block_units instead of one
// allocation each (a short text from malloc takes 32 bytes). Two kinds of copies:
// - copy(): the texts of a load, packed unit after unit, some twenty allocations for 80,000
//   words. A packed text is never reused: it stays until the store goes, also when its word is
//   removed before, so that they hold at most what the load copied.
// - take(): the text of a word taught, in a slot of whole 8-byte cells (4 units each, some 3
//   bytes of rounding a word), which release() puts on its size's free list and the next
//   take() of that size reuses: slots never outnumber the most texts of each size alive at
//   once, whatever the churn of words.
// Copying is O(length); telling a text's kind (holds, release) is O(log blocks). Not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace strmorph {

class word_text_store {
 public:
  // Units in a block; a longer text gets a block of its own.
  static constexpr std::size_t block_units = 32 * 1024;
  // Units in a slot's cell: a slot of a free list holds its next one in its first cell.
  static constexpr std::size_t cell_units = 4;

  // A packed copy of `text` held by the store. REQUIRES: !text.empty().
  const char16_t* copy(std::u16string_view text);
  // A copy of `text` in a slot, reused from the free list of its size if there is one.
  // REQUIRES: !text.empty().
  const char16_t* take(std::u16string_view text);
  // Gives back a copy of `units` units: a slot joins its size's free list, a packed text stays.
  // REQUIRES: text came from copy() or take() of a text of `units` units and was not given back
  // yet; no one reads it again.
  void release(const char16_t* text, std::size_t units);
  // Whether `text` points into one of the store's blocks.
  bool holds(const char16_t* text) const;
  // How many bytes the store's blocks take: for tests and measures.
  std::size_t block_bytes() const { return block_bytes_; }

 private:
  struct span {
    std::uintptr_t first;  // the block's first unit, as an address
    std::uintptr_t end;    // one past its last unit
    bool slotted;          // whether the block is cut into slots (take) or packed (copy)
    friend bool operator<(const span& a, const span& b) { return a.first < b.first; }
  };
  // Invariant: spans_ holds each block's span, sorted by first; blocks_ owns the blocks;
  // [packed_next_, + packed_left_) is the unused rest of the newest packed block and
  // [slot_next_, + slot_left_) that of the newest slot block, each a whole number of cells.
  // free_[c] heads a list of free slots of c cells, each naming the next in its first cell
  // (null: the end); a slot is on at most one list and then held by no word.
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::vector<span> spans_;
  char16_t* packed_next_ = nullptr;
  std::size_t packed_left_ = 0;
  char16_t* slot_next_ = nullptr;
  std::size_t slot_left_ = 0;
  std::vector<char16_t*> free_;
  std::size_t block_bytes_ = 0;

  char16_t* new_block(std::size_t units, bool slotted);
  const span* span_of(const char16_t* text) const;
};

}  // namespace strmorph
