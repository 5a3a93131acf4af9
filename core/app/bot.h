// The whole conversation state: dictionary, log, pattern history, random source and turn
// buffers, owned by one object. Front-ends hold one per run; tests build fresh ones and pass
// a fixed clock. Every learning and reply operation takes it by reference.
#pragma once

#include <cstdint>
#include <functional>

#include "core/app/turn_buffers.h"
#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"
#include "core/memory/pattern_learning.h"
#include "core/reply/random_source.h"

namespace tsugihagi {

// Seconds since 1970-01-01 UTC; only its low 32 bits seed the generator.
using clock_fn = std::function<std::int64_t()>;
std::int64_t system_clock_seconds();

struct bot {
  explicit bot(clock_fn clock = system_clock_seconds,
               std::int32_t entry_limit = strmorph::default_entry_limit);
  bot(const bot&) = delete;
  bot& operator=(const bot&) = delete;

  strmorph::dic_t dic;
  conversation_log log;
  pattern_history patterns;
  random_source rng;
  turn_buffers turn;
  clock_fn clock;
};

}  // namespace tsugihagi
