// A message from a gettext catalogue ("domain"), for the locale's messages (LC_MESSAGES);
// the English itself when the catalogue has none, or in a build without gettext
// (TSUGIHAGI_NLS unset). A lookup per message; nothing is held.
#pragma once

#ifdef TSUGIHAGI_NLS
#include <libintl.h>
#endif

namespace tsugihagi::catalogue {

inline const char* text(const char* domain, const char* english) {
#ifdef TSUGIHAGI_NLS
  return ::dgettext(domain, english);
#else
  (void)domain;
  return english;
#endif
}

// The form for `n` of a message with a count.
inline const char* plural(const char* domain, const char* one, const char* many, unsigned long n) {
#ifdef TSUGIHAGI_NLS
  return ::dngettext(domain, one, many, n);
#else
  (void)domain;
  return n == 1 ? one : many;
#endif
}

}  // namespace tsugihagi::catalogue
