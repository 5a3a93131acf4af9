#include "core/app/conversation_turn.h"

#include <algorithm>

#include "core/memory/learning.h"
#include "core/reply/reply_generation.h"

namespace tsugihagi {

std::u16string_view cut_line(std::u16string_view box_text) {
  const std::u16string_view line = box_text.substr(0, box_text.find(u'\0'));
  return line.substr(0, std::min<std::size_t>(line.size(), max_line_units));
}

std::u16string run_turn(bot& b) {
  if (!b.rng.seeded) seed_random(b.rng, static_cast<std::uint32_t>(b.clock()));
  const std::u16string_view line(b.turn.input_line.data());
  learn_line(b.dic, b.log, b.patterns, line);
  b.turn.reply_buffer.clear();
  generate_reply(b.dic, b.log, b.rng, b.turn.reply_buffer);
  return b.turn.reply_buffer;
}

std::optional<std::u16string> converse(bot& b, std::u16string_view text) {
  const std::u16string_view line = cut_line(text);
  std::fill(b.turn.input_line.begin(), b.turn.input_line.end(), u'\0');
  std::copy(line.begin(), line.end(), b.turn.input_line.begin());
  if (line.empty()) return std::nullopt;
  return run_turn(b);
}

}  // namespace tsugihagi
