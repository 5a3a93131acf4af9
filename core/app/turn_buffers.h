// The buffers a conversation turn passes through: the submitted line and the reply.
#pragma once

#include <array>
#include <string>

namespace tsugihagi {

inline constexpr int max_line_units = 1022;  // longest line a turn accepts, in UTF-16 units

struct turn_buffers {
  // The current line, NUL-terminated; at most max_line_units units before the terminator.
  std::array<char16_t, max_line_units + 1> input_line{};
  std::u16string reply_buffer;
};

}  // namespace tsugihagi
