#include "core/io/packed_list.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>

#include "core/io/id_search.h"
#include "core/io/list_extras_table.h"
#include "core/io/pair_index.h"
#include "core/io/pair_summary.h"
#include "core/io/primitives.h"

namespace tsugihagi {
namespace {

using id_search::first_with_id;
using id_search::walk_for_id;
using packed_detail::next_value;
using pair_index::decode_at;
using pair_index::has_index;
using pair_index::not_found;
using pair_summary::build_summary;
using pair_summary::summary_count_changed;
using pair_summary::summary_in_step;
using pair_summary::summary_set;
using pair_summary::tally_add;

// Gives the list a new block of at least `bytes` (see make_list_block), its capacity all of it.
list_block new_block(packed_list& list, std::size_t bytes) {
  std::size_t granted = 0;
  list_block block = make_list_block(bytes, granted);
  list.capacity = static_cast<std::int32_t>(granted);
  return block;
}

packed_list allocate(std::size_t size) {
  packed_list list;
  list.size = static_cast<std::int32_t>(size);
  if (size > 0) list.data = new_block(list, size);
  return list;
}

// The bytes a list of `size` bytes that needs `extra` more asks for. From the pool, just
// that: its classes are a sixteenth apart or less, so that the block it moves to has room for
// some more, and appending stays amortised O(1) (each byte moved at most some 16 times over).
// Beyond the pool, an eighth more, for the same reason.
std::size_t grown_bytes(std::size_t size, std::size_t extra) {
  if (list_blocks_pooled && size + extra <= pool_max_bytes) return size + extra;
  return size + std::max(extra, std::max<std::size_t>(16, size / 8));
}

// Makes room for `extra` more bytes at the end.
void reserve_more(packed_list& list, std::size_t extra) {
  const auto size = static_cast<std::size_t>(list.size);
  if (size + extra <= static_cast<std::size_t>(list.capacity)) return;
  list_block block = new_block(list, grown_bytes(size, extra));
  if (size > 0) std::memcpy(block.get(), list.data.get(), size);
  list.data = std::move(block);
}

// Every edit that does not keep the summary in step calls this first.
void edited(packed_list& list) {
  if (list_extras* extras = extras_of(list)) extras->has_summary = false;
}

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

// The offset of the first pair with the id, or not_found; indexes a long list first.
std::size_t find_pair(packed_list& list, std::uint32_t id) {
  if (!has_index(list) && list.size >= index_min_bytes) pair_index::build(list);
  if (has_index(list)) return pair_index::find(list, id);
  return first_with_id(list.bytes(), id, true);
}

std::size_t find_id(const packed_list& list, std::uint32_t id) {
  return first_with_id(list.bytes(), id, false);
}

// Replaces `old_length` bytes at `pos` by the encoding of `value`, moving the tail.
void replace_value(packed_list& list, std::size_t pos, std::size_t old_length,
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
void erase_bytes(packed_list& list, std::size_t pos, std::size_t length) {
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
void count_now_held(packed_list& list, std::uint32_t count) {
  if (list.count_bound == unknown_count_bound) return;
  if (count > static_cast<std::uint32_t>(INT32_MAX - 1)) {
    list.count_bound = unknown_count_bound;
  } else {
    list.count_bound = std::max(list.count_bound, static_cast<std::int32_t>(count));
  }
}

void append_value(packed_list& list, std::uint32_t value) {
  encode_compact_int(value, list.data.get() + list.size);
  list.size += static_cast<std::int32_t>(compact_int_size(value));
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

// The edits as unpacking, editing the array and packing again, for noncanonical lists.
void count_in_array(std::vector<id_count>& pairs, std::int32_t x) {
  const auto it = std::ranges::find(pairs, x, &id_count::id);
  if (it != pairs.end()) {
    count_once_more(it->count);
  } else {
    pairs.push_back({x, 0});
  }
}

void count_plainly(packed_list& list, std::span<const std::int32_t> xs) {
  std::vector<id_count> pairs = unpack_pairs(list);
  for (const std::int32_t x : xs)
    count_in_array(pairs, x);
  list = pack_pairs(pairs);
}

template <typename Edit>
auto edit_ids_plainly(packed_list& list, Edit edit) {
  std::vector<std::int32_t> ids = unpack_ids(list);
  const auto result = edit(ids);
  list = pack_ids(ids);
  return result;
}

// A batch of sightings for one list, counted at once: the distinct ids in order of first
// sighting, each with its sightings and the offset of its first pair (found in one pass over
// a list without an index, by a probe each in one with); a small open table finds them by id.
// Counts that change length cost one move of the bytes after the first of them (a copy into
// a new block when a count wraps to a shorter encoding) and, on an indexed list, one pass
// over its slots, a block at a time.
class batch {
 public:
  explicit batch(std::span<const std::int32_t> xs) {
    std::size_t table_size = 16;
    while (table_size < 2 * xs.size())
      table_size *= 2;
    table_.assign(table_size, -1);
    for (const std::int32_t x : xs) {
      const auto id = static_cast<std::uint32_t>(x);
      std::int32_t& k = lookup(id);
      if (k < 0) {
        k = static_cast<std::int32_t>(seen_.size());
        seen_.push_back({id, 0, not_found});
      }
      ++seen_[static_cast<std::size_t>(k)].times;
    }
  }

  // Finds the first pair of each id: by the index when the list has one, else in one pass
  // (see search) that stops once all are found.
  void locate_first_pairs(const packed_list& list) {
    if (has_index(list)) {
      for (sighting& s : seen_)
        s.pos = pair_index::find(list, s.id);
      return;
    }
    search pass(*this, list);
    while (pass.step()) {
    }
  }

  // The same for two batches over two lists without an index, side by side: each pass is a
  // chain of dependent steps, and the processor runs two chains at once.
  static void locate_side_by_side(batch& a, const packed_list& list_a, batch& b,
                                  const packed_list& list_b) {
    search pass_a(a, list_a);
    search pass_b(b, list_b);
    bool on_a = true;
    bool on_b = true;
    while (on_a && on_b) {
      on_a = pass_a.step();
      on_b = pass_b.step();
    }
    while (on_a)
      on_a = pass_a.step();
    while (on_b)
      on_b = pass_b.step();
  }

  // Counts the sightings into the list whose first pairs were located, as count_in_pairs.
  void count_located(packed_list& list) {
    // An indexed list's summary not in step is dropped, as count_in_pair drops it.
    const list_extras* extras = extras_of(list);
    const bool had_summary =
        extras != nullptr && extras->has_summary && !pair_index::has_index(*extras);
    edited(list);
    add_to_found_counts(list);
    append_new_pairs(list);
    if (had_summary) build_summary(list, *extras_of(list));
  }

  // Adds the sightings to the counts of the pairs found: in place when no count changes
  // length, else into a new block, with room for the pairs to append.
  void add_to_found_counts(packed_list& list) {
    const std::uint8_t* bytes = list.data.get();
    std::vector<change> changes;
    std::ptrdiff_t grown = 0;
    appended_ = 0;
    for (const sighting& s : seen_) {
      if (s.pos == not_found) {
        appended_ += compact_int_size(s.id) + compact_int_size(s.times - 1);
        continue;
      }
      const std::size_t count_pos = s.pos + 1 + bytes[s.pos];
      const std::size_t old_length = 1 + std::size_t{bytes[count_pos]};
      const std::uint32_t count = decode_at(bytes, count_pos) + s.times;
      grown += static_cast<std::ptrdiff_t>(compact_int_size(count)) -
               static_cast<std::ptrdiff_t>(old_length);
      changes.push_back({count_pos, old_length, count});
      count_now_held(list, count);
    }
    if (std::ranges::all_of(
            changes, [](const change& c) { return compact_int_size(c.count) == c.old_length; })) {
      for (const change& c : changes)
        encode_compact_int(c.count, list.data.get() + c.count_pos);
      return;
    }
    std::ranges::sort(changes, {}, &change::count_pos);
    const auto size = static_cast<std::size_t>(list.size);
    if (std::ranges::all_of(
            changes, [](const change& c) { return compact_int_size(c.count) >= c.old_length; })) {
      // In place, from the last change back: the bytes after each change move right by the
      // growth of the changes up to it, those before the first one stay.
      reserve_more(list, static_cast<std::size_t>(grown) + appended_);
      std::uint8_t* b = list.data.get();
      std::size_t end = size;
      auto shift = static_cast<std::size_t>(grown);
      for (auto c = changes.rbegin(); c != changes.rend(); ++c) {
        const std::size_t tail = c->count_pos + c->old_length;
        std::memmove(b + tail + shift, b + tail, end - tail);
        shift -= compact_int_size(c->count) - c->old_length;
        encode_compact_int(c->count, b + c->count_pos + shift);
        end = c->count_pos;
      }
      list.size = static_cast<std::int32_t>(size + static_cast<std::size_t>(grown));
    } else {
      // A count wrapped to a shorter encoding: copied into a new block.
      const std::size_t new_size =
          static_cast<std::size_t>(static_cast<std::ptrdiff_t>(size) + grown);
      list_block block = new_block(list, grown_bytes(new_size, appended_));
      std::size_t from = 0;
      std::uint8_t* out = block.get();
      for (const change& c : changes) {
        std::memcpy(out, bytes + from, c.count_pos - from);
        out += c.count_pos - from;
        out += encode_compact_int(c.count, out);
        from = c.count_pos + c.old_length;
      }
      std::memcpy(out, bytes + from, size - from);
      list.data = std::move(block);
      list.size = static_cast<std::int32_t>(new_size);
    }
    if (!has_index(list)) return;
    // Last change first, as pair_index::shift_after_each asks.
    std::vector<pair_index::length_change> moves;
    for (auto c = changes.rbegin(); c != changes.rend(); ++c) {
      const std::size_t new_length = compact_int_size(c->count);
      if (new_length != c->old_length) {
        moves.push_back({c->count_pos, static_cast<std::int32_t>(new_length) -
                                           static_cast<std::int32_t>(c->old_length)});
      }
    }
    pair_index::shift_after_each(list, moves);
  }

  // Appends a pair for each id not found, in order of first sighting, counted from 0.
  void append_new_pairs(packed_list& list) const {
    if (appended_ == 0) return;
    reserve_more(list, appended_);
    const bool indexed = has_index(list);
    for (const sighting& s : seen_) {
      if (s.pos != not_found) continue;
      const auto offset = static_cast<std::size_t>(list.size);
      append_value(list, s.id);
      append_value(list, s.times - 1);
      count_now_held(list, s.times - 1);
      if (indexed) pair_index::insert_appended(list, offset);
    }
  }

 private:
  struct sighting {
    std::uint32_t id;
    std::uint32_t times;
    std::size_t pos;
  };
  struct change {
    std::size_t count_pos;
    std::size_t old_length;
    std::uint32_t count;
  };

  // A pass over a list without an index for the batch's ids, a pair per step. Most pairs
  // name none of them: a bit per id modulo 4096 turns those away before the table is probed.
  // Each step reads the eight bytes at the pair's start once: they hold the id's length, the
  // id and the count's length (at most six bytes), where reading the count's length byte
  // after the id's would put two reads on the chain from one pair to the next.
  class search {
   public:
    search(batch& owner, const packed_list& list)
        : owner_(owner), b_(list.data.get()), size_(static_cast<std::size_t>(list.size)) {
      for (const sighting& s : owner_.seen_)
        filter_[s.id / 64 % 64] |= std::uint64_t{1} << (s.id % 64);
    }

    // Takes the next pair, or the last ones near the end; false once the pass is over.
    bool step() {
      if (pos_ + 8 > size_) {
        packed_detail::walk_pairs({b_ + pos_, size_ - pos_},
                                  [&](std::size_t start, std::uint32_t id, std::uint32_t) {
                                    return visit(pos_ + start, id);
                                  });
        return false;
      }
      constexpr std::uint32_t id_masks[5] = {0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF};
      const std::uint64_t word = packed_detail::eight_bytes_at(b_ + pos_);
      const std::size_t id_length = word & 0xFF;
      if (id_length > 4) return false;
      const std::size_t count_length = word >> (8 * id_length + 8) & 0xFF;
      const std::size_t start = pos_;
      pos_ += 2 + id_length + count_length;
      if (count_length > 4 || pos_ > size_) return false;
      return visit(start, static_cast<std::uint32_t>(word >> 8) & id_masks[id_length]);
    }

   private:
    bool visit(std::size_t start, std::uint32_t id) {
      if ((filter_[id / 64 % 64] >> (id % 64) & 1) == 0) return true;
      const std::int32_t k = owner_.lookup(id);
      std::vector<sighting>& seen = owner_.seen_;
      if (k >= 0 && seen[static_cast<std::size_t>(k)].pos == not_found) {
        seen[static_cast<std::size_t>(k)].pos = start;
        ++found_;
      }
      return found_ < seen.size();
    }

    batch& owner_;
    const std::uint8_t* b_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t found_ = 0;
    std::uint64_t filter_[64] = {};
  };

  std::int32_t& lookup(std::uint32_t id) {
    const std::size_t mask = table_.size() - 1;
    for (std::size_t slot = pair_index::slot_of(id, mask);; slot = (slot + 1) & mask) {
      std::int32_t& k = table_[slot];
      if (k < 0 || seen_[static_cast<std::size_t>(k)].id == id) return k;
    }
  }

  std::vector<sighting> seen_;
  std::vector<std::int32_t> table_;  // indices into seen_; -1 for a free slot
  std::size_t appended_ = 0;         // bytes of the pairs to append
};

}  // namespace

void count_in_pair(packed_list& list, std::int32_t x) {
  if (is_noncanonical(list)) return count_plainly(list, {&x, 1});
  const auto id = static_cast<std::uint32_t>(x);
  const std::size_t pos = find_pair(list, id);
  const bool in_step = summary_in_step(list);
  if (!in_step) edited(list);
  if (pos == not_found) {
    const auto offset = static_cast<std::size_t>(list.size);
    reserve_more(list, compact_int_size(id) + 1);
    append_value(list, id);
    append_value(list, 0);
    count_now_held(list, 0);
    if (has_index(list)) pair_index::insert_appended(list, offset);
    if (in_step && tally_add(*extras_of(list), 0, 1) == 1)
      summary_set(*extras_of(list), -1, {x, 0}, static_cast<std::uint32_t>(offset));
    return;
  }
  const std::size_t count_pos = pos + 1 + list.data[pos];
  const std::size_t old_length = 1 + std::size_t{list.data[count_pos]};
  const std::uint32_t old_count = decode_at(list.data.get(), count_pos);
  const std::uint32_t count = old_count + 1;
  replace_value(list, count_pos, old_length, count);
  count_now_held(list, count);
  // The pairs after it moved when the count's length changed.
  const std::size_t new_length = compact_int_size(count);
  if (has_index(list) && new_length != old_length) {
    pair_index::shift(
        list, count_pos,
        static_cast<std::int32_t>(new_length) - static_cast<std::int32_t>(old_length));
  }
  if (in_step) {
    summary_count_changed(
        list, pos, static_cast<std::int32_t>(old_count), static_cast<std::int32_t>(count),
        static_cast<std::ptrdiff_t>(new_length) - static_cast<std::ptrdiff_t>(old_length));
  }
}

void count_in_pairs(packed_list& list, std::span<const std::int32_t> xs) {
  if (is_noncanonical(list)) return count_plainly(list, xs);
  // A summary kept in step is updated pair by pair, as each sighting changes a count.
  if (xs.size() <= 1 || summary_in_step(list)) {
    for (const std::int32_t x : xs)
      count_in_pair(list, x);
    return;
  }
  if (!has_index(list) && list.size >= index_min_bytes) pair_index::build(list);
  batch b(xs);
  b.locate_first_pairs(list);
  b.count_located(list);
}

void count_in_pairs_each(std::span<packed_list* const> lists,
                         std::span<const std::span<const std::int32_t>> xs) {
  // Those that count_in_pairs walks are paired up.
  std::vector<std::size_t> walked;
  for (std::size_t k = 0; k < lists.size(); ++k) {
    const packed_list& list = *lists[k];
    if (is_noncanonical(list) || xs[k].size() <= 1 || has_index(list) ||
        list.size >= index_min_bytes) {
      count_in_pairs(*lists[k], xs[k]);
    } else {
      walked.push_back(k);
    }
  }
  std::size_t i = 0;
  for (; i + 1 < walked.size(); i += 2) {
    packed_list& list_a = *lists[walked[i]];
    packed_list& list_b = *lists[walked[i + 1]];
    batch a(xs[walked[i]]);
    batch b(xs[walked[i + 1]]);
    batch::locate_side_by_side(a, list_a, b, list_b);
    a.count_located(list_a);
    b.count_located(list_b);
  }
  if (i < walked.size()) count_in_pairs(*lists[walked[i]], xs[walked[i]]);
}

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
