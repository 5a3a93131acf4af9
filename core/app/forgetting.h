// Forgetting on request: every word whose text contains a given text goes, as pruning removes
// a word (its lists, every phrase that holds it, its id freed for the next new word), and so
// does every log line that contains it, so that the next lines do not find it again at once.
// Nothing else changes; the text can be learned again later like any new text.
// Costs one pass over the words and the log lines, and a removal per word forgotten.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/bot.h"

namespace tsugihagi {

struct forget_report {
  std::vector<std::u16string> words;  // the words removed, in the dictionary's order
  std::int64_t phrases = 0;           // phrases removed with them
  std::int64_t log_lines = 0;         // log lines removed
};

// Removes what holds `text`, or with `dry_run` only says what would go.
// REQUIRES: text is not empty.
forget_report forget_text(bot& b, std::u16string_view text, bool dry_run = false);

}  // namespace tsugihagi
