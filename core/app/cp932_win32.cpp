// Code page 932 on Windows: WideCharToMultiByte without best-fit mappings. Text that converts
// cleanly goes in one call; otherwise each character is converted alone so that only the
// characters without a code page 932 form become '?'.
#include <windows.h>

#include <string>

#include "core/app/cp932.h"

namespace tsugihagi {
namespace {

constexpr UINT cp932 = 932;

bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Appends the code page 932 bytes of `text` to `out`; false (and nothing appended) when some
// character has no exact form.
bool append_exact(std::u16string_view text, std::string& out) {
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  BOOL used_default = FALSE;
  const int needed = WideCharToMultiByte(cp932, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                         nullptr, &used_default);
  if (needed <= 0 || used_default) return false;
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(needed));
  const int written = WideCharToMultiByte(cp932, WC_NO_BEST_FIT_CHARS, wide, length,
                                          out.data() + start, needed, nullptr, &used_default);
  if (written != needed || used_default) {
    out.resize(start);
    return false;
  }
  return true;
}

}  // namespace

std::string encode_cp932(std::u16string_view text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected on Windows");
  std::string out;
  if (text.empty() || append_exact(text, out)) return out;

  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t units = 1;
    if (is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      units = 2;
    }
    const bool surrogate = is_high_surrogate(text[i]) || is_low_surrogate(text[i]);
    if (surrogate || !append_exact(text.substr(i, units), out)) out.push_back('?');
    i += units;
  }
  return out;
}

}  // namespace tsugihagi
