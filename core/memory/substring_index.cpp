#include "core/memory/substring_index.h"

#include <algorithm>

namespace tsugihagi {
namespace {

constexpr std::int64_t empty_key = -1;

std::int64_t key_of(std::int32_t state, char16_t unit) {
  return (static_cast<std::int64_t>(state) << 16) | unit;
}

std::size_t slot_of(std::int64_t key, std::size_t mask) {
  auto h = static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15ull;
  return static_cast<std::size_t>(h >> 20) & mask;
}

}  // namespace

substring_index::substring_index() : root_edges_(65536, -1) {
  clear();
}

void substring_index::clear() {
  // The root's table is reset through its own edge list, the hash table wholesale.
  for (std::int32_t e = states_.empty() ? -1 : states_[0].first_edge; e >= 0; e = edges_[e].next) {
    root_edges_[edges_[e].unit] = -1;
  }
  states_.assign(1, state{0, -1, -1});
  edges_.clear();
  // The table keeps its size from text to text: the log changes little between turns.
  if (table_keys_.empty()) table_keys_.resize(1024);
  std::fill(table_keys_.begin(), table_keys_.end(), empty_key);
  table_edges_.resize(table_keys_.size());
  table_used_ = 0;
  last_ = 0;
}

std::int32_t substring_index::transition(std::int32_t from, char16_t unit) const {
  if (from == 0) {
    const std::int32_t e = root_edges_[unit];
    return e < 0 ? -1 : edges_[e].target;
  }
  const std::int64_t key = key_of(from, unit);
  const std::size_t mask = table_keys_.size() - 1;
  for (std::size_t slot = slot_of(key, mask);; slot = (slot + 1) & mask) {
    if (table_keys_[slot] == key) return edges_[table_edges_[slot]].target;
    if (table_keys_[slot] == empty_key) return -1;
  }
}

void substring_index::grow_table() {
  std::vector<std::int64_t> keys(table_keys_.size() * 2, empty_key);
  std::vector<std::int32_t> values(keys.size(), -1);
  const std::size_t mask = keys.size() - 1;
  for (std::size_t i = 0; i < table_keys_.size(); ++i) {
    if (table_keys_[i] == empty_key) continue;
    std::size_t slot = slot_of(table_keys_[i], mask);
    while (keys[slot] != empty_key)
      slot = (slot + 1) & mask;
    keys[slot] = table_keys_[i];
    values[slot] = table_edges_[i];
  }
  table_keys_.swap(keys);
  table_edges_.swap(values);
}

void substring_index::add_edge(std::int32_t from, char16_t unit, std::int32_t to) {
  const auto index = static_cast<std::int32_t>(edges_.size());
  edges_.push_back({unit, to, states_[from].first_edge});
  states_[from].first_edge = index;
  if (from == 0) {
    root_edges_[unit] = index;
    return;
  }
  if (2 * (table_used_ + 1) > table_keys_.size()) grow_table();
  const std::int64_t key = key_of(from, unit);
  const std::size_t mask = table_keys_.size() - 1;
  std::size_t slot = slot_of(key, mask);
  while (table_keys_[slot] != empty_key)
    slot = (slot + 1) & mask;
  table_keys_[slot] = key;
  table_edges_[slot] = index;
  ++table_used_;
}

void substring_index::set_transition(std::int32_t from, char16_t unit, std::int32_t to) {
  for (std::int32_t e = states_[from].first_edge; e >= 0; e = edges_[e].next) {
    if (edges_[e].unit == unit) {
      edges_[e].target = to;
      return;
    }
  }
  add_edge(from, unit, to);
}

void substring_index::extend(char16_t unit) {
  const auto current = static_cast<std::int32_t>(states_.size());
  states_.push_back({states_[last_].length + 1, -1, -1});
  std::int32_t p = last_;
  while (p != -1 && transition(p, unit) < 0) {
    add_edge(p, unit, current);
    p = states_[p].link;
  }
  if (p == -1) {
    states_[current].link = 0;
  } else {
    const std::int32_t q = transition(p, unit);
    if (states_[p].length + 1 == states_[q].length) {
      states_[current].link = q;
    } else {
      const auto clone = static_cast<std::int32_t>(states_.size());
      states_.push_back({states_[p].length + 1, states_[q].link, -1});
      for (std::int32_t e = states_[q].first_edge; e >= 0; e = edges_[e].next) {
        add_edge(clone, edges_[e].unit, edges_[e].target);
      }
      while (p != -1 && transition(p, unit) == q) {
        set_transition(p, unit, clone);
        p = states_[p].link;
      }
      states_[q].link = clone;
      states_[current].link = clone;
    }
  }
  last_ = current;
}

void substring_index::add_text(std::u16string_view text) {
  for (const char16_t unit : text)
    extend(unit);
  extend(u'\0');  // a separator no text holds: no stretch spans two texts
}

void substring_index::longest_matches(std::u16string_view query,
                                      std::vector<std::int32_t>& longest) const {
  longest.assign(query.size(), 0);
  std::int32_t v = 0;
  std::int32_t length = 0;
  for (std::size_t i = 0; i < query.size(); ++i) {
    const char16_t unit = query[i];
    std::int32_t next = transition(v, unit);
    while (next < 0 && v != 0) {
      v = states_[v].link;
      length = states_[v].length;
      next = transition(v, unit);
    }
    if (next < 0) {
      length = 0;
    } else {
      v = next;
      ++length;
    }
    longest[i] = length;
  }
}

}  // namespace tsugihagi
