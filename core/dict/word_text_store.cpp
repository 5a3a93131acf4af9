#include "core/dict/word_text_store.h"

#include <algorithm>
#include <cstring>

namespace strmorph {

char16_t* word_text_store::new_block(std::size_t units, bool slotted) {
  // Slot blocks hold whole cells, so that a slot and its free-list link are 8-byte aligned.
  static_assert(alignof(char16_t*) <= cell_units * sizeof(char16_t));
  blocks_.push_back(std::unique_ptr<char16_t[]>(
      static_cast<char16_t*>(::operator new[](units * sizeof(char16_t)))));
  char16_t* block = blocks_.back().get();
  const auto first = reinterpret_cast<std::uintptr_t>(block);
  const span s{first, first + units * sizeof(char16_t), slotted};
  spans_.insert(std::upper_bound(spans_.begin(), spans_.end(), s), s);
  block_bytes_ += units * sizeof(char16_t);
  return block;
}

const char16_t* word_text_store::copy(std::u16string_view text) {
  char16_t* target = nullptr;
  if (text.size() > block_units) {
    target = new_block(text.size(), false);
  } else {
    if (text.size() > packed_left_) {
      packed_next_ = new_block(block_units, false);
      packed_left_ = block_units;
    }
    target = packed_next_;
    packed_next_ += text.size();
    packed_left_ -= text.size();
  }
  std::memcpy(target, text.data(), text.size() * sizeof(char16_t));
  return target;
}

const char16_t* word_text_store::take(std::u16string_view text) {
  const std::size_t cells = (text.size() + cell_units - 1) / cell_units;
  const std::size_t units = cells * cell_units;
  char16_t* target = nullptr;
  if (cells < free_.size() && free_[cells] != nullptr) {
    target = free_[cells];
    std::memcpy(&free_[cells], target, sizeof(char16_t*));
  } else if (units > block_units) {
    target = new_block(units, true);
  } else {
    if (units > slot_left_) {
      slot_next_ = new_block(block_units, true);
      slot_left_ = block_units;
    }
    target = slot_next_;
    slot_next_ += units;
    slot_left_ -= units;
  }
  std::memcpy(target, text.data(), text.size() * sizeof(char16_t));
  return target;
}

void word_text_store::release(const char16_t* text, std::size_t units) {
  const span* s = span_of(text);
  if (s == nullptr || !s->slotted || units == 0) return;
  const std::size_t cells = (units + cell_units - 1) / cell_units;
  if (cells >= free_.size()) free_.resize(cells + 1, nullptr);
  // The store owns the slot's units: only the pointer handed out is const.
  auto* slot = const_cast<char16_t*>(text);
  std::memcpy(slot, &free_[cells], sizeof(char16_t*));
  free_[cells] = slot;
}

const word_text_store::span* word_text_store::span_of(const char16_t* text) const {
  const auto address = reinterpret_cast<std::uintptr_t>(text);
  // The last span starting at or before the address.
  const auto after = std::upper_bound(spans_.begin(), spans_.end(), address,
                                      [](std::uintptr_t a, const span& s) { return a < s.first; });
  if (after == spans_.begin() || address >= std::prev(after)->end) return nullptr;
  return &*std::prev(after);
}

bool word_text_store::holds(const char16_t* text) const {
  return span_of(text) != nullptr;
}

}  // namespace strmorph
