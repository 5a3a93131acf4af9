// Code page 932 through glibc's iconv ("CP932"), one character at a time where a run fails.
#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "core/app/cp932.h"

namespace tsugihagi {
namespace {

class converter {
 public:
  explicit converter(const char* charset) : cd_(iconv_open(charset, "UTF-16LE")) {}
  ~converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  converter(const converter&) = delete;
  converter& operator=(const converter&) = delete;

  bool available() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Appends the encoding of `units` to `out`; false (appending nothing) when any of them has
  // no code page 932 form.
  bool convert(std::u16string_view units, std::string& out) {
    if (cd_ == reinterpret_cast<iconv_t>(-1) || units.empty()) return units.empty();
    std::string in(units.size() * 2, '\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
      in[2 * i] = static_cast<char>(units[i] & 0xFF);
      in[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    std::string buffer(units.size() * 4 + 16, '\0');
    char* src = in.data();
    std::size_t src_left = in.size();
    char* dst = buffer.data();
    std::size_t dst_left = buffer.size();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    const std::size_t result = iconv(cd_, &src, &src_left, &dst, &dst_left);
    if (result == static_cast<std::size_t>(-1) || src_left != 0) return false;
    // A conversion that substitutes a character (result > 0) is not exact.
    if (result != 0) return false;
    out.append(buffer.data(), buffer.size() - dst_left);
    return true;
  }

 private:
  iconv_t cd_;
};

bool is_high_surrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// The number of units of the character at `i`: 2 for a surrogate pair, else 1.
std::size_t character_length(std::u16string_view text, std::size_t i) {
  return is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1]) ? 2 : 1;
}

void report_missing_converter(const char* charset) {
  static std::atomic<bool> reported{false};
  if (reported.exchange(true)) return;
  std::fprintf(stderr,
               "tsugihagi: the transcript converter is missing (iconv has no %s): log.txt "
               "keeps ASCII and writes \"?\" for every other character\n",
               charset);
}

std::string encode(converter& cv, const char* charset, std::u16string_view text) {
  std::string out;
  if (!cv.available()) {
    report_missing_converter(charset);
    for (std::size_t i = 0; i < text.size();) {
      const std::size_t n = character_length(text, i);
      out.push_back(n == 1 && text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
      i += n;
    }
    return out;
  }
  if (cv.convert(text, out)) return out;
  // Some character has no form: go character by character, '?' for each that fails.
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = character_length(text, i);
    if (!cv.convert(text.substr(i, n), out)) out.push_back('?');
    i += n;
  }
  return out;
}

}  // namespace

std::string encode_cp932(std::u16string_view text) {
  thread_local converter cv("CP932");
  return encode(cv, "CP932", text);
}

std::string encode_cp932_with(const char* charset, std::u16string_view text) {
  converter cv(charset);
  return encode(cv, charset, text);
}

}  // namespace tsugihagi
