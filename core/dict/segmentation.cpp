#include "core/dict/segmentation.h"

#include <algorithm>
#include <vector>

#include "core/dict/text_hash.h"

namespace tsugihagi {
namespace {

// A candidate stretch [window, window + window_length) inside the region being searched.
struct work_item {
  std::int32_t window;
  std::int32_t region;
  std::int32_t window_length;
  std::int32_t region_length;
};

}  // namespace

bool segment(strmorph::dic_t& d, const char16_t* u, std::int32_t length,
             std::map<std::int32_t, std::int32_t>& out) {
  std::vector<std::pair<std::int32_t, std::int32_t>> words;
  const bool all_known = segment(d, u, length, words);
  out.clear();
  out.insert(words.begin(), words.end());
  return all_known;
}

bool segment(strmorph::dic_t& d, const char16_t* u, std::int32_t length,
             std::vector<std::pair<std::int32_t, std::int32_t>>& out) {
  out.clear();
  bool all_known = true;
  // Every window is hashed in O(1) from the line's prefix hashes.
  thread_local line_hashes hashes;
  prepare_line_hashes(hashes, {u, static_cast<std::size_t>(length)});
  const std::vector<std::int32_t>& words_of_length = d.words_of_length;
  const auto no_word_has = [&words_of_length](std::int32_t n) {
    const auto units = static_cast<std::size_t>(n);
    return units >= words_of_length.size() || words_of_length[units] == 0;
  };
  thread_local std::vector<work_item> stack;
  stack.clear();
  stack.push_back({0, 0, length, length});
  while (!stack.empty()) {
    auto [w, r, n, m] = stack.back();
    stack.pop_back();
    if (n < 2) {
      out.emplace_back(r, strmorph::add_word(d, u + r, m).first->second.id);
      continue;
    }
    // The region's windows from (w, n) on, each length left to right, until one is a word.
    // Sliding right or to a shorter window would push the item that is taken next, so the
    // loops do it in place; nothing is added to the dictionary meanwhile.
    const strmorph::wordmap_t::value_type* known = nullptr;
    while (true) {
      const std::int32_t last = r + m - n;
      if (!no_word_has(n)) {
        for (;; ++w) {
          if (strmorph::may_start_word(d, u + w, n)) {
            known = strmorph::find_word(
                d, u + w, n,
                window_hash(hashes, static_cast<std::size_t>(w), static_cast<std::size_t>(n)));
          }
          if (known != nullptr || w == last) break;
        }
        if (known != nullptr) break;
      }
      if (n == 2) break;
      w = r;
      --n;
    }
    if (known == nullptr) {
      // The fall-back rule: no window of two or more units is a word.
      out.emplace_back(r, strmorph::add_word(d, u + r, m).first->second.id);
      all_known = false;
      continue;
    }
    out.emplace_back(w, known->second.id);
    if (w != r) {
      const std::int32_t left = w - r;
      stack.push_back({r, r, std::min(n - 1, left), left});
    }
    const std::int32_t right = (r + m) - (w + n);
    if (right > 0) stack.push_back({w + n, w + n, right, right});
  }
  // Found right part first, each region's word before its parts' words: rarely in order.
  std::sort(out.begin(), out.end());
  return all_known;
}

}  // namespace tsugihagi
