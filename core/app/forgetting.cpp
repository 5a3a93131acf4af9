#include "core/app/forgetting.h"

#include <algorithm>
#include <set>

namespace tsugihagi {

forget_report forget_text(bot& b, std::u16string_view text, bool dry_run) {
  strmorph::dic_t& d = b.dic;
  forget_report report;
  std::vector<std::int32_t> ids;
  for (const auto& entry : d.wordmap) {
    const std::u16string_view word = strmorph::word_text(d, entry.second.id);
    if (word.find(text) == std::u16string_view::npos) continue;
    ids.push_back(entry.second.id);
    report.words.emplace_back(word);
  }
  const std::size_t phrases_before = d.idiomset.size();
  if (dry_run) {
    const std::set<std::int32_t> gone(ids.begin(), ids.end());
    report.phrases = std::count_if(d.idiomset.begin(), d.idiomset.end(), [&](const auto& idiom) {
      return std::any_of(idiom.ids.begin(), idiom.ids.end(),
                         [&](std::int32_t id) { return gone.contains(id); });
    });
  } else {
    for (const std::int32_t id : ids)
      strmorph::remove_word(d, id);
    report.phrases = static_cast<std::int64_t>(phrases_before - d.idiomset.size());
  }
  conversation_log& log = b.log;
  for (std::size_t i = log.line_count(); i-- > 0;) {
    if (log.line_texts[i].text.find(text) == std::u16string::npos) continue;
    ++report.log_lines;
    if (dry_run) continue;
    log.line_texts.erase(log.line_texts.begin() + static_cast<std::ptrdiff_t>(i));
    log.line_words.erase(log.line_words.begin() + static_cast<std::ptrdiff_t>(i));
  }
  // Word discovery's index names blocks of lines: built again from what is left.
  if (report.log_lines > 0 && !dry_run) log.finder.blocks.clear();
  return report;
}

}  // namespace tsugihagi
