#include "tests/support/reference_patterns.h"

#include <algorithm>
#include <span>
#include <vector>

namespace tsugihagi::reference {

std::size_t learn_patterns(strmorph::dic_t& d, conversation_log& log, pattern_history& history) {
  std::size_t chosen = 0;
  const std::size_t n = log.line_count();
  if (n >= 2) {
    const std::vector<std::int32_t> newest = strmorph::live_ids(d, log.line_words[0].ids);
    for (std::size_t i = 1; i < n; ++i) {
      const std::vector<std::int32_t> earlier = strmorph::live_ids(d, log.line_words[i].ids);
      common_subsequence<std::int32_t> s = log.matcher.compute(
          std::span<const std::int32_t>(newest), std::span<const std::int32_t>(earlier));
      if (s.count() < 3) continue;
      std::int32_t repeats = 0;
      for (const pattern_candidate& c : history) {
        if (c.ids == s.ids && c.flags == s.flags) {
          repeats = c.repeats + 1;
          break;
        }
      }
      history.push_front({std::move(s.ids), std::move(s.flags), repeats});
      if (repeats >= pattern_threshold - 1) register_pattern(d, history.front());
      chosen = i;
      break;
    }
  }
  while (history.size() > pattern_history_capacity)
    history.pop_back();
  return chosen;
}

}  // namespace tsugihagi::reference
