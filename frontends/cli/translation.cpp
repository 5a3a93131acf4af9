#include "frontends/cli/translation.h"

#include "po/catalogue.h"

#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <system_error>

#ifdef TSUGIHAGI_NLS
#include <libintl.h>
#endif

namespace tsugihagi {
namespace {

constexpr const char* domain = "tsugihagi";

#ifdef TSUGIHAGI_NLS

// The catalogue's folder for the program at `exe`: the build tree's, or the installed one.
std::filesystem::path locale_folder(const std::filesystem::path& exe) {
  const std::filesystem::path folder = exe.parent_path();
  if (folder == TSUGIHAGI_BUILD_PROGRAM_DIR) return TSUGIHAGI_BUILD_LOCALE_DIR;
  return (folder / TSUGIHAGI_PROGRAM_TO_LOCALE).lexically_normal();
}
#endif

}  // namespace

void start_translation() {
  std::setlocale(LC_MESSAGES, "");
  std::setlocale(LC_CTYPE, "");
  // The bot's replies are UTF-8 whatever the locale, and so are the system's own messages.
  if (std::strcmp(::nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
#ifdef TSUGIHAGI_NLS
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) ::bindtextdomain(domain, locale_folder(exe).c_str());
  ::bind_textdomain_codeset(domain, "UTF-8");
  ::textdomain(domain);
#endif
}

const char* tr(const char* english) {
  return catalogue::text(domain, english);
}

const char* trn(const char* one, const char* many, unsigned long n) {
  return catalogue::plural(domain, one, many, n);
}

std::string formatted(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

int display_width(std::string_view utf8) {
  // wcwidth() answers for the locale's characters: a UTF-8 one, whatever the user's.
  static const locale_t utf8_locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  const locale_t previous = ::uselocale(utf8_locale != nullptr ? utf8_locale : LC_GLOBAL_LOCALE);
  std::mbstate_t state{};
  int width = 0;
  const char* p = utf8.data();
  std::size_t left = utf8.size();
  while (left > 0) {
    wchar_t c;
    std::size_t n = std::mbrtowc(&c, p, left, &state);
    if (n == 0) n = 1;
    if (n > left) {  // an invalid byte: shown as one U+FFFD
      state = {};
      n = 1;
      width += 1;
    } else {
      const int w = ::wcwidth(c);
      width += w > 0 ? w : 0;
    }
    p += n;
    left -= n;
  }
  ::uselocale(previous);
  return width;
}

std::string translated_core_message(const std::string& message) {
  constexpr std::string_view unwritten = " could not be written";
  if (message.ends_with(unwritten)) {
    return formatted(tr("%s could not be written"),
                     message.substr(0, message.size() - unwritten.size()).c_str());
  }
  return message;
}

}  // namespace tsugihagi
