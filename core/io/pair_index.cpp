#include "core/io/pair_index.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <random>
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

// The first slot of an id in an index of n slots: the same mixer, its high 32 bits scaled to
// [0, n), so that an index need not be a power of two long.
std::size_t slot_in(std::uint32_t id, std::size_t n) {
  std::uint64_t h = std::uint64_t{id} ^ index_seed;
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9u;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBu;
  return static_cast<std::size_t>(((h ^ (h >> 31)) >> 32) * n >> 32);
}

// The slots of either width, for the functions below to be written once.
template <typename Fn>
decltype(auto) with_slots(const packed_list& list, Fn fn) {
  list_extras& extras = *extras_of(list);
  if (!extras.narrow_slots.empty()) return fn(extras.narrow_slots);
  return fn(extras.id_slots);
}

// Probes from `slot`, the id's first slot.
template <typename Slot>
std::size_t find_from(const std::vector<Slot>& slots, const std::uint8_t* bytes, std::uint32_t id,
                      std::size_t slot) {
  const std::size_t n = slots.size();
  for (;; slot = slot + 1 == n ? 0 : slot + 1) {
    if (slots[slot] == 0) return not_found;
    const std::size_t offset = slots[slot] - 1u;
    if (decode_at(bytes, offset) == id) return offset;
  }
}

template <typename Slot>
std::size_t find_in(const std::vector<Slot>& slots, const std::uint8_t* bytes, std::uint32_t id) {
  return find_from(slots, bytes, id, slot_in(id, slots.size()));
}

// Moves every index entry past `after` (an offset + 1) by `delta`, wrapping: what a change of
// length at that point does to the pairs behind it. Every slot is visited, so the loop is
// branch-free for the compiler to run it over several slots at once, and where the
// processor has wider vectors a build for them is chosen when the program starts (not under
// ThreadSanitizer, whose runtime is not ready when the choice runs in a shared library).
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define TSUGIHAGI_WIDE_VECTOR_CLONES __attribute__((target_clones("default", "avx2", "avx512f")))
#else
#define TSUGIHAGI_WIDE_VECTOR_CLONES
#endif
TSUGIHAGI_WIDE_VECTOR_CLONES
void shift_slots(std::uint32_t* slots, std::size_t n, std::uint32_t after, std::uint32_t delta) {
  for (std::size_t i = 0; i < n; ++i)
    slots[i] += (slots[i] > after ? delta : 0u);
}
TSUGIHAGI_WIDE_VECTOR_CLONES
void shift_slots(std::uint16_t* slots, std::size_t n, std::uint32_t after, std::uint32_t delta) {
  const auto after16 = static_cast<std::uint16_t>(after);
  const auto delta16 = static_cast<std::uint16_t>(delta);
  for (std::size_t i = 0; i < n; ++i)
    slots[i] = static_cast<std::uint16_t>(slots[i] + (slots[i] > after16 ? delta16 : 0u));
}

// Records the pair at `offset` unless an earlier pair holds its id. REQUIRES: a free slot,
// and offset + 1 fits a slot.
template <typename Slot>
void insert_in(std::vector<Slot>& slots, std::uint32_t& used, const std::uint8_t* bytes,
               std::size_t offset) {
  const std::size_t n = slots.size();
  const std::uint32_t id = decode_at(bytes, offset);
  for (std::size_t slot = slot_in(id, n);; slot = slot + 1 == n ? 0 : slot + 1) {
    if (slots[slot] == 0) {
      slots[slot] = static_cast<Slot>(offset + 1);
      ++used;
      return;
    }
    if (decode_at(bytes, slots[slot] - 1u) == id) return;
  }
}

// How many slots an index of `pairs` pairs is built with: about twice as many, a multiple of
// 16, so that it is half used and can take half as many pairs again before it is rebuilt.
std::size_t slots_for(std::size_t pairs) {
  const std::size_t wanted = std::max<std::size_t>(16, 2 * pairs + 1);
  return (wanted + 15) & ~std::size_t{15};
}

// Whether the slots of a narrow index can hold every offset of the list.
bool fits_narrow(const packed_list& list) {
  return static_cast<std::size_t>(list.size) <= narrow_index_bytes;
}

}  // namespace

std::size_t find(const packed_list& list, std::uint32_t id) {
  return with_slots(list, [&](const auto& slots) { return find_in(slots, list.data.get(), id); });
}

