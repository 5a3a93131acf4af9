#include "core/reply/reply_generation.h"

#include "core/reply/phrase_reply.h"
#include "core/reply/walk_reply.h"

namespace tsugihagi {

void generate_reply(const strmorph::dic_t& d, conversation_log& log, random_source& rng,
                    std::u16string& reply) {
  reply.clear();
  reply_sequence seq;
  if (!reply_from_phrases(d, log, rng, seq) && !reply_from_walk(d, log, rng, seq)) {
    reply = fallback_reply;
    return;
  }
  for (const std::int32_t id : seq) {
    if (strmorph::word_at(d, id) != nullptr) reply += strmorph::word_text(d, id);
  }
}

}  // namespace tsugihagi
