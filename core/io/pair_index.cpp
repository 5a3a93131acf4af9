#include "core/io/pair_index.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <random>
#include <type_traits>
#include <vector>

#include "core/io/list_extras_table.h"
#include "core/io/prefetch.h"

namespace tsugihagi::pair_index {
namespace {

// Chosen once per process, so that which ids share a slot cannot be known from outside.
std::uint64_t make_index_seed() {
  std::uint64_t seed =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  seed ^= reinterpret_cast<std::uintptr_t>(&seed);
  try {
    std::random_device device;
    seed ^= std::uint64_t{device()} << 32 | device();
  } catch (...) {  // no device: the clock and the stack's place must do
  }
  return seed;
}
const std::uint64_t index_seed = make_index_seed();

}  // namespace

// The slot of an id: the seeded id through a full 64-bit mixer, every bit of the id moving
// about half of the bits taken.
std::size_t slot_of(std::uint32_t id, std::size_t mask) {
  std::uint64_t h = std::uint64_t{id} ^ index_seed;
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9u;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBu;
  return static_cast<std::size_t>(h ^ (h >> 31)) & mask;
}

namespace {

// An id's place in an index of n slots: its first slot, the mixer's high 32 bits scaled to
// [0, n) (so that an index need not be a power of two long), and its tag, low bits of the
// mixer that a slot keeps above the ordinal, so that most probes of other ids are turned
// away without reading the list.
struct probe_start {
  std::size_t slot;
  std::uint32_t tag;
};

probe_start start_of(std::uint32_t id, std::size_t n, std::uint32_t ordinal_bits,
                     std::uint32_t slot_bits) {
  std::uint64_t h = std::uint64_t{id} ^ index_seed;
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9u;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBu;
  h ^= h >> 31;
  const std::uint32_t tag_bits = slot_bits - ordinal_bits;
  const std::uint32_t tag =
      tag_bits == 0 ? 0u : static_cast<std::uint32_t>(h) & ((std::uint32_t{1} << tag_bits) - 1);
  return {static_cast<std::size_t>((h >> 32) * n >> 32), tag};
}

// What a table of either width needs to be read: its slots, how many low bits hold
// 1 + an ordinal, the group starts and the list's bytes.
template <typename Slot>
struct table {
  Slot* slots;
  std::size_t n;
  std::uint32_t ordinal_bits;
  const std::uint32_t* group_starts;
  const std::uint8_t* bytes;
  std::size_t size;

  static constexpr std::uint32_t slot_bits = 8 * sizeof(Slot);

  probe_start start(std::uint32_t id) const { return start_of(id, n, ordinal_bits, slot_bits); }
  std::uint32_t ordinal_mask() const {
    return ordinal_bits >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << ordinal_bits) - 1;
  }
  Slot value(std::uint32_t ordinal, std::uint32_t tag) const {
    const std::uint32_t low = ordinal + 1;
    return static_cast<Slot>(ordinal_bits >= slot_bits ? low : low | tag << ordinal_bits);
  }
  std::uint32_t tag_of(Slot s) const {
    return ordinal_bits >= slot_bits ? 0u : static_cast<std::uint32_t>(s) >> ordinal_bits;
  }

  // The offset of the pair with the ordinal: from its group's start, over the pairs before it
  // in the group, eight bytes read a pair while they fit.
  std::size_t offset_of(std::uint32_t ordinal) const {
    std::size_t pos = group_starts[ordinal / index_group_pairs];
    for (std::uint32_t r = ordinal % index_group_pairs; r > 0; --r) {
      if (pos + 8 <= size) {
        const std::uint64_t word = packed_detail::eight_bytes_at(bytes + pos);
        const std::size_t id_length = word & 0xFF;
        pos += 2 + id_length + (word >> (8 * id_length + 8) & 0xFF);
      } else {
        pos += 1 + bytes[pos];
        pos += 1 + bytes[pos];
      }
    }
    return pos;
  }

  // Probes from the id's start: the offset of its first pair, or not_found.
  std::size_t find_from(std::uint32_t id, probe_start at) const {
    const std::uint32_t mask = ordinal_mask();
    for (std::size_t slot = at.slot;; slot = slot + 1 == n ? 0 : slot + 1) {
      const Slot s = slots[slot];
      if (s == 0) return not_found;
      if (tag_of(s) != at.tag) continue;
      const std::size_t offset = offset_of((static_cast<std::uint32_t>(s) & mask) - 1);
      if (decode_at(bytes, offset) == id) return offset;
    }
  }

