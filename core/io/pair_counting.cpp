#include "core/io/pair_counting.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/io/list_edit_steps.h"
#include "core/io/pair_index.h"
#include "core/io/pair_summary.h"
#include "core/io/primitives.h"

namespace tsugihagi {
namespace {

using list_edit_steps::append_value;
using list_edit_steps::count_now_held;
using list_edit_steps::edited;
using list_edit_steps::find_pair;
using list_edit_steps::grown_bytes;
using list_edit_steps::new_block;
using list_edit_steps::replace_value;
using list_edit_steps::reserve_more;
using pair_index::decode_at;
using pair_index::has_index;
using pair_index::not_found;
using pair_summary::build_summary;
using pair_summary::summary_count_changed;
using pair_summary::summary_in_step;
using pair_summary::summary_set;
using pair_summary::tally_add;

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
    seen_.reserve(xs.size());
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
      std::vector<std::uint32_t> ids(seen_.size());
      std::vector<std::size_t> offsets(seen_.size());
      for (std::size_t k = 0; k < seen_.size(); ++k)
        ids[k] = seen_[k].id;
      pair_index::find_each(list, ids, offsets);
      for (std::size_t k = 0; k < seen_.size(); ++k)
        seen_[k].pos = offsets[k];
      return;
    }
    search pass(*this, list);
    if (!search::run(pass)) return;
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
    search::run_both(pass_a, pass_b, on_a, on_b);
    while (on_a && on_b) {
      on_a = pass_a.step();
      on_b = pass_b.step();
    }
    if (on_a) on_a = search::run(pass_a);
    while (on_a)
      on_a = pass_a.step();
    if (on_b) on_b = search::run(pass_b);
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
    changes.reserve(seen_.size());
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
    moves.reserve(changes.size());
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
    std::vector<std::size_t> offsets;
    if (indexed) offsets.reserve(seen_.size());
    for (const sighting& s : seen_) {
      if (s.pos != not_found) continue;
      if (indexed) offsets.push_back(static_cast<std::size_t>(list.size));
      append_value(list, s.id);
      append_value(list, s.times - 1);
      count_now_held(list, s.times - 1);
    }
    if (indexed) pair_index::insert_appended_each(list, offsets);
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
  // after the id's would put two reads on the chain from one pair to the next. run and
  // run_both take the steps while the pairs are far from the end, their positions in locals,
  // for that chain to stay in registers; step() takes the rest, and any damaged pair.
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
      const std::uint64_t word = packed_detail::eight_bytes_at(b_ + pos_);
      const std::size_t id_length = word & 0xFF;
      if (id_length > 4) return false;
      const std::size_t count_length = word >> (8 * id_length + 8) & 0xFF;
      const std::size_t start = pos_;
      pos_ += 2 + id_length + count_length;
      if (count_length > 4 || pos_ > size_) return false;
      return visit(start, id_of(word, id_length));
    }

    // The steps of step() while a whole pair and its read fit and no pair is damaged; false
    // when the pass ended in them.
    static bool run(search& x) {
      std::size_t pos = x.pos_;
      bool on = true;
      while (on && pos + 8 <= x.size_) {
        std::size_t next;
        std::uint32_t id;
        if (!x.read_pair(pos, next, id)) break;
        const std::size_t start = pos;
        pos = next;
        if (x.may_hold(id)) on = x.found(start, id);
      }
      x.pos_ = pos;
      return on;
    }

    // run() over two passes at once, a pair of each per step, until either nears its end,
    // meets damage or is over (on_x or on_y then false).
    static void run_both(search& x, search& y, bool& on_x, bool& on_y) {
      std::size_t px = x.pos_;
      std::size_t py = y.pos_;
      while (px + 8 <= x.size_ && py + 8 <= y.size_) {
        std::size_t next_x;
        std::size_t next_y;
        std::uint32_t id_x;
        std::uint32_t id_y;
        if (!x.read_pair(px, next_x, id_x) || !y.read_pair(py, next_y, id_y)) break;
        const std::size_t start_x = px;
        const std::size_t start_y = py;
        px = next_x;
        py = next_y;
        if (x.may_hold(id_x)) on_x = x.found(start_x, id_x);
        if (y.may_hold(id_y)) on_y = y.found(start_y, id_y);
        if (!on_x || !on_y) break;
      }
      x.pos_ = px;
      y.pos_ = py;
    }

   private:
    static std::uint32_t id_of(std::uint64_t word, std::size_t id_length) {
      return static_cast<std::uint32_t>(word >> 8) &
             static_cast<std::uint32_t>((std::uint64_t{1} << (8 * id_length)) - 1);
    }

    // Decodes the pair at pos (eight bytes readable there): its id and where the next one
    // starts. False, taking nothing, when it is damaged.
    bool read_pair(std::size_t pos, std::size_t& next, std::uint32_t& id) const {
      const std::uint64_t word = packed_detail::eight_bytes_at(b_ + pos);
      const std::size_t id_length = word & 0xFF;
      if (id_length > 4) return false;
      const std::size_t count_length = word >> (8 * id_length + 8) & 0xFF;
      next = pos + 2 + id_length + count_length;
      if (count_length > 4 || next > size_) return false;
      id = id_of(word, id_length);
      return true;
    }

    bool may_hold(std::uint32_t id) const { return (filter_[id / 64 % 64] >> (id % 64) & 1) != 0; }

    bool visit(std::size_t start, std::uint32_t id) { return !may_hold(id) || found(start, id); }

    // The pair at start names an id the filter lets through: recorded when it is the first
    // pair of one of the batch's ids. False once all are found.
    bool found(std::size_t start, std::uint32_t id) {
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

}  // namespace tsugihagi