void find_each(const packed_list& list, std::span<const std::uint32_t> ids,
               std::span<std::size_t> offsets) {
  constexpr std::size_t group = 16;
  const std::uint8_t* bytes = list.data.get();
  with_slots(list, [&](const auto& slots) {
    const std::size_t n = slots.size();
    for (std::size_t first = 0; first < ids.size(); first += group) {
      const std::size_t count = std::min(group, ids.size() - first);
      std::size_t start[group];
      for (std::size_t i = 0; i < count; ++i) {
        start[i] = slot_in(ids[first + i], n);
        prefetch(&slots[start[i]]);
      }
      for (std::size_t i = 0; i < count; ++i) {
        if (slots[start[i]] != 0) prefetch(bytes + (slots[start[i]] - 1u));
      }
      for (std::size_t i = 0; i < count; ++i)
        offsets[first + i] = find_from(slots, bytes, ids[first + i], start[i]);
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
  const auto fill = [&](auto& table, auto& other) {
    other = {};
    table.assign(slots, 0);
    for (std::size_t pos = 0; pos < bytes.size();) {
      insert_in(table, extras.used, bytes.data(), pos);
      pos += 1 + bytes[pos];
      pos += 1 + bytes[pos];
    }
  };
  if (fits_narrow(list)) {
    fill(extras.narrow_slots, extras.id_slots);
  } else {
    fill(extras.id_slots, extras.narrow_slots);
  }
}

bool has_index(const list_extras& extras) {
  return !extras.narrow_slots.empty() || !extras.id_slots.empty();
}

bool has_index(const packed_list& list) {
  const list_extras* extras = extras_of(list);
  return extras != nullptr && has_index(*extras);
}

void insert_appended(packed_list& list, std::size_t offset) {
  list_extras& extras = *extras_of(list);
  const bool narrow = !extras.narrow_slots.empty();
  const std::size_t slots = narrow ? extras.narrow_slots.size() : extras.id_slots.size();
  if (4 * (extras.used + 1) > 3 * slots || (narrow && !fits_narrow(list))) {
    build(list);
  } else if (narrow) {
    insert_in(extras.narrow_slots, extras.used, list.data.get(), offset);
  } else {
    insert_in(extras.id_slots, extras.used, list.data.get(), offset);
  }
}

void insert_appended_each(packed_list& list, std::span<const std::size_t> offsets) {
  constexpr std::size_t group = 16;
  list_extras& extras = *extras_of(list);
  const std::uint8_t* bytes = list.data.get();
  for (std::size_t first = 0; first < offsets.size(); first += group) {
    const std::size_t count = std::min(group, offsets.size() - first);
    const bool narrow = !extras.narrow_slots.empty();
    const std::size_t slots = narrow ? extras.narrow_slots.size() : extras.id_slots.size();
    // Made anew when it would be over three quarters used, or too narrow: build() takes
    // every pair of the list, the later ones appended too.
    if (4 * (extras.used + count) > 3 * slots || (narrow && !fits_narrow(list))) return build(list);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t slot = slot_in(decode_at(bytes, offsets[first + i]), slots);
      prefetch(narrow ? static_cast<const void*>(&extras.narrow_slots[slot])
                      : static_cast<const void*>(&extras.id_slots[slot]));
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (narrow) {
        insert_in(extras.narrow_slots, extras.used, bytes, offsets[first + i]);
      } else {
        insert_in(extras.id_slots, extras.used, bytes, offsets[first + i]);
      }
    }
  }
}

void shift(packed_list& list, std::size_t changed_at, std::int32_t delta) {
  const length_change change{changed_at, delta};
  shift_after_each(list, {&change, 1});
}

void shift_after_each(packed_list& list, std::span<const length_change> changes) {
  // A narrow index of a list grown too long for it is made anew, wide.
  if (!extras_of(list)->narrow_slots.empty() && !fits_narrow(list)) return build(list);
  constexpr std::size_t block = 1024;  // 2 or 4 KiB of slots
  with_slots(list, [&](auto& slots) {
    for (std::size_t first = 0; first < slots.size(); first += block) {
      const std::size_t n = std::min(block, slots.size() - first);
      for (const length_change& c : changes) {
        shift_slots(slots.data() + first, n, static_cast<std::uint32_t>(c.at + 1),
                    static_cast<std::uint32_t>(c.delta));
      }
    }
  });
}

bool holds(const packed_list& list) {
  if (!has_index(list)) return true;
  const list_extras& extras = *extras_of(list);
  if (!extras.narrow_slots.empty() && (!extras.id_slots.empty() || !fits_narrow(list)))
    return false;
  std::size_t set = 0;
  const bool well_sized = with_slots(list, [&](const auto& slots) {
    for (const auto s : slots) {
      if (s == 0) continue;
      ++set;
      if (s - 1u >= static_cast<std::size_t>(list.size)) return false;
    }
    return slots.size() % 16 == 0 && 4 * extras.used <= 3 * slots.size();
  });
  if (!well_sized) return false;
  std::size_t distinct = 0;
  bool all_found = true;
  packed_detail::walk_pairs(list.bytes(), [&](std::size_t start, std::uint32_t id, std::uint32_t) {
    const std::size_t at = find(list, id);
    if (at == start) ++distinct;
    all_found = all_found && at <= start && decode_at(list.data.get(), at) == id;
    return all_found;
  });
  return all_found && set == distinct && set == extras.used;
}

}  // namespace tsugihagi::pair_index