  // Records the pair with the ordinal and id in the first free slot from the id's start.
  // REQUIRES: a free slot; no pair of the id recorded; 1 + ordinal fits ordinal_bits.
  void insert(std::uint32_t id, std::uint32_t ordinal) const {
    const probe_start at = start(id);
    std::size_t slot = at.slot;
    while (slots[slot] != 0)
      slot = slot + 1 == n ? 0 : slot + 1;
    slots[slot] = value(ordinal, at.tag);
  }
};

// The index's table of either width, for the functions below to be written once.
template <typename Fn>
decltype(auto) with_table(const packed_list& list, Fn fn) {
  list_extras& extras = *extras_of(list);
  const auto make = [&](auto& slots) {
    using slot_type = std::remove_reference_t<decltype(slots[0])>;
    return table<slot_type>{slots.data(),        slots.size(),
                            extras.ordinal_bits, extras.group_starts.data(),
                            list.data.get(),     static_cast<std::size_t>(list.size)};
  };
  if (!extras.narrow_slots.empty()) return fn(make(extras.narrow_slots));
  return fn(make(extras.wide_slots));
}

// How many slots an index of `pairs` pairs is built with: about twice as many, a multiple of
// 16, so that it is half used and can take half as many pairs again before it is rebuilt.
std::size_t slots_for(std::size_t pairs) {
  const std::size_t wanted = std::max<std::size_t>(16, 2 * pairs + 1);
  return (wanted + 15) & ~std::size_t{15};
}

// The most pairs a table of n slots holds before it is made anew: three quarters of it.
std::size_t most_pairs(std::size_t n) {
  return 3 * n / 4;
}

// Notes the pair at `offset`, whose ordinal is extras.used, as the start of its group when it
// starts one, and counts it.
void count_pair(list_extras& extras, std::size_t offset) {
  if (extras.used % index_group_pairs == 0)
    extras.group_starts.push_back(static_cast<std::uint32_t>(offset));
  ++extras.used;
}

}  // namespace

std::size_t find(const packed_list& list, std::uint32_t id) {
  return with_table(list, [&](const auto& t) { return t.find_from(id, t.start(id)); });
}

void find_each(const packed_list& list, std::span<const std::uint32_t> ids,
               std::span<std::size_t> offsets) {
  constexpr std::size_t group = 16;
  with_table(list, [&](const auto& t) {
    const std::uint32_t mask = t.ordinal_mask();
    for (std::size_t first = 0; first < ids.size(); first += group) {
      const std::size_t count = std::min(group, ids.size() - first);
      probe_start start[group];
      for (std::size_t i = 0; i < count; ++i) {
        start[i] = t.start(ids[first + i]);
        prefetch(&t.slots[start[i].slot]);
      }
      // The group start of the first slot's pair, when its tag matches (most finds end
      // there), then the bytes it names: each stage's reads started for all ids before any is
      // waited for.
      std::uint32_t group_of[group];
      for (std::size_t i = 0; i < count; ++i) {
        const auto s = t.slots[start[i].slot];
        group_of[i] = UINT32_MAX;
        if (s != 0 && t.tag_of(s) == start[i].tag) {
          group_of[i] = ((static_cast<std::uint32_t>(s) & mask) - 1) / index_group_pairs;
          prefetch(&t.group_starts[group_of[i]]);
        }
      }
      for (std::size_t i = 0; i < count; ++i) {
        if (group_of[i] == UINT32_MAX) continue;
        const std::uint8_t* at = t.bytes + t.group_starts[group_of[i]];
        prefetch(at);
        prefetch(at + 64);
      }
      for (std::size_t i = 0; i < count; ++i)
        offsets[first + i] = t.find_from(ids[first + i], start[i]);
    }
  });
}

void build(packed_list& list) {
  const std::span<const std::uint8_t> bytes = list.bytes();
  std::size_t pairs = 0;
  for (std::size_t pos = 0; pos < bytes.size(); pos += 1 + bytes[pos])
    ++pairs;
  pairs /= 2;
  const std::size_t slots = slots_for(pairs);
  list_extras& extras = make_extras(list);
  extras.used = 0;
  extras.group_starts.clear();
  extras.group_starts.reserve((most_pairs(slots) + index_group_pairs - 1) / index_group_pairs);
  extras.ordinal_bits = static_cast<std::uint8_t>(std::bit_width(most_pairs(slots)));
  if (extras.ordinal_bits <= 16) {
    extras.wide_slots = {};
    extras.narrow_slots.assign(slots, 0);
  } else {
    extras.narrow_slots = {};
    extras.wide_slots.assign(slots, 0);
  }
  for (std::size_t pos = 0; pos < bytes.size();) {
    count_pair(extras, pos);
    pos += 1 + bytes[pos];
    pos += 1 + bytes[pos];
  }
  with_table(list, [&](const auto& t) {
    std::uint32_t ordinal = 0;
    for (std::size_t pos = 0; pos < bytes.size(); ++ordinal) {
      t.insert(decode_at(bytes.data(), pos), ordinal);
      pos += 1 + bytes[pos];
      pos += 1 + bytes[pos];
    }
  });
}

