// Word discovery: makes every stretch that the newest logged line shares with an older
// logged line a dictionary word, longest first. Windows are tried longest first and left to
// right, each found one splitting its region; the longest shared stretch ending at each unit
// of the line answers each window in O(1). Those are found with the log's block index: the
// line is matched against the suffix automaton of each block of older lines (O(line length)
// per block), and only the lines outside whole blocks (fewer than two blocks' worth) run
// through the line's own automaton. A block is built once when its lines are all logged and
// dropped when one has gone, so a line costs O(line length x blocks + loose lines' text +
// windows), plus building a block every so many lines.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"

namespace tsugihagi {

// Adds (or counts) each stretch of log line 0 found in another logged line. Does nothing
// with fewer than two lines.
void discover_words(strmorph::dic_t& d, conversation_log& log);

// The windows of discovery in their order: longest first, then left to right, each found
// one splitting its region. `occurs(w, n)` tells whether text[w .. w+n-1] occurs in an older
// line; `found(w, n)` is called for each window that does. REQUIRES: length >= 1.
template <typename Occurs, typename Found>
void discover_windows(std::int32_t length, Occurs occurs, Found found);

template <typename Occurs, typename Found>
void discover_windows(std::int32_t length, Occurs occurs, Found found) {
  struct item {
    std::int32_t window, region, window_length, region_length;
  };
  std::vector<item> stack{{0, 0, length, length}};
  while (!stack.empty()) {
    const auto [w, r, n, m] = stack.back();
    stack.pop_back();
    if (!occurs(w, n)) {
      if (w + n < r + m) {
        stack.push_back({w + 1, r, n, m});  // slide right
      } else if (n != 1) {
        stack.push_back({r, r, n - 1, m});  // one unit shorter, from the region's start
      }
      continue;
    }
    found(w, n);
    // The left part is pushed first, so the right part is searched first. Windows of the
    // left part as long as this one have all failed already.
    if (w != r) {
      const std::int32_t k = std::min(n - 1, w - r);
      if (k > 1) stack.push_back({r, r, k, w - r});
    }
    const std::int32_t right = (r + m) - (w + n);
    if (right >= 1) stack.push_back({w + n, w + n, right, right});
  }
}

}  // namespace tsugihagi
