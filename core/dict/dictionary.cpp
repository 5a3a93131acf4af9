#include "core/dict/dictionary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

#include <boost/pool/pool_alloc.hpp>

#include "core/dict/text_hash.h"
#include "core/io/prefetch.h"
#include "core/io/side_job.h"

namespace strmorph {
namespace {

constexpr idmap_value_t empty_word{nullptr, nullptr};
constexpr idiomidmap_value_t empty_idiom{nullptr};

const char16_t** take_cell(dic_t& d) {
  return static_cast<const char16_t**>(d.cellpool.malloc());
}

void free_word_storage(dic_t& d, const wordkey_t& key) {
  d.texts.release(*key.cell, static_cast<std::size_t>(key.length));
  d.cellpool.free(key.cell);
}

void set_word_slot(dic_t& d, std::int32_t id, idmap_value_t value) {
  d.reached_bounds.forget(id);
  if (id >= d.idmap.size()) d.idmap.resize(id + 1, empty_word);
  d.idmap.set(id, value);
}

bool lists_idiom(const wordinfo_t& w, std::int32_t idiom_id) {
  bool found = false;
  tsugihagi::for_each_id(w.idioms, [&](std::int32_t y) { found = found || y == idiom_id; });
  return found;
}

void set_idiom_slot(dic_t& d, std::int32_t id, const idiom_t* idiom) {
  if (id >= d.idiomidmap.size()) d.idiomidmap.resize(id + 1, empty_idiom);
  d.idiomidmap.set(id, {idiom});
  const auto y = static_cast<std::size_t>(id);
  if (y / 64 >= d.live_idioms.size()) d.live_idioms.resize(y / 64 + 1, 0);
  const std::uint64_t bit = std::uint64_t{1} << (y % 64);
  d.live_idioms[y / 64] =
      idiom != nullptr ? d.live_idioms[y / 64] | bit : d.live_idioms[y / 64] & ~bit;
}

// How many empty slots one refill of the free set takes at most (see choose_id).
constexpr std::size_t hole_batch = 4096;

// The smallest free id, taken out of the set, or the array's size. Ids stay below id_ceiling,
// which the files cannot hold: an array that has reached it (only ids read from a damaged
// file leave so many empty slots behind) first gives up to hole_batch of its empty slots to
// the free set. Only with no empty slot at all does an id reach the ceiling.
template <typename Map, typename Empty>
std::int32_t choose_id(std::set<std::int32_t>& free_ids, const Map& map, Empty is_free) {
  if (free_ids.empty() && map.size() >= id_ceiling) {
    for (std::int32_t id = 0; id < id_ceiling && free_ids.size() < hole_batch; ++id)
      if (is_free(id)) free_ids.insert(id);
  }
  if (free_ids.empty()) return map.size();
  const std::int32_t id = *free_ids.begin();
  free_ids.erase(free_ids.begin());
  return id;
}

template <typename T>
using pool_allocator = boost::fast_pool_allocator<T>;

// Chooses what pruning removes, from usage counts by id: sorted by (usage, id), the first
// quarter, or fewer when the quarter's boundary falls inside a run of equal usage.
template <typename Usage>
std::vector<std::int32_t> least_used(const Usage& usage) {
  std::set<std::pair<std::int32_t, std::int32_t>, std::less<>,
           pool_allocator<std::pair<std::int32_t, std::int32_t>>>
      sorted;
  for (const auto& [id, count] : usage)
    sorted.insert({count, id});
  std::vector<std::int32_t> chosen;
  if (sorted.empty()) return chosen;
  const std::size_t q = sorted.size() / 4;
  const std::int32_t t = std::next(sorted.begin(), static_cast<std::ptrdiff_t>(q))->first;
  std::size_t position = 0;
  const bool first_at_threshold = sorted.begin()->first == t;
  for (const auto& [count, id] : sorted) {
    if (first_at_threshold ? position >= q : count >= t) break;
    chosen.push_back(id);
    ++position;
  }
  return chosen;
}

using usage_map = std::map<std::int32_t, std::int32_t, std::less<>,
                           pool_allocator<std::pair<const std::int32_t, std::int32_t>>>;

using tsugihagi::text_hash;

std::uint64_t word_hash(const wordmap_t::value_type* entry) {
  return text_hash(entry->first.text());
}

// The slot tag of a hash: its top 16 bits, never 0 (which marks an empty slot).
std::uint16_t slot_tag(std::uint64_t hash) {
  const auto tag = static_cast<std::uint16_t>(hash >> 48);
  return tag != 0 ? tag : 1;
}

// The filter bit of a hash, from a product's top bits so that it is independent of the slot.
std::uint64_t filter_bit(std::uint64_t hash, std::size_t filter_words) {
  const int bits = std::countr_zero(filter_words) + 6;
  return (hash * 0x9E3779B97F4A7C15u) >> (64 - bits);
}

void set_filter_bit(std::vector<std::uint64_t>& filter, std::uint64_t hash) {
  const std::uint64_t bit = filter_bit(hash, filter.size());
  filter[static_cast<std::size_t>(bit >> 6)] |= std::uint64_t{1} << (bit & 63);
}

bool filter_has(const std::vector<std::uint64_t>& filter, std::uint64_t hash) {
  const std::uint64_t bit = filter_bit(hash, filter.size());
  return (filter[static_cast<std::size_t>(bit >> 6)] >> (bit & 63) & 1) != 0;
}

constexpr std::size_t start_rows = 32;         // lengths 0 to 31, the last for all longer
constexpr std::size_t starts_per_row = 16384;  // of the hash of the first two and last units
constexpr std::size_t start_row_words = starts_per_row / 64;

// The bit of word_starts for a word of the length with the text's first two units and its last
// unit (for a one-unit text: its unit, 0, its unit again). The last unit makes the
// key far more selective than the first two alone: in a line, windows of one length with a
// word's first two units are common, those that also end as it does are rare.
std::size_t word_start_bit(const char16_t* text, std::int32_t length) {
  const std::uint64_t second = length >= 2 ? text[1] : 0;
  const std::uint64_t units =
      (std::uint64_t{text[0]} << 32 | second << 16 | text[length - 1]) * 0x9E3779B97F4A7C15u;
  const std::size_t row = std::min<std::size_t>(static_cast<std::size_t>(length), start_rows - 1);
  return row * starts_per_row + static_cast<std::size_t>(units >> 50);
}

void place_word(dic_t& d, wordmap_t::value_type* entry, std::uint64_t hash) {
  if (d.word_starts.empty()) d.word_starts.assign(start_rows * start_row_words, 0);
  const std::size_t bit = word_start_bit(*entry->first.cell, entry->first.length);
  d.word_starts[bit / 64] |= std::uint64_t{1} << (bit % 64);
  const std::size_t mask = d.word_slots.size() - 1;
  auto slot = static_cast<std::size_t>(hash & mask);
  while (d.word_tags[slot] != 0)
    slot = (slot + 1) & mask;
  d.word_slots[slot] = entry;
  d.word_tags[slot] = slot_tag(hash);
  set_filter_bit(d.word_filter, hash);
}

// Rebuilds the index with `slot_count` slots and a fresh filter.
void rebuild_index(dic_t& d, std::size_t slot_count) {
  std::vector<wordmap_t::value_type*> entries;
  entries.reserve(d.word_slots_used);
  for (wordmap_t::value_type* e : d.word_slots) {
    if (e != nullptr) entries.push_back(e);
  }
  d.word_slots.assign(slot_count, nullptr);
  d.word_tags.assign(slot_count, 0);
  d.word_filter.assign(slot_count / 8, 0);
  d.word_starts.assign(start_rows * start_row_words, 0);
  for (wordmap_t::value_type* e : entries)
    place_word(d, e, word_hash(e));
}

// Adds a new wordmap entry to the hash index, doubling the table when three quarters full.
void index_word(dic_t& d, wordmap_t::value_type* entry) {
  if (4 * (d.word_slots_used + 1) > 3 * d.word_slots.size())
    rebuild_index(d, std::max<std::size_t>(1024, 2 * d.word_slots.size()));
  place_word(d, entry, word_hash(entry));
  ++d.word_slots_used;
  const auto units = static_cast<std::size_t>(entry->first.length);
  if (units >= d.words_of_length.size()) d.words_of_length.resize(units + 1, 0);
  ++d.words_of_length[units];
}

// Takes an entry out of the hash index, moving later entries of its run back so that every
// probe still finds its entry before an empty slot. The entry's filter bit stays set.
void unindex_word(dic_t& d, wordmap_t::value_type* entry) {
  std::vector<wordmap_t::value_type*>& slots = d.word_slots;
  std::vector<std::uint16_t>& tags = d.word_tags;
  const std::size_t mask = slots.size() - 1;
  auto hole = static_cast<std::size_t>(word_hash(entry) & mask);
  while (slots[hole] != entry)
    hole = (hole + 1) & mask;
  slots[hole] = nullptr;
  tags[hole] = 0;
  --d.word_slots_used;
  --d.words_of_length[static_cast<std::size_t>(entry->first.length)];
  for (std::size_t slot = (hole + 1) & mask; tags[slot] != 0; slot = (slot + 1) & mask) {
    const auto home = static_cast<std::size_t>(word_hash(slots[slot]) & mask);
    // The entry may move into the hole when its home is not in (hole, slot], cyclically.
    const bool stays = hole < slot ? (home > hole && home <= slot) : (home > hole || home <= slot);
    if (stays) continue;
    slots[hole] = slots[slot];
    tags[hole] = tags[slot];
    slots[slot] = nullptr;
    tags[slot] = 0;
    hole = slot;
  }
}

}  // namespace

bool idiom_order::operator()(const idiom_t& a, const idiom_t& b) const {
  if (a.ids.size() != b.ids.size()) return a.ids.size() < b.ids.size();
  for (std::size_t i = 0; i < a.ids.size(); ++i) {
    if (a.ids[i] != b.ids[i]) return a.ids[i] < b.ids[i];
    if (a.flags[i] != b.flags[i]) return a.flags[i] < b.flags[i];
  }
  return false;
}

dic_t::dic_t(std::int32_t limit) : cellpool(2, 32, word_cell_block), entry_limit(limit) {}

dic_t::~dic_t() = default;  // the texts go with their store, the cells with their pool

std::pair<wordmap_t::value_type*, bool> add_word(dic_t& d, const char16_t* text,
                                                 std::int32_t length) {
  if (static_cast<std::int64_t>(d.wordmap.size()) >= d.entry_limit) prune_words(d);
  if (wordmap_t::value_type* known = find_word(d, text, length)) {
    tsugihagi::count_once_more(known->second.count);
    return {known, false};
  }
  const char16_t** cell = take_cell(d);
  *cell = d.texts.take({text, static_cast<std::size_t>(length)});
  const auto it = d.wordmap.try_emplace(wordkey_t{cell, length}).first;
  index_word(d, &*it);
  const std::int32_t id = choose_id(d.hdid, d.idmap, [&d](std::int32_t slot) {
    return d.idmap[slot].key == nullptr &&
           std::find(d.held_word_ids.begin(), d.held_word_ids.end(), slot) == d.held_word_ids.end();
  });
  it->second.id = id;
  set_word_slot(d, id, {&it->first, &it->second});
  return {&*it, true};
}

bool may_start_word(const dic_t& d, const char16_t* text, std::int32_t length) {
  if (d.word_starts.empty()) return false;  // no word was ever indexed
  const std::size_t bit = word_start_bit(text, length);
  return (d.word_starts[bit / 64] >> (bit % 64) & 1) != 0;
}

wordmap_t::value_type* find_word(dic_t& d, const char16_t* text, std::int32_t length) {
  const auto units = static_cast<std::size_t>(length);
  if (units >= d.words_of_length.size() || d.words_of_length[units] == 0) return nullptr;
  if (!may_start_word(d, text, length)) return nullptr;
  return find_word(d, text, length, text_hash({text, units}));
}

wordmap_t::value_type* find_word(dic_t& d, const char16_t* text, std::int32_t length,
                                 std::uint64_t hash) {
  const auto units = static_cast<std::size_t>(length);
  if (units >= d.words_of_length.size() || d.words_of_length[units] == 0) return nullptr;
  if (!filter_has(d.word_filter, hash)) return nullptr;
  const std::uint32_t head = wordkey_t::head_of(text, length);
  const std::uint16_t tag = slot_tag(hash);
  const std::size_t mask = d.word_slots.size() - 1;
  for (auto slot = static_cast<std::size_t>(hash & mask);; slot = (slot + 1) & mask) {
    const std::uint16_t slot_tag_here = d.word_tags[slot];
    if (slot_tag_here == 0) return nullptr;
    if (slot_tag_here != tag) continue;
    wordmap_t::value_type* entry = d.word_slots[slot];
    // The head settles words of up to two units without reaching their text.
    const wordkey_t& key = entry->first;
    if (key.length != length || key.head != head) continue;
    if (length <= 2 || std::memcmp(*key.cell + 2, text + 2, sizeof(char16_t) * (units - 2)) == 0)
      return entry;
  }
}

std::pair<std::int32_t, bool> add_idiom(dic_t& d, idiom_t idiom) {
  auto [it, inserted] = d.idiomset.insert(std::move(idiom));
  if (!inserted) return {-1, false};
  if (static_cast<std::int64_t>(d.idiomset.size()) >= d.entry_limit) prune_idioms(d);
  const std::int32_t id = choose_id(d.idiom_hdid, d.idiomidmap, [&d](std::int32_t slot) {
    return d.idiomidmap[slot].idiom == nullptr;
  });
  set_idiom_slot(d, id, &*it);
  return {id, true};
}

void link_idiom(dic_t& d, std::span<const std::int32_t> word_ids, std::int32_t idiom_id) {
  for (const std::int32_t w : word_ids) {
    wordinfo_t* info = word_at(d, w);
    if (info == nullptr) continue;
    tsugihagi::add_once_id(info->idioms, idiom_id);
    d.holders.add(idiom_id, w);
  }
}

void remove_idiom(dic_t& d, std::int32_t idiom_id) {
  const idiom_t* idiom = idiom_at(d, idiom_id);
  if (idiom == nullptr) return;
  const auto it = d.idiomset.find(*idiom);
  d.idiom_hdid.insert(idiom_id);
  for (const std::int32_t w : it->ids) {
    wordinfo_t* info = word_at(d, w);
    // A list from a damaged file may name the idiom twice.
    if (info != nullptr && tsugihagi::erase_first_id(info->idioms, idiom_id) &&
        !lists_idiom(*info, idiom_id)) {
      d.holders.remove(idiom_id, w);
    }
  }
  d.idiomidmap.set(idiom_id, empty_idiom);
  d.live_idioms[static_cast<std::size_t>(idiom_id) / 64] &=
      ~(std::uint64_t{1} << (static_cast<std::size_t>(idiom_id) % 64));
  d.idiomset.erase(it);
}

void remove_word(dic_t& d, std::int32_t word_id) {
  wordinfo_t* w = word_at(d, word_id);
  if (w == nullptr) return;
  for (const id_count& p : tsugihagi::unpack_pairs(w->next)) {
    if (p.id == boundary_id) continue;
    if (wordinfo_t* a = word_at(d, p.id)) tsugihagi::erase_first_id(a->prev, word_id);
  }
  for (const std::int32_t a_id : tsugihagi::unpack_ids(w->prev)) {
    if (a_id == boundary_id) continue;
    if (wordinfo_t* a = word_at(d, a_id)) tsugihagi::erase_first_pair(a->next, word_id);
  }
  for (const id_count& p : tsugihagi::unpack_pairs(w->cooc)) {
    if (p.id == boundary_id) continue;
    if (wordinfo_t* a = word_at(d, p.id)) tsugihagi::erase_first_pair(a->cooc, word_id);
  }
  for (const std::int32_t idiom_id : tsugihagi::unpack_ids(w->idioms))
    remove_idiom(d, idiom_id);
  // What is left names idioms the word is not part of (a damaged file's list).
  tsugihagi::for_each_id(w->idioms, [&](std::int32_t y) { d.holders.remove(y, word_id); });
  if (d.holding_freed_ids) {
    d.held_word_ids.push_back(word_id);
  } else {
    d.hdid.insert(word_id);
  }
  const wordkey_t* key = d.idmap[word_id].key;
  const auto it = d.wordmap.find(*key);
  const wordkey_t stored = it->first;
  unindex_word(d, &*it);
  d.wordmap.erase(it);
  ++d.removed_words;
  free_word_storage(d, stored);
  set_word_slot(d, word_id, empty_word);
}

void prune_words(dic_t& d) {
  // Only live ids are counted: a list from a damaged file may name ids that are not.
  usage_map usage;
  for (const auto& entry : d.wordmap) {
    tsugihagi::for_each_pair(entry.second.cooc, [&](std::int32_t id, std::int32_t) {
      if (word_at(d, id) != nullptr) ++usage[id];
    });
  }
  const std::vector<std::int32_t> chosen = least_used(usage);
  for (const std::int32_t id : chosen)
    remove_word(d, id);
  // Clears the removed words' filter bits.
  if (!chosen.empty()) rebuild_index(d, d.word_slots.size());
}

void prune_idioms(dic_t& d) {
  usage_map usage;
  for (const auto& entry : d.wordmap) {
    tsugihagi::for_each_id(entry.second.idioms, [&](std::int32_t i) {
      if (idiom_at(d, i) != nullptr) ++usage[i];
    });
  }
  for (const std::int32_t id : least_used(usage)) {
    d.idiom_hdid.insert(id);
    remove_idiom(d, id);
  }
}

void hold_freed_word_ids(dic_t& d) {
  d.holding_freed_ids = true;
}

void release_freed_word_ids(dic_t& d) {
  d.holding_freed_ids = false;
  d.hdid.insert(d.held_word_ids.begin(), d.held_word_ids.end());
  d.held_word_ids.clear();
}

wordinfo_t* word_at(dic_t& d, std::int32_t id) {
  d.reached_bounds.forget(id);
  if (id < 0 || id >= d.idmap.size()) return nullptr;
  return d.idmap[id].info;
}

const wordinfo_t* word_at(const dic_t& d, std::int32_t id) {
  if (id < 0 || id >= d.idmap.size()) return nullptr;
  return d.idmap[id].info;
}

std::u16string_view word_text(const dic_t& d, std::int32_t id) {
  return d.idmap[id].key->text();
}

const idiom_t* idiom_at(const dic_t& d, std::int32_t id) {
  if (id < 0 || id >= d.idiomidmap.size()) return nullptr;
  return d.idiomidmap[id].idiom;
}

std::vector<std::int32_t> live_ids(const dic_t& d, std::span<const std::int32_t> ids) {
  std::vector<std::int32_t> live;
  live.reserve(ids.size());
  for (const std::int32_t id : ids) {
    if (word_at(d, id) != nullptr) live.push_back(id);
  }
  return live;
}

bool insert_loaded_word(dic_t& d, std::u16string_view text, wordinfo_t&& info, bool index_later) {
  const std::int32_t id = info.id;
  if (id < 0 || id >= id_ceiling || word_at(d, id) != nullptr || text.empty()) return false;
  const char16_t** cell = take_cell(d);
  *cell = d.texts.copy(text);
  const std::size_t words = d.wordmap.size();
  // The hint costs one comparison, and a full descent only when the word sorts before the
  // last one.
  const auto it = d.wordmap.try_emplace(
      d.wordmap.end(), wordkey_t{cell, static_cast<std::int32_t>(text.size())}, std::move(info));
  if (d.wordmap.size() == words) {
    free_word_storage(d, wordkey_t{cell, 0});
    return false;
  }
  if (!d.hdid.empty()) d.hdid.erase(id);  // a live word's id is not free, whatever the file said
  set_word_slot(d, id, {&it->first, &it->second});
  if (!index_later) {
    index_word(d, &*it);
    tsugihagi::for_each_id(it->second.idioms, [&](std::int32_t y) { d.holders.add(y, id); });
  }
  return true;
}

void index_loaded_words(dic_t& d, std::size_t parallel_min_words, const loaded_words* gathered) {
  const std::size_t words = d.wordmap.size();
  if (words == 0) return;
  // The holders, from every word's `idioms` list.
  const auto assign_holders = [&d, gathered] {
    if (gathered != nullptr) return d.holders.assign(gathered->held);
    std::vector<std::pair<std::int32_t, std::int32_t>> held;  // (idiom, word)
    for (const auto& entry : d.wordmap) {
      const std::int32_t id = entry.second.id;
      tsugihagi::for_each_id(entry.second.idioms,
                             [&](std::int32_t y) { held.emplace_back(y, id); });
    }
    d.holders.assign(held);
  };
  // The hash index, from the map alone.
  const auto index_words = [&d, words, gathered] {
    std::size_t slot_count = std::max<std::size_t>(1024, d.word_slots.size());
    while (4 * words > 3 * slot_count)
      slot_count *= 2;
    d.word_slots.assign(slot_count, nullptr);
    d.word_tags.assign(slot_count, 0);
    d.word_filter.assign(slot_count / 8, 0);
    d.words_of_length.clear();
    const auto count_length = [&d](const wordmap_t::value_type& entry) {
      const auto units = static_cast<std::size_t>(entry.first.length);
      if (units >= d.words_of_length.size()) d.words_of_length.resize(units + 1, 0);
      ++d.words_of_length[units];
    };
    if (gathered != nullptr) {
      // The same entries in the same order, their hashes known: each slot is fetched some
      // placements ahead instead of being waited for.
      constexpr std::size_t ahead = 16;
      const std::size_t mask = slot_count - 1;
      for (std::size_t k = 0; k < words; ++k) {
        if (k + ahead < words) {
          const std::uint64_t h = gathered->hashes[k + ahead];
          tsugihagi::prefetch(&d.word_slots[h & mask]);
          tsugihagi::prefetch(&d.word_tags[h & mask]);
        }
        place_word(d, gathered->entries[k], gathered->hashes[k]);
        count_length(*gathered->entries[k]);
      }
    } else {
      for (auto& entry : d.wordmap) {
        place_word(d, &entry, word_hash(&entry));
        count_length(entry);
      }
    }
    d.word_slots_used = words;
  };
  // The holders and the hash index read the map and write apart: at once when large.
  if (words >= parallel_min_words) {
    tsugihagi::run_beside(assign_holders, index_words);
  } else {
    index_words();
    assign_holders();
  }
}

std::size_t insert_loaded_idioms(dic_t& d, std::vector<std::pair<std::int32_t, idiom_t>> records) {
  std::size_t refused = 0;
  if (!d.idiomset.empty()) {
    for (auto& [id, idiom] : records)
      refused += insert_loaded_idiom(d, id, std::move(idiom)) ? 0 : 1;
    return refused;
  }
  // The records in idiom order, equal idioms in file order; each record's group is the
  // first record of its run of equal idioms. Sorted by a key of each idiom's length and
  // first two elements, held beside its record and ordered as idiom_order orders them as far
  // as it goes: only records with equal keys are compared through their vectors.
  const idiom_order less;
  struct keyed {
    std::uint64_t length_and_first;  // length, then the first id (biased) and flag
    std::uint64_t second;            // the second id (biased) and flag; 0 when none
    std::uint32_t record;
  };
  const auto element = [](const idiom_t& idiom, std::size_t i) {
    if (i >= idiom.ids.size()) return std::uint64_t{0};
    return (std::uint64_t{static_cast<std::uint32_t>(idiom.ids[i]) ^ 0x80000000u} << 8 |
            idiom.flags[i]) +
           1;
  };
  std::vector<keyed> keys(records.size());
  for (std::uint32_t r = 0; r < keys.size(); ++r) {
    const idiom_t& idiom = records[r].second;
    constexpr std::uint64_t longest = 0x7FFFFF;  // longer ones: ordered by `less` alone
    keys[r] = idiom.ids.size() >= longest
                  ? keyed{longest << 41, 0, r}
                  : keyed{idiom.ids.size() << 41 | element(idiom, 0), element(idiom, 1), r};
  }
  std::ranges::stable_sort(keys, [&](const keyed& a, const keyed& b) {
    if (a.length_and_first != b.length_and_first) return a.length_and_first < b.length_and_first;
    if (a.second != b.second) return a.second < b.second;
    return less(records[a.record].second, records[b.record].second);
  });
  std::vector<std::uint32_t> order(records.size());
  for (std::size_t k = 0; k < keys.size(); ++k)
    order[k] = keys[k].record;
  std::vector<std::uint32_t> group(records.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    const bool same = k > 0 && keys[k - 1].length_and_first == keys[k].length_and_first &&
                      keys[k - 1].second == keys[k].second &&
                      !less(records[order[k - 1]].second, records[order[k]].second);
    group[order[k]] = same ? group[order[k - 1]] : order[k];
  }
  // In file order, as one by one: a record whose id is out of range or taken, or whose idiom
  // an earlier record holds, is refused. An accepted id points at its record until the set
  // holds it.
  std::vector<bool> accepted(records.size(), false);
  std::vector<bool> group_held(records.size(), false);
  for (std::size_t r = 0; r < records.size(); ++r) {
    const std::int32_t id = records[r].first;
    if (id < 0 || id >= id_ceiling || idiom_at(d, id) != nullptr || group_held[group[r]]) {
      ++refused;
      continue;
    }
    accepted[r] = group_held[group[r]] = true;
    d.idiom_hdid.erase(id);
    set_idiom_slot(d, id, &records[r].second);
  }
  for (const std::uint32_t r : order) {
    if (!accepted[r]) continue;
    const auto it = d.idiomset.emplace_hint(d.idiomset.end(), std::move(records[r].second));
    set_idiom_slot(d, records[r].first, &*it);
  }
  return refused;
}

bool insert_loaded_idiom(dic_t& d, std::int32_t id, idiom_t idiom) {
  if (id < 0 || id >= id_ceiling || idiom_at(d, id) != nullptr) return false;
  auto [it, inserted] = d.idiomset.insert(std::move(idiom));
  if (!inserted) return false;
  d.idiom_hdid.erase(id);
  set_idiom_slot(d, id, &*it);
  return true;
}

}  // namespace strmorph
