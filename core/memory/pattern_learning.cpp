#include "core/memory/pattern_learning.h"

#include <algorithm>
#include <span>

#include "core/memory/id_screen.h"
#include "core/memory/lcs_length.h"

namespace tsugihagi {
namespace {

constexpr std::int32_t pattern_minimum = 3;  // elements a common subsequence needs

// The line's live ids: its stored ids while no word has been removed since they were all seen
// live, else a filtered copy in `filtered`.
std::span<const std::int32_t> live_words(const strmorph::dic_t& d, word_entry& entry,
                                         std::vector<std::int32_t>& filtered) {
  if (entry.all_live_since == d.removed_words + 1) return entry.ids;
  filtered = strmorph::live_ids(d, entry.ids);
  if (filtered.size() != entry.ids.size()) return filtered;
  entry.all_live_since = d.removed_words + 1;
  return entry.ids;
}

}  // namespace

void learn_patterns(strmorph::dic_t& d, conversation_log& log, pattern_history& history) {
  const std::size_t n = log.line_count();
  const std::vector<std::int32_t> newest =
      n >= 2 ? strmorph::live_ids(d, log.line_words[0].ids) : std::vector<std::int32_t>{};
  // A line of fewer words than a pattern needs shares no pattern with any line.
  const std::size_t last = newest.size() >= pattern_minimum ? n : 1;
  if (n >= 1) {
    word_entry& stored = log.line_words[0];
    stored.screen = id_screen(stored.ids);
    stored.screen_known = true;
  }
  const lcs_length_against shared(newest);
  const id_screen newest_screen(newest);
  std::vector<std::int32_t> filtered;
  // The lines are screened faster than they come from memory: the entry of the line
  // `prefetch_distance` ahead is asked for now, both lines of memory its fields may span.
  // The log is walked with iterators, a step each, rather than indexed anew each time.
  constexpr std::size_t prefetch_distance = 8;
  auto it = log.line_words.begin();
  auto ahead = log.line_words.begin();
  if (last > 1) {
    ++it;
    ahead += static_cast<std::ptrdiff_t>(std::min(last, 1 + prefetch_distance));
  }
  for (std::size_t i = 1; i < last; ++i, ++it) {
    word_entry& entry = *it;
    if (i + prefetch_distance < last) {
      const auto* bytes = reinterpret_cast<const char*>(&*ahead);
      __builtin_prefetch(bytes);
      __builtin_prefetch(bytes + sizeof(word_entry) - 1);
      ++ahead;
    }
    // Screened on the stored ids: an id that names no live word cannot be in the newest line
    // (whose ids are all live), so dropping it changes no common subsequence's length. Only
    // the line that passes is filtered, since the dropped ids do change its joined flags.
    // The screens' bound turns most lines away without reading their ids.
    if (entry.ids.size() < pattern_minimum) continue;
    if (!entry.screen_known) {
      entry.screen = id_screen(entry.ids);
      entry.screen_known = true;
    }
    if (entry.screen.shared_bound(newest_screen) < pattern_minimum) continue;
    if (shared.length(entry.ids) < pattern_minimum) continue;
    common_subsequence<std::int32_t> s =
        log.matcher.compute(std::span<const std::int32_t>(newest), live_words(d, entry, filtered));
    if (s.count() < pattern_minimum) continue;
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
