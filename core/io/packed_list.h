// The packed per-word lists: concatenated compact_ints (an id list: one per entry; a pair
// list: id then count per entry), held in memory as the bytes stored on disk. Packing and
// unpacking cost O(bytes); the walkers below scan without unpacking. The in-place edits
// (add_once_id, erase_first_*, and count_in_pair in pair_counting.h) give exactly the bytes
// of unpacking, editing and packing again, without the copies: a list keeps a little room to
// grow at its end, and a long pair list carries a hash index from id to its first pair, so
// that counting a sighting in it is O(1) instead of a scan (see pair_index.h: some 3.2 to 4.5
// bytes per pair up to some 43,000 pairs, 5.8 to 8.5 beyond, only on lists of index_min_bytes
// or more). Sightings counted in a batch cost one pass over a shorter list. The summary of a pair
// list (the first pair of each count) costs O(pairs log pairs) to make, and is kept in step with
// the counts once asked for: refreshed by a batch's pass, or updated pair by pair on an indexed
// list. A list read from a file may be noncanonical: a value in a longer encoding than needed, or a
// pair list holding an id twice. Values mean what they encode whatever their length, and only the
// first pair of an id counts: the later ones are ignored by every reader here. A list made from
// bytes is checked when first read (O(bytes)), and read value by value when it is noncanonical
// (unpacking one costs O(pairs log pairs)); its bytes stay as read until the first edit packs it
// anew, minimal and without the ignored pairs.
#pragma once

#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "core/io/list_block.h"

namespace tsugihagi {

// What the bytes of a list hold: ids, or pairs (id, count).
enum class list_kind { ids, pairs };
// Whether a list's bytes are the ones packing its values gives: known, or still to be
// checked as ids or as pairs.
enum class list_form : std::uint8_t { canonical, unchecked_ids, unchecked_pairs, noncanonical };

struct id_count {
  std::int32_t id;
  std::int32_t count;
  friend bool operator==(const id_count&, const id_count&) = default;
};

// What a pair list keeps beside its bytes, made on demand. Invariant (extras_hold checks it):
// - Index: at most one of narrow_slots (2 bytes a slot) and wide_slots (4 bytes a slot) is
//   not empty; that one is a multiple of 16 slots long with `used` slots set, at most three
//   quarters of them. A set slot holds, in its low ordinal_bits bits, 1 + the ordinal of the
//   first pair of a distinct id (its place among the pairs, from 0), and above them a tag:
//   the id's hash bits (see pair_index.cpp); every distinct id's first pair is held, and
//   `used` is the number of pairs. ordinal_bits is the bit width of three quarters of the
//   slots; the slots are narrow when it is at most 16. group_starts[g] is the offset of pair
//   g * index_group_pairs, for every such pair. Only canonical pair lists have an index;
//   every in-place edit keeps it (see pair_index.h), an erase drops all the extras.
// - Summary: while has_summary, summary is the first pair of each distinct count, in stored
//   order. An edit that does not keep it calls edited(), which clears has_summary.
// - In step: on an indexed list whose summary was made with the index (tally not empty),
//   summary_offsets[k] is the offset of summary[k], and tally holds (count, pairs holding
//   it) for each count held, sorted by count; count_in_pair then updates all three pair by
//   pair. Without an index, summary_offsets and tally are empty.
struct list_extras {
  std::vector<std::uint16_t> narrow_slots;
  std::vector<std::uint32_t> wide_slots;
  std::vector<std::uint32_t> group_starts;
  std::uint32_t used = 0;
  std::uint8_t ordinal_bits = 0;
  std::vector<id_count> summary;
  bool has_summary = false;
  std::vector<std::uint32_t> summary_offsets;
  std::vector<id_count> tally;
};

// How many pairs of an indexed list share one entry of list_extras::group_starts: a change
// of length inside the list moves the entries of the groups behind it, and finding a pair
// by its ordinal steps over at most this many less one from its group's start.
inline constexpr std::uint32_t index_group_pairs = 8;

// A pair list's count_bound while it is not known.
inline constexpr std::int32_t unknown_count_bound = INT32_MAX;

// A packed list is 24 bytes: its extras, which few lists have, are not held in it but in one
// table for the process (see list_extras_table.h), which moving or destroying a list that has
// them keeps in step.
struct packed_list {
  std::int32_t size = 0;      // bytes
  std::int32_t capacity = 0;  // bytes allocated, at least size
  list_block data;            // null while the list has never held anything
  // Of a pair list: every count in it is at least 0 and at most this (-1: no pairs), or
  // unknown_count_bound. Kept by the edits below; see count_bound.
  mutable std::int32_t count_bound = unknown_count_bound;
  // What is known of the bytes: a list made from bytes is unchecked until first read (see
  // is_noncanonical); packing it anew makes it canonical.
  mutable list_form form = list_form::canonical;
  // Whether the table of extras holds extras for this list (see extras_of).
  mutable bool has_extras = false;

