// Finds the first occurrence of one pattern in many texts with Sunday's quick-search rule:
// a shift table with one entry per possible unit (65,536 for UTF-16) is allocated once, and
// find skips up to m + 1 units per mismatch. set_pattern costs O(m): it clears only the
// entries the previous pattern set, which leaves the table as a full clear would.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

namespace tsugihagi {

template <typename Unit>
class quick_search {
  static_assert(std::is_unsigned_v<Unit> || std::is_same_v<Unit, char16_t>);

 public:
  static constexpr std::size_t alphabet = std::size_t{1} << (8 * sizeof(Unit));

  quick_search() : shift_table_(alphabet, 0) {}
  quick_search(const quick_search&) = delete;
  quick_search& operator=(const quick_search&) = delete;
  ~quick_search() = default;

  // Prepares a search for the m units at `pattern`, which the caller keeps alive.
  // REQUIRES: m >= 1.
  void set_pattern(const Unit* pattern, std::int32_t m) {
    for (const Unit c : set_units_)
      shift_table_[index(c)] = 0;
    set_units_.clear();
    for (std::int32_t p = m - 1; p >= 0; --p) {
      std::int32_t& entry = shift_table_[index(pattern[p])];
      if (entry == 0) {
        entry = p + 1;
        set_units_.push_back(pattern[p]);
      }
    }
    pattern_ = pattern;
    length_ = m;
  }

  // The position of the leftmost occurrence in text[0 .. length-1], or -1.
  std::int32_t find(const Unit* text, std::int32_t length) const {
    const std::int32_t m = length_;
    if (length < m) return -1;
    if (length == m) return matches_at(text, 0) ? 0 : -1;
    std::int32_t pos = 0;
    for (;;) {
      if (matches_at(text, pos)) return pos;
      if (pos + m == length) return -1;
      pos += m + 1 - shift_table_[index(text[pos + m])];
      if (pos + m > length) return -1;
    }
  }

  std::int32_t shift_entry(Unit c) const { return shift_table_[index(c)]; }

 private:
  static std::size_t index(Unit c) { return static_cast<std::size_t>(c); }
  bool matches_at(const Unit* text, std::int32_t pos) const {
    for (std::int32_t k = 0; k < length_; ++k) {
      if (text[pos + k] != pattern_[k]) return false;
    }
    return true;
  }

  std::vector<std::int32_t> shift_table_;
  std::vector<Unit> set_units_;  // the units whose entries are not 0
  const Unit* pattern_ = nullptr;
  std::int32_t length_ = 0;
};

}  // namespace tsugihagi
