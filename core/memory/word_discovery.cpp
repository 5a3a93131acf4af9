#include "core/memory/word_discovery.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tsugihagi {

void discover_words(strmorph::dic_t& d, conversation_log& log) {
  if (log.line_count() < 2 || log.line_texts[0].text.empty()) return;
  const std::u16string& line = log.line_texts[0].text;
  const char16_t* u = line.data();
  const auto length = static_cast<std::int32_t>(line.size());
  // A window occurs in an older line iff the longest shared stretch ending where the window
  // ends is at least as long as the window.
  log.finder.set_query(line);
  for (std::size_t i = 1; i < log.line_count(); ++i)
    log.finder.add_text(log.line_texts[i].text);
  std::vector<std::int32_t> longest;
  log.finder.longest_matches(longest);
  discover_windows(
      length,
      [&](std::int32_t w, std::int32_t n) {
        return longest[static_cast<std::size_t>(w + n - 1)] >= n;
      },
      [&](std::int32_t w, std::int32_t n) { strmorph::add_word(d, u + w, n); });
}

}  // namespace tsugihagi
