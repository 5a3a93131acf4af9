// A word's four lists as plain arrays, for tools that show or export what the bot knows.
// Each call decodes the list into a new array: O(length of the list). Learning and replies
// never use these; they go through the dictionary's own walkers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dict/dictionary.h"

namespace strmorph {

// (following word or boundary_id, repeats), in stored order.
std::vector<id_count> next_words(const wordinfo_t& w);
// Preceding words, boundary_id for a line start.
std::vector<std::int32_t> previous_words(const wordinfo_t& w);
// (word seen in the same or an adjacent line, repeats).
std::vector<id_count> cooccurring_words(const wordinfo_t& w);
// Ids of the idioms containing the word.
std::vector<std::int32_t> containing_idioms(const wordinfo_t& w);

}  // namespace strmorph
