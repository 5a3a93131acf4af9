// Checks on the bytes and texts that cross the terminal: whether input is valid UTF-8 and,
// when it is not, whether it looks like Shift_JIS (code page 932); and the form of a reply
// that is safe to print on a terminal. All linear in the text's length.
#pragma once

#include <string>
#include <string_view>

namespace tsugihagi {

bool is_valid_utf8(std::string_view bytes);

// Whether the bytes read as Shift_JIS with at least one two-byte character: ASCII, half-width
// katakana (A1-DF) and lead bytes 81-9F or E0-FC each followed by a trail byte 40-7E or
// 80-FC. Only asked of bytes that are not valid UTF-8.
bool looks_like_shift_jis(std::string_view bytes);

// Whether the code point could drive a terminal: C0 controls except tab, DEL, C1 controls.
bool is_terminal_control(char32_t c);

// The text with every terminal control replaced by U+FFFD, so that nothing the bot learned
// can move the cursor, change colours or send the terminal commands.
std::u16string terminal_safe(std::u16string_view text);

}  // namespace tsugihagi
