// UTF-8 <-> UTF-16 for text that crosses the terminal and text files. Invalid UTF-8 decodes
// to U+FFFD (one per maximal invalid subsequence, as the Unicode standard recommends); a lone
// surrogate encodes as U+FFFD. Linear time.
#pragma once

#include <string>
#include <string_view>

namespace tsugihagi {

std::u16string utf8_to_utf16(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view utf16);

}  // namespace tsugihagi