  packed_list() = default;
  packed_list(packed_list&& other) noexcept;
  packed_list& operator=(packed_list&& other) noexcept;
  packed_list(const packed_list&) = delete;
  packed_list& operator=(const packed_list&) = delete;
  ~packed_list();

  std::span<const std::uint8_t> bytes() const {
    return {data.get(), static_cast<std::size_t>(size)};
  }
};

// Pair lists of at least this many bytes get an index when an edit meets them. Shorter ones
// are scanned: once per batch of sightings.
inline constexpr std::int32_t index_min_bytes = 8192;

// Adds one to a stored count. Counts wrap as 32-bit two's complement: one more than
// 2,147,483,647 is -2,147,483,648.
inline void count_once_more(std::int32_t& count) {
  count = static_cast<std::int32_t>(static_cast<std::uint32_t>(count) + 1u);
}

packed_list pack_ids(std::span<const std::int32_t> ids);
packed_list pack_pairs(std::span<const id_count> pairs);
std::vector<std::int32_t> unpack_ids(const packed_list& list);
// The pairs in stored order; of a noncanonical list, without the pairs of an id met before.
std::vector<id_count> unpack_pairs(const packed_list& list);
// A packed list built from raw bytes, to be checked (see is_noncanonical) as `kind`.
// REQUIRES: is_id_list (ids) or is_pair_list (pairs) holds for them.
packed_list packed_from_bytes(std::span<const std::uint8_t> bytes, list_kind kind);
// The same for bytes that packing gave: taken as canonical without a look.
packed_list packed_from_bytes(std::span<const std::uint8_t> bytes);
// Whether every value of the bytes has its shortest encoding and, of pairs, no id is held
// twice: O(bytes), but O(n log n) in the n ids of 2^24 and more. Keeps a bit per id below
// the largest id met, at most 2 MiB per thread, and 4 bytes per pair of the longest list
// checked. REQUIRES: well-formed bytes.
bool is_canonical(std::span<const std::uint8_t> bytes, list_kind kind);
// Whether the list is read value by value: its bytes are not canonical (see is_canonical).
// O(1) but the first time it is asked of a list made from bytes, which then checks them: a
// loaded list costs its check only when it is first read.
bool check_form(const packed_list& list);
inline bool is_noncanonical(const packed_list& list) {
  return list.form != list_form::canonical && check_form(list);
}
// Packs a noncanonical list anew, as unpacking and packing it does; nothing for another.
void pack_anew(packed_list& list, list_kind kind);

// In-place edits, each leaving exactly the bytes that unpacking, editing the array and
// packing again would; on a noncanonical list they do just that (even when nothing changes),
// leaving it canonical. REQUIRES: the list is well formed (is_id_list / is_pair_list).
// (The counting edits, count_in_pair and count_in_pairs, are in pair_counting.h.)
// Appends x to an id list unless it holds x already.
void add_once_id(packed_list& list, std::int32_t x);
// Deletes the first occurrence of the id (of the pair with the id); false when there is none.
bool erase_first_id(packed_list& list, std::int32_t id);
bool erase_first_pair(packed_list& list, std::int32_t id);

// The first pair of each distinct count of a pair list, in stored order: what a walk that
// keeps the first word met per count can meet. Computed on first use, O(pairs log pairs)
// (O(bytes) while the counts are below 4096), and then
// kept in step by count_in_pairs, and by count_in_pair on an indexed list; other edits drop
// it. REQUIRES: a well-formed pair list.
std::span<const id_count> first_pair_of_each_count(const packed_list& list);

// No count of the pair list is below 0 or above the value returned (-1 for no pairs), or
// unknown_count_bound when some count is negative. Exact when first asked, O(bytes) then
// and O(1) after: the edits keep it an upper bound (erasing a pair leaves it as it was). A
// list the dictionary reader loads holds it from the start (see is_pair_list with a bound):
// exact but on a list that holds an id twice, where an ignored pair may raise it.
// REQUIRES: a well-formed pair list.
std::int32_t count_bound_of_pairs(const packed_list& list);  // the walk, when not known
inline std::int32_t count_bound(const packed_list& list) {
  return list.count_bound != unknown_count_bound ? list.count_bound : count_bound_of_pairs(list);
}

// Whether the list's extras and count_bound hold their invariant (see list_extras):
// O(bytes + slots + pairs log pairs). For tests, after edits.
bool extras_hold(const packed_list& list);

// Whether the bytes are a sequence of whole compact_ints (length bytes 0..4) ending exactly
// at the end; a pair list must also hold an even number of them.
bool is_id_list(std::span<const std::uint8_t> bytes);
bool is_pair_list(std::span<const std::uint8_t> bytes);
// is_pair_list, also setting `bound`, when the bytes are a pair list, to what count_bound
// may hold for a list of them without walking it again: -1 for no pairs, the largest count
// of any pair (the ignored pairs of a noncanonical list too), or unknown_count_bound when
// one is negative. One pass, a pair per step, for the reader to check a loaded list and
// learn its bound at once.
bool is_pair_list(std::span<const std::uint8_t> bytes, std::int32_t& bound);

// Calls fn(value) for each compact_int of the bytes in order, or fn(id, count) for each
// pair, without unpacking (but a noncanonical pair list, whose ignored pairs are skipped); a
// damaged tail is not visited.
template <typename Fn>
void for_each_id(const packed_list& list, Fn fn);
template <typename Fn>
void for_each_pair(const packed_list& list, Fn fn);

// Walkers over a list in stored order, stopping at the first match.
bool id_list_contains(const packed_list& list, std::int32_t id);
bool pair_list_has_id(const packed_list& list, std::int32_t id);  // counts never compared

namespace packed_detail {
// The value of a compact_int whose length byte is `length` (0..4) and whose value bytes
// start at p, reading four bytes at p whatever the length. REQUIRES: p[0..3] readable.
inline std::uint32_t value_at(const std::uint8_t* p, std::size_t length) {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
  return length == 0 ? 0u : word & (~std::uint32_t{0} >> (8 * (4 - length)));
}

// The eight bytes at p as a little-endian number: a pair's two length bytes at once.
// REQUIRES: p[0..7] readable.
inline std::uint64_t eight_bytes_at(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// Calls fn(start, id, count) for each pair of the bytes in order, start being its offset,
// until fn returns false or the bytes end or turn out damaged. Four-byte reads while a
// whole pair and its reads fit, byte by byte near the end.
template <typename Fn>
void walk_pairs(std::span<const std::uint8_t> bytes, Fn fn) {
  const std::uint8_t* b = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t pos = 0;
  // Two values of at most five bytes each, and the last read ends 4 bytes past its start.
  while (pos + 13 <= size) {
    const std::size_t id_length = b[pos];
    if (id_length > 4) return;
    const std::size_t count_pos = pos + 1 + id_length;
    const std::size_t count_length = b[count_pos];
    if (count_length > 4) return;
    const std::size_t start = pos;
    pos = count_pos + 1 + count_length;
    if (!fn(start, value_at(b + start + 1, id_length), value_at(b + count_pos + 1, count_length)))
      return;
  }
  while (pos < size) {
    const std::size_t start = pos;
    const std::size_t id_length = b[pos];
    if (id_length > 4 || pos + 1 + id_length >= size) return;
    const std::size_t count_pos = pos + 1 + id_length;
    const std::size_t count_length = b[count_pos];
    if (count_length > 4 || count_pos + 1 + count_length > size) return;
    std::uint32_t id = 0;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < id_length; ++i)
      id |= std::uint32_t{b[start + 1 + i]} << (8 * i);
    for (std::size_t i = 0; i < count_length; ++i)
      count |= std::uint32_t{b[count_pos + 1 + i]} << (8 * i);
    pos = count_pos + 1 + count_length;
    if (!fn(start, id, count)) return;
  }
}

// Calls fn(start, value) for each compact_int of the bytes in order, start being its offset,
// until fn returns false or the bytes end or turn out damaged. Four-byte reads while a
// whole value and its read fit, byte by byte near the end.
template <typename Fn>
void walk_ids(std::span<const std::uint8_t> bytes, Fn fn) {
  const std::uint8_t* b = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t pos = 0;
  while (pos + 5 <= size) {
    const std::size_t length = b[pos];
    if (length > 4) return;
    const std::size_t start = pos;
    pos += 1 + length;
    if (!fn(start, value_at(b + start + 1, length))) return;
  }
  while (pos < size) {
    const std::size_t start = pos;
    const std::size_t length = b[pos];
    if (length > 4 || pos + 1 + length > size) return;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < length; ++i)
      value |= std::uint32_t{b[start + 1 + i]} << (8 * i);
    pos += 1 + length;
    if (!fn(start, value)) return;
  }
}

// Decodes the compact_int at `pos` and steps past it; false at the end or on damage.
inline bool next_value(std::span<const std::uint8_t> bytes, std::size_t& pos,
                       std::uint32_t& value) {
  if (pos >= bytes.size()) return false;
  const std::size_t length = bytes[pos];
  if (length > 4 || pos + 1 + length > bytes.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < length; ++i)
    value |= std::uint32_t{bytes[pos + 1 + i]} << (8 * i);
  pos += 1 + length;
  return true;
}
}  // namespace packed_detail

template <typename Fn>
void for_each_id(const packed_list& list, Fn fn) {
  packed_detail::walk_ids(list.bytes(), [&](std::size_t, std::uint32_t value) {
    fn(static_cast<std::int32_t>(value));
    return true;
  });
}

template <typename Fn>
void for_each_pair(const packed_list& list, Fn fn) {
  if (is_noncanonical(list)) {
    for (const id_count& p : unpack_pairs(list))
      fn(p.id, p.count);
    return;
  }
  packed_detail::walk_pairs(list.bytes(), [&](std::size_t, std::uint32_t id, std::uint32_t count) {
    fn(static_cast<std::int32_t>(id), static_cast<std::int32_t>(count));
    return true;
  });
}

}  // namespace tsugihagi
