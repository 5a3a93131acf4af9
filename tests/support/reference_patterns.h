// Pattern learning as designed, kept as the reference for the screened form in the core:
// the full common-subsequence table against every earlier line until one shares three words.
#pragma once

#include <cstddef>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"
#include "core/memory/pattern_learning.h"

namespace tsugihagi::reference {

// Learns as learn_patterns does and returns the index of the log line the pattern came from
// (0 when no line gave one).
std::size_t learn_patterns(strmorph::dic_t& d, conversation_log& log, pattern_history& history);

}  // namespace tsugihagi::reference
