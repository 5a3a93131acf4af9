// Pattern learning: the longest common subsequence of three or more words between the new
// line and the most recent earlier line that has one becomes a pattern idiom. Each pattern
// found is also kept in a short history that counts repeats. Costs an O(1) screen (see
// id_screen.h) per earlier line until one qualifies (up to 510 of them), and an LCS length for
// each line the screen lets through.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"

namespace tsugihagi {

inline constexpr std::size_t pattern_history_capacity = 512;
inline constexpr std::int32_t pattern_threshold = 1;  // register from this many sightings

struct pattern_candidate {
  std::vector<std::int32_t> ids;
  std::vector<std::uint8_t> flags;  // joined flags
  std::int32_t repeats = 0;         // sightings of an equal pattern before this one
  std::int32_t count() const { return static_cast<std::int32_t>(ids.size()); }
};

using pattern_history = std::deque<pattern_candidate>;  // newest first

void learn_patterns(strmorph::dic_t& d, conversation_log& log, pattern_history& history);

// Adds the pattern as an idiom (last flag 0) and links it from its words, unless present.
void register_pattern(strmorph::dic_t& d, const pattern_candidate& pattern);

}  // namespace tsugihagi
