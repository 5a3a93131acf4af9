// What one input line teaches: the line enters the log, shared stretches become words, the
// line is split into words (and becomes a whole-line idiom when every word was known), its
// words' next/prev/cooc statistics are counted, cooc links are made with the previous line,
// and a shared pattern may become an idiom. The cooc sightings of a line (quadratic in its
// number of words) are gathered per list first and then counted, one pass per list.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/dict/dictionary.h"
#include "core/io/packed_list.h"
#include "core/memory/conversation_log.h"
#include "core/memory/pattern_learning.h"

namespace tsugihagi {

// Learns from `line` (its units up to the first NUL). REQUIRES: 1..1022 units before it.
void learn_line(strmorph::dic_t& d, conversation_log& log, pattern_history& patterns,
                std::u16string_view line);

// The steps of learn_line, in their order after add_line and discover_words.
void store_line_words(strmorph::dic_t& d, conversation_log& log);
void learn_word_links(strmorph::dic_t& d, std::span<const std::int32_t> words);
void learn_turn_links(strmorph::dic_t& d, const conversation_log& log);

// Counts a sighting of x: +1 on the first pair with id x, else (x, 0) appended.
void count_in(std::vector<id_count>& list, std::int32_t x);
// Appends x unless the list holds it.
void add_once(std::vector<std::int32_t>& list, std::int32_t x);

}  // namespace tsugihagi
