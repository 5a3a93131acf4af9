// Checks of what must hold for a bot after any sequence of turns and loads; each returns
// a description of the first violation found, or an empty string.
#pragma once

#include <string>

#include "core/app/bot.h"

namespace tsugihagi::testing {

// idmap/idiomidmap point at their entries, free ids have empty slots, every id in every
// list (boundary aside) names a live word or idiom, each `idioms` list holds each idiom once
// and exactly the idioms containing the word, and `next`/`prev` mirror each other.
std::string dictionary_violation(const strmorph::dic_t& d);

// Every log line is tiled by its words' texts (for lines whose words are all still live).
std::string log_violation(const bot& b);

// Field-by-field equality of two dictionaries and logs (lists compared as bytes).
std::string state_difference(const bot& a, const bot& b);

}  // namespace tsugihagi::testing
