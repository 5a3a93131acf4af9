#include "frontends/cli/text_checks.h"

namespace tsugihagi {
namespace {

bool in(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t n;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (in(c, 0xC2, 0xDF)) {
      n = 1;
    } else if (in(c, 0xE0, 0xEF)) {
      n = 2;
      if (c == 0xE0) low = 0xA0;   // no overlong forms
      if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (in(c, 0xF0, 0xF4)) {
      n = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (i + n >= bytes.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(bytes[i + k]);
      if (k == 1 ? !in(t, low, high) : !in(t, 0x80, 0xBF)) return false;
    }
    i += n + 1;
  }
  return true;
}

bool looks_like_shift_jis(std::string_view bytes) {
  bool two_byte_seen = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80 || in(c, 0xA1, 0xDF)) continue;
    if (!in(c, 0x81, 0x9F) && !in(c, 0xE0, 0xFC)) return false;
    if (i + 1 >= bytes.size()) return false;
    const auto t = static_cast<unsigned char>(bytes[++i]);
    if (!in(t, 0x40, 0x7E) && !in(t, 0x80, 0xFC)) return false;
    two_byte_seen = true;
  }
  return two_byte_seen;
}

bool is_terminal_control(char32_t c) {
  return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F);
}

std::u16string terminal_safe(std::u16string_view text_in) {
  std::u16string text(text_in);
  for (char16_t& c : text) {
    if (is_terminal_control(c)) c = u'\uFFFD';
  }
  return text;
}

}  // namespace tsugihagi
