// The answer to the newest log line: a phrase reply, else a random-walk reply, else the
// fixed fallback text, rendered by joining the words' texts.
#pragma once

#include <string>
#include <string_view>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"
#include "core/reply/random_source.h"

namespace tsugihagi {

inline constexpr std::u16string_view fallback_reply = u"（特に言う事はないみたいです...）";

// Replaces `reply` with the answer. REQUIRES: the log holds the line being answered at [0].
void generate_reply(const strmorph::dic_t& d, conversation_log& log, random_source& rng,
                    std::u16string& reply);

}  // namespace tsugihagi
