#include "core/dict/word_text_store.h"

#include <algorithm>
#include <cstring>

namespace strmorph {

char16_t* word_text_store::new_block(std::size_t units) {
  blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(units));
  char16_t* block = blocks_.back().get();
  const auto first = reinterpret_cast<std::uintptr_t>(block);
  const std::pair<std::uintptr_t, std::uintptr_t> span{first, first + units * sizeof(char16_t)};
  spans_.insert(std::upper_bound(spans_.begin(), spans_.end(), span), span);
  return block;
}

const char16_t* word_text_store::copy(std::u16string_view text) {
  char16_t* target = nullptr;
  if (text.size() > block_units) {
    target = new_block(text.size());
  } else {
    if (text.size() > left_) {
      next_ = new_block(block_units);
      left_ = block_units;
    }
    target = next_;
    next_ += text.size();
    left_ -= text.size();
  }
  std::memcpy(target, text.data(), text.size() * sizeof(char16_t));
  return target;
}

bool word_text_store::holds(const char16_t* text) const {
  const auto address = reinterpret_cast<std::uintptr_t>(text);
  // The last span starting at or before the address.
  const auto after =
      std::upper_bound(spans_.begin(), spans_.end(), address,
                       [](std::uintptr_t a, const std::pair<std::uintptr_t, std::uintptr_t>& span) {
                         return a < span.first;
                       });
  return after != spans_.begin() && address < std::prev(after)->second;
}

}  // namespace strmorph
