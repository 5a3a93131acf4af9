// Counting sightings into pair lists, the edit teaching makes most: one sighting at a time
// (count_in_pair) or a batch for one list at once (count_in_pairs), or batches for several
// lists, the unindexed ones walked two side by side (count_in_pairs_each). Like the other
// in-place edits (packed_list.h), each leaves exactly the bytes that unpacking, counting in
// the array and packing again would; on a noncanonical list it does just that, leaving it
// canonical. An indexed list's index and a summary kept in step stay in step (list_extras).
// REQUIRES (every function): the list is a well-formed pair list (is_pair_list).
#pragma once

#include <cstdint>
#include <span>

#include "core/io/packed_list.h"

namespace tsugihagi {

// Counts a sighting of x in a pair list: +1 (wrapping as unsigned 32 bits) on the count of
// the first pair with id x, else the pair (x, 0) appended.
void count_in_pair(packed_list& list, std::int32_t x);
// The bytes of count_in_pair(list, x) for each x of xs in turn: one pass over a list without
// an index, one probe per distinct id with one, and one copy of the list when a count changes
// length (sighting by sighting on an indexed list whose summary is kept in step). A
// noncanonical list is packed anew even for no sightings: the step that gathered them packs
// each list it counts into.
void count_in_pairs(packed_list& list, std::span<const std::int32_t> xs);
// count_in_pairs(*lists[k], xs[k]) for each k, with the same bytes; the passes over lists
// without an index go two at a time, side by side, for the processor to run both at once.
// REQUIRES: lists.size() == xs.size(); no list named twice.
void count_in_pairs_each(std::span<packed_list* const> lists,
                         std::span<const std::span<const std::int32_t>> xs);

}  // namespace tsugihagi
