// Word discovery: makes every stretch that the newest logged line shares with an older
// logged line a dictionary word, longest first. Windows are tried longest first and left to
// right, each found one splitting its region; the longest shared stretch ending at each unit
// of the line answers each window in O(1). Those are found with the log's block index: the
// line is matched against the suffix automaton of each block of older lines (O(line length)
// per block), the oldest block leaving out its lines gone from the log. The newest block
// grows by each line logged and is frozen once full, so in the steady state a line costs
// O(line length x blocks + windows) and adding it to the growing block; lines outside every
// block (after the log is read from its file or edited, or past the memory budget) run
// through the line's own automaton until blocks cover them, one block built per line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
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

// The windows discover_windows finds when a window occurs iff longest[w+n-1] >= n, in the same
// order, each region scanned once instead of once per window length: the first window found
// in a region is the longest one that occurs, leftmost among those.
template <typename Found>
void discover_found_windows(std::span<const std::int32_t> longest, Found found);

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

namespace tsugihagi {

template <typename Found>
void discover_found_windows(std::span<const std::int32_t> longest, Found found) {
  struct region {
    std::int32_t start, length, window_limit;  // windows of at most window_limit units
  };
  const auto length = static_cast<std::int32_t>(longest.size());
  std::vector<region> stack;
  if (length >= 1) stack.push_back({0, length, length});
  while (!stack.empty()) {
    const auto [r, m, limit] = stack.back();
    stack.pop_back();
    // The longest window ending at e within the region is min(longest[e], e - r + 1).
    std::int32_t n = 0;
    std::int32_t end = 0;
    for (std::int32_t e = r; e < r + m; ++e) {
      const std::int32_t here = std::min({limit, longest[static_cast<std::size_t>(e)], e - r + 1});
      if (here > n) {
        n = here;
        end = e;
      }
    }
    if (n == 0) continue;
    const std::int32_t w = end - n + 1;
    found(w, n);
    if (w != r) {
      const std::int32_t k = std::min(n - 1, w - r);
      if (k > 1) stack.push_back({r, w - r, k});
    }
    const std::int32_t right = (r + m) - (w + n);
    if (right >= 1) stack.push_back({w + n, right, right});
  }
}

}  // namespace tsugihagi