bool has_index(const list_extras& extras) {
  return !extras.narrow_slots.empty() || !extras.wide_slots.empty();
}

bool has_index(const packed_list& list) {
  const list_extras* extras = extras_of(list);
  return extras != nullptr && has_index(*extras);
}

void insert_appended(packed_list& list, std::size_t offset) {
  insert_appended_each(list, {&offset, 1});
}

void insert_appended_each(packed_list& list, std::span<const std::size_t> offsets) {
  constexpr std::size_t group = 16;
  list_extras& extras = *extras_of(list);
  const std::uint8_t* bytes = list.data.get();
  for (std::size_t first = 0; first < offsets.size(); first += group) {
    const std::size_t count = std::min(group, offsets.size() - first);
    // Made anew when it would be over three quarters used: build() takes every pair of the
    // list, the later ones appended too.
    const std::size_t slots = std::max(extras.narrow_slots.size(), extras.wide_slots.size());
    if (extras.used + count > most_pairs(slots)) return build(list);
    with_table(list, [&](const auto& t) {
      probe_start start[group];
      std::uint32_t ids[group];
      for (std::size_t i = 0; i < count; ++i) {
        ids[i] = decode_at(bytes, offsets[first + i]);
        start[i] = t.start(ids[i]);
        prefetch(&t.slots[start[i].slot]);
      }
      for (std::size_t i = 0; i < count; ++i) {
        std::size_t slot = start[i].slot;
        while (t.slots[slot] != 0)
          slot = slot + 1 == t.n ? 0 : slot + 1;
        t.slots[slot] = t.value(extras.used, start[i].tag);
        count_pair(extras, offsets[first + i]);
      }
    });
  }
}

void shift(packed_list& list, std::size_t changed_at, std::int32_t delta) {
  const length_change change{changed_at, delta};
  shift_after_each(list, {&change, 1});
}

void shift_after_each(packed_list& list, std::span<const length_change> changes) {
  std::vector<std::uint32_t>& starts = extras_of(list)->group_starts;
  // The groups past each change (their starts are offsets from before any change) move by
  // its delta: an add over the groups behind it, which the compiler runs several at a time.
  for (const length_change& c : changes) {
    const auto first = std::ranges::upper_bound(starts, static_cast<std::uint32_t>(c.at));
    const auto delta = static_cast<std::uint32_t>(c.delta);
    for (auto g = first; g != starts.end(); ++g)
      *g += delta;
  }
}

bool holds(const packed_list& list) {
  if (!has_index(list)) return true;
  const list_extras& extras = *extras_of(list);
  const std::size_t slots = std::max(extras.narrow_slots.size(), extras.wide_slots.size());
  if (!extras.narrow_slots.empty() && !extras.wide_slots.empty()) return false;
  if (extras.ordinal_bits != std::bit_width(most_pairs(slots)) ||
      (extras.ordinal_bits <= 16) != !extras.narrow_slots.empty())
    return false;
  if (slots % 16 != 0 || extras.used > most_pairs(slots)) return false;
  // The group starts, against a walk over the pairs.
  std::vector<std::uint32_t> starts;
  std::uint32_t pairs = 0;
  packed_detail::walk_pairs(list.bytes(), [&](std::size_t start, std::uint32_t, std::uint32_t) {
    if (pairs++ % index_group_pairs == 0) starts.push_back(static_cast<std::uint32_t>(start));
    return true;
  });
  if (pairs != extras.used || starts != extras.group_starts) return false;
  // Every set slot names a pair whose id has the slot's tag, found where its probe starts or
  // after it; every pair is its id's first; none is named twice.
  std::vector<bool> named(pairs, false);
  const bool slots_right = with_table(list, [&](const auto& t) {
    const std::uint32_t mask = t.ordinal_mask();
    for (std::size_t k = 0; k < t.n; ++k) {
      const auto s = t.slots[k];
      if (s == 0) continue;
      const std::uint32_t ordinal = (static_cast<std::uint32_t>(s) & mask) - 1;
      if (ordinal >= pairs || named[ordinal]) return false;
      named[ordinal] = true;
      const std::size_t offset = t.offset_of(ordinal);
      const std::uint32_t id = decode_at(t.bytes, offset);
      if (t.tag_of(s) != t.start(id).tag || t.find_from(id, t.start(id)) != offset) return false;
    }
    return true;
  });
  return slots_right && std::ranges::all_of(named, [](bool b) { return b; });
}

}  // namespace tsugihagi::pair_index
