// Code page 932 (Japanese Shift_JIS as Windows defines it) for the transcript. The platform
// seam: cp932_posix.cpp converts with glibc's iconv, cp932_win32.cpp with
// WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS).
#pragma once

#include <string>
#include <string_view>

namespace tsugihagi {

// Encodes UTF-16 text as code page 932 bytes. A character with no code page 932 form becomes
// the single byte '?': a surrogate pair is one character, and so is a lone surrogate.
// Every other unit, line feeds included, converts as the code page says.
std::string encode_cp932(std::u16string_view text);

#ifndef _WIN32
// encode_cp932 through the iconv converter named `charset`. When the system has no such
// converter (a minimal install without its modules), ASCII is written as it is, every other
// character becomes '?', and standard error says once per process that the transcript
// converter is missing. Tests name a converter that does not exist.
std::string encode_cp932_with(const char* charset, std::u16string_view text);
#endif

}  // namespace tsugihagi
