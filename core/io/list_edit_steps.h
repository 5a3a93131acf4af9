// The byte-level steps the edits of a packed list share: giving a list a larger block,
// appending and replacing values, deleting bytes, finding a pair, and keeping count_bound and
// the summary's validity as the bytes change. Each costs what its bytes cost (a move of the
// tail at most), except find_pair, which indexes a long list on first use (O(list)). Inline:
// the counting loops call them per sighting.
// REQUIRES (every step): a well-formed list, its extras in step on entry (see list_extras).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/io/id_search.h"
#include "core/io/list_extras_table.h"
#include "core/io/packed_list.h"
#include "core/io/pair_index.h"
#include "core/io/primitives.h"

namespace tsugihagi::list_edit_steps {

using id_search::first_with_id;
using pair_index::has_index;
using pair_index::not_found;

// Gives the list a new block of at least `bytes` (see make_list_block), its capacity all of it.
inline list_block new_block(packed_list& list, std::size_t bytes) {
  std::size_t granted = 0;
  list_block block = make_list_block(bytes, granted);
  list.capacity = static_cast<std::int32_t>(granted);
  return block;
}

inline packed_list allocate(std::size_t size) {
  packed_list list;
  list.size = static_cast<std::int32_t>(size);
  if (size > 0) list.data = new_block(list, size);
  return list;
}

// The bytes a list of `size` bytes that needs `extra` more asks for. From the pool, just
// that: its classes are a sixteenth apart or less, so that the block it moves to has room for
// some more, and appending stays amortised O(1) (each byte moved at most some 16 times over).
// Beyond the pool, an eighth more, for the same reason.
inline std::size_t grown_bytes(std::size_t size, std::size_t extra) {
  if (list_blocks_pooled && size + extra <= pool_max_bytes) return size + extra;
  return size + std::max(extra, std::max<std::size_t>(16, size / 8));
}

// Makes room for `extra` more bytes at the end.
inline void reserve_more(packed_list& list, std::size_t extra) {
  const auto size = static_cast<std::size_t>(list.size);
  if (size + extra <= static_cast<std::size_t>(list.capacity)) return;
  list_block block = new_block(list, grown_bytes(size, extra));
  if (size > 0) std::memcpy(block.get(), list.data.get(), size);
  list.data = std::move(block);
}

// Every edit that does not keep the summary in step calls this first.
inline void edited(packed_list& list) {
  if (list_extras* extras = extras_of(list)) extras->has_summary = false;
}

// The offset of the first pair with the id, or not_found; indexes a long list first.
inline std::size_t find_pair(packed_list& list, std::uint32_t id) {
  if (!has_index(list) && list.size >= index_min_bytes) pair_index::build(list);
  if (has_index(list)) return pair_index::find(list, id);
  return first_with_id(list.bytes(), id, true);
}

inline std::size_t find_id(const packed_list& list, std::uint32_t id) {
  return first_with_id(list.bytes(), id, false);
}

// Replaces `old_length` bytes at `pos` by the encoding of `value`, moving the tail.
inline void replace_value(packed_list& list, std::size_t pos, std::size_t old_length,
                          std::uint32_t value) {
  const std::size_t new_length = compact_int_size(value);
  if (new_length > old_length) reserve_more(list, new_length - old_length);
  std::uint8_t* bytes = list.data.get();
  const std::size_t tail = static_cast<std::size_t>(list.size) - (pos + old_length);
  if (new_length != old_length)
    std::memmove(bytes + pos + new_length, bytes + pos + old_length, tail);
  encode_compact_int(value, bytes + pos);
  list.size = static_cast<std::int32_t>(pos + new_length + tail);
}

// Deletes `length` bytes at `pos`; an emptied list gives its block back.
inline void erase_bytes(packed_list& list, std::size_t pos, std::size_t length) {
  std::uint8_t* bytes = list.data.get();
  std::memmove(bytes + pos, bytes + pos + length,
               static_cast<std::size_t>(list.size) - pos - length);
  list.size -= static_cast<std::int32_t>(length);
  drop_extras(list);
  if (list.size == 0) {
    list.data.reset();
    list.capacity = 0;
  }
}

// Keeps count_bound an upper bound once a pair of the list holds `count`.
inline void count_now_held(packed_list& list, std::uint32_t count) {
  if (list.count_bound == unknown_count_bound) return;
  if (count > static_cast<std::uint32_t>(INT32_MAX - 1)) {
    list.count_bound = unknown_count_bound;
  } else {
    list.count_bound = std::max(list.count_bound, static_cast<std::int32_t>(count));
  }
}

inline void append_value(packed_list& list, std::uint32_t value) {
  encode_compact_int(value, list.data.get() + list.size);
  list.size += static_cast<std::int32_t>(compact_int_size(value));
}

}  // namespace tsugihagi::list_edit_steps
