#include "core/memory/pattern_learning.h"

#include <algorithm>
#include <span>

#include "core/memory/lcs_length.h"

namespace tsugihagi {

void learn_patterns(strmorph::dic_t& d, conversation_log& log, pattern_history& history) {
  const std::size_t n = log.line_count();
  const std::vector<std::int32_t> newest =
      n >= 2 ? strmorph::live_ids(d, log.line_words[0].ids) : std::vector<std::int32_t>{};
  const lcs_length_against shared(newest);
  std::vector<std::int32_t> filtered;
  for (std::size_t i = 1; i < n; ++i) {
    word_entry& entry = log.line_words[i];
    std::span<const std::int32_t> earlier = entry.ids;
    if (entry.all_live_since != d.removed_words + 1) {
      filtered = strmorph::live_ids(d, entry.ids);
      if (filtered.size() == entry.ids.size()) {
        entry.all_live_since = d.removed_words + 1;
      } else {
        earlier = filtered;
      }
    }
    // The full table is needed only for the line that shares three words or more.
    if (shared.length(earlier) < 3) continue;
    common_subsequence<std::int32_t> s = log.matcher.compute(
        std::span<const std::int32_t>(newest), std::span<const std::int32_t>(earlier));
    if (s.count() < 3) continue;
    std::int32_t repeats = 0;
    const auto equal = std::find_if(history.begin(), history.end(), [&](const auto& c) {
      return c.ids == s.ids && c.flags == s.flags;
    });
    if (equal != history.end()) repeats = equal->repeats + 1;
    history.push_front({std::move(s.ids), std::move(s.flags), repeats});
    if (repeats >= pattern_threshold - 1) register_pattern(d, history.front());
    break;
  }
  while (history.size() > pattern_history_capacity)
    history.pop_back();
}

void register_pattern(strmorph::dic_t& d, const pattern_candidate& pattern) {
  const auto [id, inserted] = strmorph::add_idiom(d, strmorph::idiom_t{pattern.ids, pattern.flags});
  if (inserted) strmorph::link_idiom(d, pattern.ids, id);
}

}  // namespace tsugihagi
