// The packed per-word lists: concatenated compact_ints (an id list: one per entry; a pair
// list: id then count per entry), held in memory exactly as stored on disk. Lists are never
// edited in place: unpack into a plain array, edit, pack into a new block. Packing and
// unpacking cost O(bytes); the walkers below scan without unpacking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tsugihagi {

struct packed_list {
  std::int32_t size = 0;                 // bytes
  std::unique_ptr<std::uint8_t[]> data;  // null while the list has never held anything

  std::span<const std::uint8_t> bytes() const {
    return {data.get(), static_cast<std::size_t>(size)};
  }
};

struct id_count {
  std::int32_t id;
  std::int32_t count;
  friend bool operator==(const id_count&, const id_count&) = default;
};

// Adds one to a stored count. Counts wrap as 32-bit two's complement: one more than
// 2,147,483,647 is -2,147,483,648.
inline void count_once_more(std::int32_t& count) {
  count = static_cast<std::int32_t>(static_cast<std::uint32_t>(count) + 1u);
}

packed_list pack_ids(std::span<const std::int32_t> ids);
packed_list pack_pairs(std::span<const id_count> pairs);
std::vector<std::int32_t> unpack_ids(const packed_list& list);
std::vector<id_count> unpack_pairs(const packed_list& list);
// A packed list built from raw bytes. REQUIRES: is_id_list or is_pair_list holds for them.
packed_list packed_from_bytes(std::span<const std::uint8_t> bytes);

// Whether the bytes are a sequence of whole compact_ints (length bytes 0..4) ending exactly
// at the end; a pair list must also hold an even number of them.
bool is_id_list(std::span<const std::uint8_t> bytes);
bool is_pair_list(std::span<const std::uint8_t> bytes);

// Calls fn(value) for each compact_int of the bytes in order, or fn(id, count) for each
// pair, without unpacking; a damaged tail is not visited.
template <typename Fn>
void for_each_id(const packed_list& list, Fn fn);
template <typename Fn>
void for_each_pair(const packed_list& list, Fn fn);

// Walkers over a list in stored order, stopping at the first match.
bool id_list_contains(const packed_list& list, std::int32_t id);
bool pair_list_has_id(const packed_list& list, std::int32_t id);  // counts never compared

namespace packed_detail {
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
  const std::span<const std::uint8_t> bytes = list.bytes();
  std::size_t pos = 0;
  std::uint32_t value;
  while (packed_detail::next_value(bytes, pos, value))
    fn(static_cast<std::int32_t>(value));
}

template <typename Fn>
void for_each_pair(const packed_list& list, Fn fn) {
  const std::span<const std::uint8_t> bytes = list.bytes();
  std::size_t pos = 0;
  std::uint32_t id;
  std::uint32_t count;
  while (packed_detail::next_value(bytes, pos, id) &&
         packed_detail::next_value(bytes, pos, count)) {
    fn(static_cast<std::int32_t>(id), static_cast<std::int32_t>(count));
  }
}

}  // namespace tsugihagi
