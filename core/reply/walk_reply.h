// The second reply strategy: a random walk over learned word-to-word transitions, from a
// start word near the newest line, until an end marker is drawn or twice the line's word
// count is reached, then closing words until one that can end a line.
#pragma once

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"
#include "core/reply/random_source.h"
#include "core/reply/word_tests.h"

namespace tsugihagi {

// Fills `seq` and returns true; false, with `seq` empty, when no start word exists anywhere
// in the log. REQUIRES: seq is empty.
bool reply_from_walk(const strmorph::dic_t& d, const conversation_log& log, random_source& rng,
                     reply_sequence& seq);

}  // namespace tsugihagi
