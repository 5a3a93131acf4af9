#include "core/app/bot.h"

#include <chrono>

namespace tsugihagi {

std::int64_t system_clock_seconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bot::bot(clock_fn c, std::int32_t entry_limit) : dic(entry_limit), clock(std::move(c)) {}

}  // namespace tsugihagi
