#include "core/memory/substring_index.h"

#include <algorithm>
#include <bit>

namespace tsugihagi {
namespace {

std::uint64_t key_of(std::int32_t state, char16_t unit) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(state)) << 16) | unit;
}

std::size_t slot_of(std::uint64_t key, std::size_t mask) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & mask;
}

}  // namespace

substring_index::substring_index() : edges_(64, edge{empty_key, 0}), in_query_(65536, false) {}

std::int32_t substring_index::transition(std::int32_t from, char16_t unit) const {
  const std::uint64_t key = key_of(from, unit);
  const std::size_t mask = edges_.size() - 1;
  for (std::size_t slot = slot_of(key, mask);; slot = (slot + 1) & mask) {
    if (edges_[slot].key == key) return edges_[slot].target;
    if (edges_[slot].key == empty_key) return -1;
  }
}

void substring_index::set_edge(std::int32_t from, char16_t unit, std::int32_t target,
                               bool only_new) {
  if (2 * (edge_count_ + 1) > edges_.size()) {
    std::vector<edge> old(2 * edges_.size(), edge{empty_key, 0});
    old.swap(edges_);
    const std::size_t mask = edges_.size() - 1;
    for (const edge& e : old) {
      if (e.key == empty_key) continue;
      std::size_t slot = slot_of(e.key, mask);
      while (edges_[slot].key != empty_key)
        slot = (slot + 1) & mask;
      edges_[slot] = e;
    }
  }
  const std::uint64_t key = key_of(from, unit);
  const std::size_t mask = edges_.size() - 1;
  std::size_t slot = slot_of(key, mask);
  while (edges_[slot].key != empty_key && edges_[slot].key != key)
    slot = (slot + 1) & mask;
  if (edges_[slot].key == key) {
    if (!only_new) edges_[slot].target = target;
    return;
  }
  edges_[slot] = {key, target};
  ++edge_count_;
}

void substring_index::extend(char16_t unit) {
  const auto current = static_cast<std::int32_t>(states_.size());
  states_.push_back({states_[last_].length + 1, -1, 0});
  std::int32_t p = last_;
  while (p != -1 && transition(p, unit) < 0) {
    set_edge(p, unit, current);
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
      states_.push_back({states_[p].length + 1, states_[q].link, 0});
      for (std::size_t i = 0; i < query_.size(); ++i) {
        // The clone takes q's transitions: q's are among the query's units.
        const char16_t c = query_[i];
        const std::int32_t target = transition(q, c);
        if (target >= 0) set_edge(clone, c, target, true);
      }
      while (p != -1 && transition(p, unit) == q) {
        set_edge(p, unit, clone);
        p = states_[p].link;
      }
      states_[q].link = clone;
      states_[current].link = clone;
    }
  }
  last_ = current;
}

void substring_index::set_query(std::u16string_view query) {
  for (const char16_t c : query_)
    in_query_[c] = false;
  query_ = query;
  states_.assign(1, state{0, -1, 0});
  edges_.assign(std::max<std::size_t>(64, std::bit_ceil(8 * query.size())), edge{empty_key, 0});
  edge_count_ = 0;
  prefix_state_.clear();
  last_ = 0;
  for (const char16_t c : query_) {
    in_query_[c] = true;
    extend(c);
    prefix_state_.push_back(last_);
  }
}

void substring_index::add_text(std::u16string_view text) {
  std::int32_t v = 0;
  std::int32_t length = 0;
  for (const char16_t c : text) {
    if (!in_query_[c]) {  // no stretch of the query goes on through this unit
      v = 0;
      length = 0;
      continue;
    }
    std::int32_t next = transition(v, c);
    while (next < 0 && v != 0) {
      v = states_[v].link;
      length = states_[v].length;
      next = transition(v, c);
    }
    if (next < 0) {
      v = 0;
      length = 0;
      continue;
    }
    v = next;
    ++length;
    states_[v].best = std::max(states_[v].best, length);
  }
}

void substring_index::longest_matches(std::vector<std::int32_t>& longest) {
  // A stretch found in a text has all its suffixes found too: a state that saw a match makes
  // its suffix-link parent's whole class found. Longer states first.
  std::vector<std::int32_t> order(states_.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = static_cast<std::int32_t>(i);
  std::sort(order.begin(), order.end(),
            [&](std::int32_t a, std::int32_t b) { return states_[a].length > states_[b].length; });
  for (const std::int32_t v : order) {
    const std::int32_t link = states_[v].link;
    if (link > 0 && states_[v].best > 0) {
      states_[link].best = std::max(states_[link].best, states_[link].length);
    }
  }
  // The stretches ending at i are the classes on the suffix-link path of query[0..i]'s
  // state, longest first; the first one found gives the answer.
  longest.assign(query_.size(), 0);
  for (std::size_t i = 0; i < query_.size(); ++i) {
    for (std::int32_t u = prefix_state_[i]; u > 0; u = states_[u].link) {
      if (states_[u].best > 0) {
        longest[i] = std::min(states_[u].length, states_[u].best);
        break;
      }
    }
  }
}

}  // namespace tsugihagi
