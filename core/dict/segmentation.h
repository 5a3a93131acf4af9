// Turns the newest line into dictionary words by comparing text only. discover_words makes
// every stretch the line shares with an older logged line a word, longest first; segment
// splits the line into known words, longest first. Both try windows longest first and left
// to right, so their worst case is quadratic in the line's length times the search cost.
#pragma once

#include <cstdint>
#include <map>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"

namespace tsugihagi {

// Adds (or counts) each stretch of log line 0 found in another logged line. Does nothing
// with fewer than two lines.
void discover_words(strmorph::dic_t& d, conversation_log& log);

// Splits text[0 .. length-1] into words, filling `out` (position -> word id); the words tile
// the text. Returns false when the fall-back rule had to coin a word from a stretch of two or
// more units with no known word in it. REQUIRES: length >= 1.
bool segment(strmorph::dic_t& d, const char16_t* text, std::int32_t length,
             std::map<std::int32_t, std::int32_t>& out);

}  // namespace tsugihagi
