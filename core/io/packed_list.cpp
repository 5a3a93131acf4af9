#include "core/io/packed_list.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>

#include "core/io/id_search.h"
#include "core/io/list_edit_steps.h"
#include "core/io/list_extras_table.h"
#include "core/io/pair_index.h"
#include "core/io/pair_summary.h"
#include "core/io/primitives.h"

namespace tsugihagi {
namespace {

using id_search::first_with_id;
using id_search::walk_for_id;
using list_edit_steps::allocate;
using list_edit_steps::append_value;
using list_edit_steps::count_now_held;
using list_edit_steps::edited;
using list_edit_steps::erase_bytes;
using list_edit_steps::find_id;
using list_edit_steps::find_pair;
using list_edit_steps::reserve_more;
using packed_detail::next_value;
using pair_index::decode_at;
using pair_index::has_index;
using pair_index::not_found;
using pair_summary::build_summary;
using pair_summary::summary_in_step;

// Drops each pair whose id an earlier pair holds, keeping the order: O(n log n).
void drop_repeated_ids(std::vector<id_count>& pairs) {
  std::vector<std::pair<std::int32_t, std::uint32_t>> by_id(pairs.size());
  for (std::size_t i = 0; i < pairs.size(); ++i)
    by_id[i] = {pairs[i].id, static_cast<std::uint32_t>(i)};
  std::ranges::sort(by_id);
  std::vector<bool> repeated(pairs.size(), false);
  for (std::size_t k = 1; k < by_id.size(); ++k) {
    if (by_id[k].first == by_id[k - 1].first) repeated[by_id[k].second] = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (!repeated[i]) pairs[kept++] = pairs[i];
  }
  pairs.resize(kept);
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
  list.count_bound = -1;
  std::uint8_t* out = list.data.get();
  for (const id_count& p : pairs) {
    out += encode_compact_int(static_cast<std::uint32_t>(p.id), out);
    out += encode_compact_int(static_cast<std::uint32_t>(p.count), out);
    count_now_held(list, static_cast<std::uint32_t>(p.count));
  }
  return list;
}

std::vector<std::int32_t> unpack_ids(const packed_list& list) {
  std::vector<std::int32_t> ids;
  const std::span<const std::uint8_t> bytes = list.bytes();
  const std::ptrdiff_t count = count_compact_ints(bytes);
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
  const std::ptrdiff_t count = count_compact_ints(bytes);
  if (count > 0) pairs.reserve(static_cast<std::size_t>(count / 2));
  std::size_t pos = 0;
  std::uint32_t id;
  std::uint32_t n;
  while (next_value(bytes, pos, id) && next_value(bytes, pos, n)) {
    pairs.push_back({static_cast<std::int32_t>(id), static_cast<std::int32_t>(n)});
  }
  if (is_noncanonical(list)) drop_repeated_ids(pairs);
  return pairs;
}

packed_list packed_from_bytes(std::span<const std::uint8_t> bytes) {
  packed_list list = allocate(bytes.size());
  if (!bytes.empty()) std::memcpy(list.data.get(), bytes.data(), bytes.size());
  return list;
}

packed_list packed_from_bytes(std::span<const std::uint8_t> bytes, list_kind kind) {
  packed_list list = packed_from_bytes(bytes);
  list.form = kind == list_kind::ids ? list_form::unchecked_ids : list_form::unchecked_pairs;
  return list;
}

bool is_canonical(std::span<const std::uint8_t> bytes, list_kind kind) {
  // A value is in its shortest encoding when it has no value bytes or its last one is not 0.
  const std::uint8_t* b = bytes.data();
  const auto shortest_at = [b](std::size_t pos) { return b[pos] == 0 || b[pos + b[pos]] != 0; };
  bool shortest = true;
  if (kind == list_kind::ids) {
    packed_detail::walk_ids(bytes, [&](std::size_t start, std::uint32_t) {
      shortest = shortest_at(start);
      return shortest;
    });
    return shortest;
  }
  // Ids below 2^24 (all a saved file names but boundary_id) are marked in a bitmap kept
  // between calls, all clear outside them; the others are sorted. The words marked are
  // noted as they are, to be cleared without walking the bytes again.
  constexpr std::uint32_t bitmap_ids = 1u << 24;
  thread_local std::vector<std::uint64_t> met;
  thread_local std::vector<std::uint32_t> marked;
  marked.clear();
  std::vector<std::uint32_t> others;
  bool twice = false;
  packed_detail::walk_pairs(bytes, [&](std::size_t start, std::uint32_t id, std::uint32_t) {
    shortest = shortest_at(start) && shortest_at(start + 1 + b[start]);
    if (id >= bitmap_ids) {
      others.push_back(id);
    } else {
      if (id / 64 >= met.size()) met.resize(std::max<std::size_t>(id / 64 + 1, 2 * met.size()));
      const std::uint64_t bit = std::uint64_t{1} << (id % 64);
      twice = (met[id / 64] & bit) != 0;
      met[id / 64] |= bit;
      marked.push_back(id / 64);
    }
    return shortest && !twice;
  });
  for (const std::uint32_t word : marked)
    met[word] = 0;
  if (!shortest || twice) return false;
  std::ranges::sort(others);
  return std::ranges::adjacent_find(others) == others.end();
}

bool check_form(const packed_list& list) {
  if (list.form == list_form::unchecked_ids || list.form == list_form::unchecked_pairs) {
    const list_kind kind =
        list.form == list_form::unchecked_ids ? list_kind::ids : list_kind::pairs;
    list.form = is_canonical(list.bytes(), kind) ? list_form::canonical : list_form::noncanonical;
  }
  return list.form == list_form::noncanonical;
}

void pack_anew(packed_list& list, list_kind kind) {
  if (!is_noncanonical(list)) return;
  list = kind == list_kind::ids ? pack_ids(unpack_ids(list)) : pack_pairs(unpack_pairs(list));
}

namespace {

template <typename Edit>
auto edit_ids_plainly(packed_list& list, Edit edit) {
  std::vector<std::int32_t> ids = unpack_ids(list);
  const auto result = edit(ids);
  list = pack_ids(ids);
  return result;
}

}  // namespace

void add_once_id(packed_list& list, std::int32_t x) {
  if (is_noncanonical(list)) {
    edit_ids_plainly(list, [x](std::vector<std::int32_t>& ids) {
      if (std::ranges::find(ids, x) == ids.end()) ids.push_back(x);
      return true;
    });
    return;
  }
  const auto id = static_cast<std::uint32_t>(x);
  if (find_id(list, id) != not_found) return;
  edited(list);
  reserve_more(list, compact_int_size(id));
  append_value(list, id);
}

bool erase_first_id(packed_list& list, std::int32_t x) {
  if (is_noncanonical(list)) {
    return edit_ids_plainly(list, [x](std::vector<std::int32_t>& ids) {
      const auto it = std::ranges::find(ids, x);
      if (it == ids.end()) return false;
      ids.erase(it);
      return true;
    });
  }
  const std::size_t pos = find_id(list, static_cast<std::uint32_t>(x));
  if (pos == not_found) return false;
  erase_bytes(list, pos, 1 + std::size_t{list.data[pos]});
  return true;
}

bool erase_first_pair(packed_list& list, std::int32_t x) {
  if (is_noncanonical(list)) {
    std::vector<id_count> pairs = unpack_pairs(list);
    const auto it = std::ranges::find(pairs, x, &id_count::id);
    const bool found = it != pairs.end();
    if (found) pairs.erase(it);
    list = pack_pairs(pairs);
    return found;
  }
  const std::size_t pos = find_pair(list, static_cast<std::uint32_t>(x));
  if (pos == not_found) return false;
  const std::size_t count_pos = pos + 1 + list.data[pos];
  erase_bytes(list, pos, count_pos + 1 + list.data[count_pos] - pos);
  return true;
}

std::int32_t count_bound_of_pairs(const packed_list& list) {
  std::int32_t bound = -1;
  bool negative = false;
  for_each_pair(list, [&](std::int32_t, std::int32_t count) {
    negative =
        negative || static_cast<std::uint32_t>(count) > static_cast<std::uint32_t>(INT32_MAX - 1);
    bound = std::max(bound, count);
  });
  if (negative) return unknown_count_bound;
  list.count_bound = bound;
  return bound;
}

bool is_id_list(std::span<const std::uint8_t> bytes) {
  return count_compact_ints(bytes) >= 0;
}

bool is_pair_list(std::span<const std::uint8_t> bytes) {
  const std::ptrdiff_t count = count_compact_ints(bytes);
  return count >= 0 && count % 2 == 0;
}

bool is_pair_list(std::span<const std::uint8_t> bytes, std::int32_t& bound) {
  const std::uint8_t* b = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t pos = 0;
  std::uint32_t largest = 0;
  bool any = false;
  // Eight bytes at the pair's start hold both length bytes; the count's four-byte read ends
  // at most ten bytes on.
  while (pos + 10 <= size) {
    const std::uint64_t word = packed_detail::eight_bytes_at(b + pos);
    const std::size_t id_length = word & 0xFF;
    if (id_length > 4) return false;
    const std::size_t count_length = word >> (8 * id_length + 8) & 0xFF;
    if (count_length > 4) return false;
    const std::size_t count_pos = pos + 1 + id_length;
    largest = std::max(largest, packed_detail::value_at(b + count_pos + 1, count_length));
    any = true;
    pos = count_pos + 1 + count_length;
  }
  std::uint32_t id;
  std::uint32_t count;
  while (next_value(bytes, pos, id)) {
    if (!next_value(bytes, pos, count)) return false;
    largest = std::max(largest, count);
    any = true;
  }
  if (pos != size) return false;
  bound = !any ? -1
          : largest > static_cast<std::uint32_t>(INT32_MAX - 1)
              ? unknown_count_bound
              : static_cast<std::int32_t>(largest);
  return true;
}

// The sixteen-byte search looks for the shortest encoding alone: a noncanonical list is
// walked value by value.
bool id_list_contains(const packed_list& list, std::int32_t id) {
  const auto find = is_noncanonical(list) ? walk_for_id : first_with_id;
  return find(list.bytes(), static_cast<std::uint32_t>(id), false) != not_found;
}

bool pair_list_has_id(const packed_list& list, std::int32_t id) {
  const auto find = is_noncanonical(list) ? walk_for_id : first_with_id;
  return find(list.bytes(), static_cast<std::uint32_t>(id), true) != not_found;
}

bool extras_hold(const packed_list& list) {
  if (list.size > list.capacity) return false;
  if (list.count_bound != unknown_count_bound) {
    bool bounded = true;
    for_each_pair(list, [&](std::int32_t, std::int32_t count) {
      bounded = bounded && count >= 0 && count <= list.count_bound;
    });
    if (!bounded) return false;
  }
  const list_extras* held = extras_of(list);
  if (held == nullptr) return true;
  const list_extras& extras = *held;
  if (!pair_index::holds(list)) return false;
  if (!has_index(list) && (!extras.summary_offsets.empty() || !extras.tally.empty())) return false;
  if (!extras.has_summary) return true;
  list_extras fresh;
  build_summary(list, fresh);
  if (fresh.summary != extras.summary) return false;
  if (!summary_in_step(list)) return true;
  if (extras.summary_offsets.size() != extras.summary.size()) return false;
  for (std::size_t k = 0; k < extras.summary.size(); ++k) {
    const std::size_t at = extras.summary_offsets[k];
    if (at >= static_cast<std::size_t>(list.size) ||
        static_cast<std::int32_t>(decode_at(list.data.get(), at)) != extras.summary[k].id)
      return false;
  }
  std::map<std::int32_t, std::int32_t> tally;
  for_each_pair(list, [&](std::int32_t, std::int32_t count) { ++tally[count]; });
  std::vector<id_count> expected;
  for (const auto& [count, pairs] : tally)
    expected.push_back({count, pairs});
  return expected == extras.tally;
}

}  // namespace tsugihagi
