// Splits a line into known dictionary words, longest first, coining a word where none is
// known. Windows are tried longest first and left to right, so the worst case is quadratic
// in the line's length; each window costs O(1): its hash from the line's prefix hashes
// (O(length) time and memory once per call) and, for most windows, one bit of the word
// index's filter.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "core/dict/dictionary.h"

namespace tsugihagi {

// Splits text[0 .. length-1] into words, filling `out` (position -> word id); the words tile
// the text. Returns false when the fall-back rule had to coin a word from a stretch of two or
// more units with no known word in it. REQUIRES: length >= 1.
bool segment(strmorph::dic_t& d, const char16_t* text, std::int32_t length,
             std::map<std::int32_t, std::int32_t>& out);

// The same words as (position, word id) pairs in order of position, into a vector whose
// memory is kept: with the calling thread's own buffers for the hashes and the search, a
// call allocates nothing once `out` and those have grown to the longest line seen.
// REQUIRES: length >= 1.
bool segment(strmorph::dic_t& d, const char16_t* text, std::int32_t length,
             std::vector<std::pair<std::int32_t, std::int32_t>>& out);

}  // namespace tsugihagi
