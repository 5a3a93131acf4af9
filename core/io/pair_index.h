// The hash index of a long pair list: from each id to the first pair holding it, in the
// list's extras (list_extras::narrow_slots or wide_slots and group_starts, whose invariant
// packed_list.h states), so that counting a sighting is O(1) instead of a scan. Open
// addressing with linear probing; a slot holds the ordinal of a pair (its place among the
// pairs), which no edit in place changes, and above it a tag of the id's hash that turns most
// probes of other ids away. The offset of a pair is its group's start (one for every
// index_group_pairs pairs) plus a walk over the pairs before it in the group. Slots are 2
// bytes while the ordinals need at most 16 bits of them (up to some 43,000 pairs), else 4,
// from half to three quarters used (a table is any multiple of 16 slots long, not a power of
// two, so that it grows by half): 2.7 to 4 bytes per pair, or 5.3 to 8, plus 4 bytes per
// group. Building costs O(pairs); a find a few probes, a tag compare each, and for a tag
// that matches a walk of up to index_group_pairs - 1 pairs; an insert a few probes; a change
// of length inside the list moves the starts of the groups behind it, in one pass over them
// (4 bytes per group) for a batch of changes. The hash is seeded once per process, so that no
// chosen ids make its probes long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/io/packed_list.h"

namespace tsugihagi::pair_index {

inline constexpr std::size_t not_found = SIZE_MAX;

// The value of the compact_int at `pos`. REQUIRES: a whole compact_int there.
inline std::uint32_t decode_at(const std::uint8_t* bytes, std::size_t pos) {
  const std::size_t length = bytes[pos];
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < length; ++i)
    value |= std::uint32_t{bytes[pos + 1 + i]} << (8 * i);
  return value;
}

// The slot of an id in a table of mask + 1 slots (a power of two), seeded per process.
std::size_t slot_of(std::uint32_t id, std::size_t mask);

bool has_index(const packed_list& list);
bool has_index(const list_extras& extras);
// Indexes every pair of the list (making its extras if need be) in a table of about twice as
// many slots, so that the list can grow by half before the table is made anew.
// REQUIRES: a canonical pair list.
void build(packed_list& list);
// The offset of the first pair with the id, or not_found. REQUIRES: has_index(list).
std::size_t find(const packed_list& list, std::uint32_t id);
// find() for each id, into offsets[k] for ids[k]: the probes of up to 16 ids are started
// before any is read, for their cache misses to overlap. REQUIRES: has_index(list);
// offsets.size() == ids.size().
void find_each(const packed_list& list, std::span<const std::uint32_t> ids,
               std::span<std::size_t> offsets);
// Records the pair at `offset`, appended to the list (the next ordinal); rebuilds the table
// larger when it would be over three quarters used. REQUIRES: has_index(list); no earlier
// pair holds its id; every pair before it indexed.
void insert_appended(packed_list& list, std::size_t offset);
// insert_appended() for each offset in turn, the pairs all appended before: the slots of up
// to 16 of them prefetched before any is probed. REQUIRES: has_index(list); the offsets
// ascending, of every pair appended since the index last held the whole list, of ids no other
// pair holds.
void insert_appended_each(packed_list& list, std::span<const std::size_t> offsets);
// Moves the start of every group past the byte at `changed_at` by `delta` bytes (negative
// wraps): what a change of length there does to the pairs behind it. REQUIRES:
// has_index(list).
void shift(packed_list& list, std::size_t changed_at, std::int32_t delta);
// A change of length inside the list: the bytes past `at` move by `delta`.
struct length_change {
  std::size_t at;
  std::int32_t delta;
};
// Does what shift() does for each change in turn, in one pass over the group starts behind
// the first change. REQUIRES: has_index(list); the changes by descending `at`, each at an
// offset of the list before any of them was made.
void shift_after_each(packed_list& list, std::span<const length_change> changes);
// Whether the index holds its invariant (list_extras): every pair's ordinal held once, under
// its id's tag and found by its probe, nothing else held, `used` and the group starts right,
// the width and ordinal_bits those of the table's length, the table a multiple of 16 slots
// long, at most three quarters used. O(slots * index_group_pairs + pairs). For tests.
bool holds(const packed_list& list);

}  // namespace tsugihagi::pair_index
