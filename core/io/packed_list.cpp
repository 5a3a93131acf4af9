#include "core/io/packed_list.h"

#include <cstring>

#include "core/io/primitives.h"

namespace tsugihagi {
namespace {

using packed_detail::next_value;

// The number of whole compact_ints in the bytes, or -1 when they do not end exactly.
std::ptrdiff_t count_values(std::span<const std::uint8_t> bytes) {
  std::size_t pos = 0;
  std::ptrdiff_t count = 0;
  while (pos < bytes.size()) {
    const std::size_t length = bytes[pos];
    if (length > 4) return -1;
    pos += 1 + length;
    ++count;
  }
  return pos == bytes.size() ? count : -1;
}

packed_list allocate(std::size_t size) {
  packed_list list;
  list.size = static_cast<std::int32_t>(size);
  if (size > 0) list.data = std::make_unique<std::uint8_t[]>(size);
  return list;
}

}  // namespace

packed_list pack_ids(std::span<const std::int32_t> ids) {
  std::size_t size = 0;
  for (const std::int32_t id : ids)
    size += compact_int_size(static_cast<std::uint32_t>(id));
  packed_list list = allocate(size);
  std::uint8_t* out = list.data.get();
  for (const std::int32_t id : ids)
    out += encode_compact_int(static_cast<std::uint32_t>(id), out);
  return list;
}

packed_list pack_pairs(std::span<const id_count> pairs) {
  std::size_t size = 0;
  for (const id_count& p : pairs) {
    size += compact_int_size(static_cast<std::uint32_t>(p.id)) +
            compact_int_size(static_cast<std::uint32_t>(p.count));
  }
  packed_list list = allocate(size);
  std::uint8_t* out = list.data.get();
  for (const id_count& p : pairs) {
    out += encode_compact_int(static_cast<std::uint32_t>(p.id), out);
    out += encode_compact_int(static_cast<std::uint32_t>(p.count), out);
  }
  return list;
}

std::vector<std::int32_t> unpack_ids(const packed_list& list) {
  std::vector<std::int32_t> ids;
  const std::span<const std::uint8_t> bytes = list.bytes();
  const std::ptrdiff_t count = count_values(bytes);
  if (count > 0) ids.reserve(static_cast<std::size_t>(count));
  std::size_t pos = 0;
  std::uint32_t value;
  while (next_value(bytes, pos, value))
    ids.push_back(static_cast<std::int32_t>(value));
  return ids;
}

std::vector<id_count> unpack_pairs(const packed_list& list) {
  std::vector<id_count> pairs;
  const std::span<const std::uint8_t> bytes = list.bytes();
  const std::ptrdiff_t count = count_values(bytes);
  if (count > 0) pairs.reserve(static_cast<std::size_t>(count / 2));
  std::size_t pos = 0;
  std::uint32_t id;
  std::uint32_t n;
  while (next_value(bytes, pos, id) && next_value(bytes, pos, n)) {
    pairs.push_back({static_cast<std::int32_t>(id), static_cast<std::int32_t>(n)});
  }
  return pairs;
}

packed_list packed_from_bytes(std::span<const std::uint8_t> bytes) {
  packed_list list = allocate(bytes.size());
  if (!bytes.empty()) std::memcpy(list.data.get(), bytes.data(), bytes.size());
  return list;
}

bool is_id_list(std::span<const std::uint8_t> bytes) {
  return count_values(bytes) >= 0;
}

bool is_pair_list(std::span<const std::uint8_t> bytes) {
  const std::ptrdiff_t count = count_values(bytes);
  return count >= 0 && count % 2 == 0;
}

bool id_list_contains(const packed_list& list, std::int32_t id) {
  const std::span<const std::uint8_t> bytes = list.bytes();
  std::size_t pos = 0;
  std::uint32_t value;
  while (next_value(bytes, pos, value)) {
    if (static_cast<std::int32_t>(value) == id) return true;
  }
  return false;
}

bool pair_list_has_id(const packed_list& list, std::int32_t id) {
  const std::span<const std::uint8_t> bytes = list.bytes();
  std::size_t pos = 0;
  std::uint32_t value;
  std::uint32_t count;
  while (next_value(bytes, pos, value) && next_value(bytes, pos, count)) {
    if (static_cast<std::int32_t>(value) == id) return true;
  }
  return false;
}

}  // namespace tsugihagi
