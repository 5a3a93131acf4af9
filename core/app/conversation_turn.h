// One conversation turn: seed the generator at the first turn, learn from the line, answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/app/bot.h"

namespace tsugihagi {

// The line a turn accepts from a box's text: cut at the first NUL and to max_line_units.
std::u16string_view cut_line(std::u16string_view box_text);

// Learns from the line in bot.turn.input_line and returns the reply (also left in
// bot.turn.reply_buffer). REQUIRES: input_line holds 1..1022 units before its NUL.
std::u16string run_turn(bot& b);

// Copies `line` into input_line (cut as cut_line does) and runs the turn. Returns nothing,
// running no turn, when the cut line is empty.
std::optional<std::u16string> converse(bot& b, std::u16string_view line);

}  // namespace tsugihagi
