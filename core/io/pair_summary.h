// The summary of a pair list (list_extras::summary: the first pair of each distinct count,
// in stored order, what a walk that keeps the first word met per count can meet) and, on an
// indexed list, the offsets and the tally that keep it in step pair by pair. Making it costs
// O(pairs log pairs) (O(bytes) while the counts are below 4096); keeping it in step costs, per
// count changed, a search of the tally (O(log counts)) and of the summary (O(counts held)),
// and a walk to the next pair of the old count when the changed pair was its first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/io/packed_list.h"

namespace tsugihagi::pair_summary {

// Whether the summary is kept pair by pair: an indexed list whose summary carries offsets
// and a tally (a summary made before the index was built does not).
bool summary_in_step(const packed_list& list);
// Adds `delta` to the number of pairs holding the count; returns the number now.
std::int32_t tally_add(list_extras& extras, std::int32_t count, std::int32_t delta);
// Makes the summary of the list's pairs; on an indexed list also its offsets and the tally.
// REQUIRES: a well-formed pair list; `extras` the list's own or a fresh one.
void build_summary(const packed_list& list, list_extras& extras);
// Sets entry k (or a new one when k is -1) to the pair at `offset` and moves it to its place
// in stored order. REQUIRES: summary_in_step of the list whose extras these are.
void summary_set(list_extras& extras, std::ptrdiff_t k, id_count pair, std::uint32_t offset);
// Keeps the summary of an indexed list in step after the pair at `pos` went from count
// `before` to `after` (its bytes already rewritten, the later pairs moved by `shift`).
// REQUIRES: summary_in_step(list).
void summary_count_changed(packed_list& list, std::size_t pos, std::int32_t before,
                           std::int32_t after, std::ptrdiff_t shift);

}  // namespace tsugihagi::pair_summary
