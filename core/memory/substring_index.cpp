#include "core/memory/substring_index.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <utility>

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

namespace tsugihagi::detail {

// The automaton while it grows: edges in a hash table by (state, unit), each also on a list
// of its state's edges so that a clone can copy them.
struct growing_automaton {
  struct edge {
    std::int32_t from;
    std::int32_t target;
    std::int32_t next;  // the next edge of the same state, or -1
    char16_t unit;
  };
  std::vector<std::int32_t> length{0};
  std::vector<std::int32_t> link{-1};
  std::vector<std::int32_t> newest{std::numeric_limits<std::int32_t>::max()};
  std::vector<std::int32_t> head{-1};  // by state: its first edge, or -1
  std::vector<edge> edges;
  std::vector<std::int32_t> slots;  // edge indices; -1 for a free slot
  std::int32_t last = 0;
  std::int32_t text = -1;  // the text being added

  explicit growing_automaton(std::size_t units) : slots(std::bit_ceil(8 * units + 16), -1) {
    length.reserve(2 * units + 2);
    link.reserve(2 * units + 2);
    newest.reserve(2 * units + 2);
    head.reserve(2 * units + 2);
    edges.reserve(3 * units + 4);
  }

  std::int32_t find(std::int32_t from, char16_t unit) const {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = slot_of(key_of(from, unit), mask);; slot = (slot + 1) & mask) {
      const std::int32_t e = slots[slot];
      if (e < 0) return -1;
      if (edges[static_cast<std::size_t>(e)].from == from &&
          edges[static_cast<std::size_t>(e)].unit == unit)
        return e;
    }
  }

  std::int32_t transition(std::int32_t from, char16_t unit) const {
    const std::int32_t e = find(from, unit);
    return e < 0 ? -1 : edges[static_cast<std::size_t>(e)].target;
  }

  void add_edge(std::int32_t from, char16_t unit, std::int32_t target) {
    const auto e = static_cast<std::int32_t>(edges.size());
    edges.push_back({from, target, head[static_cast<std::size_t>(from)], unit});
    head[static_cast<std::size_t>(from)] = e;
    if (2 * edges.size() > slots.size()) {
      slots.assign(2 * slots.size(), -1);
      for (std::size_t i = 0; i < edges.size(); ++i)
        place(static_cast<std::int32_t>(i));
    } else {
      place(e);
    }
  }

  void place(std::int32_t e) {
    const edge& x = edges[static_cast<std::size_t>(e)];
    const std::size_t mask = slots.size() - 1;
    std::size_t slot = slot_of(key_of(x.from, x.unit), mask);
    while (slots[slot] >= 0)
      slot = (slot + 1) & mask;
    slots[slot] = e;
  }

  std::int32_t add_state(std::int32_t state_length, std::int32_t state_link,
                         std::int32_t state_newest) {
    length.push_back(state_length);
    link.push_back(state_link);
    newest.push_back(state_newest);
    head.push_back(-1);
    return static_cast<std::int32_t>(length.size() - 1);
  }

  void add_text(std::u16string_view t) {
    // A NUL between texts: the queries' stretches never hold one, so none spans two texts.
    if (text >= 0) extend(u'\0');
    ++text;
    for (const char16_t c : t)
      extend(c);
  }

  void extend(char16_t unit) {
    const std::int32_t current = add_state(length[static_cast<std::size_t>(last)] + 1, 0, text);
    std::int32_t p = last;
    last = current;
    while (p != -1 && find(p, unit) < 0) {
      add_edge(p, unit, current);
      p = link[static_cast<std::size_t>(p)];
    }
    if (p != -1) {
      const std::int32_t q = edges[static_cast<std::size_t>(find(p, unit))].target;
      const auto qi = static_cast<std::size_t>(q);
      if (length[static_cast<std::size_t>(p)] + 1 == length[qi]) {
        link[static_cast<std::size_t>(current)] = q;
      } else {
        const std::int32_t clone =
            add_state(length[static_cast<std::size_t>(p)] + 1, link[qi], newest[qi]);
        for (std::int32_t e = head[qi]; e >= 0; e = edges[static_cast<std::size_t>(e)].next)
          add_edge(clone, edges[static_cast<std::size_t>(e)].unit,
                   edges[static_cast<std::size_t>(e)].target);
        for (; p != -1; p = link[static_cast<std::size_t>(p)]) {
          const std::int32_t e = find(p, unit);
          if (e < 0 || edges[static_cast<std::size_t>(e)].target != q) break;
          edges[static_cast<std::size_t>(e)].target = clone;
        }
        link[qi] = clone;
        link[static_cast<std::size_t>(current)] = clone;
      }
    }
    // Every suffix of the stretch now ends in this text too. A state already marked has its
    // whole suffix-link path marked, so the walk stops there.
    for (std::int32_t s = link[static_cast<std::size_t>(current)];
         s > 0 && newest[static_cast<std::size_t>(s)] != text;
         s = link[static_cast<std::size_t>(s)])
      newest[static_cast<std::size_t>(s)] = text;
  }

  std::size_t bytes() const {
    return (length.capacity() + link.capacity() + newest.capacity() + head.capacity() +
            slots.capacity()) *
               sizeof(std::int32_t) +
           edges.capacity() * sizeof(edge);
  }
};

}  // namespace tsugihagi::detail

namespace tsugihagi {
namespace {

std::size_t root_slot_of(char16_t unit, std::size_t mask) {
  return slot_of(unit, mask);
}

// The longest stretches of the query found in texts first_text.. of an automaton with these
// transitions, suffix links, lengths and newest texts.
template <typename Transition>
void raise_longest_in(std::u16string_view query, std::vector<std::int32_t>& longest,
                      std::int32_t first_text, Transition transition,
                      const std::vector<std::int32_t>& link,
                      const std::vector<std::int32_t>& lengths,
                      const std::vector<std::int32_t>& newest) {
  std::int32_t v = 0;
  std::int32_t length = 0;
  for (std::size_t i = 0; i < query.size(); ++i) {
    const char16_t c = query[i];
    if (c == u'\0') {  // the texts' separator: no stretch of a text holds it
      v = 0;
      length = 0;
      continue;
    }
    std::int32_t next = transition(v, c);
    while (next < 0 && v != 0) {
      v = link[static_cast<std::size_t>(v)];
      length = lengths[static_cast<std::size_t>(v)];
      next = transition(v, c);
    }
    if (next < 0) {  // no text holds the unit
      length = 0;
      continue;
    }
    v = next;
    ++length;
    // A class met only in texts left out: its suffixes in shorter classes may be met later.
    // With no text left out every class is met (newest >= 0), and its newest is not read.
    if (first_text > 0) {
      while (newest[static_cast<std::size_t>(v)] < first_text) {
        v = link[static_cast<std::size_t>(v)];
        length = lengths[static_cast<std::size_t>(v)];
      }
    }
    longest[i] = std::max(longest[i], length);
  }
}

}  // namespace

text_automaton::text_automaton() = default;
text_automaton::~text_automaton() = default;
text_automaton::text_automaton(text_automaton&&) noexcept = default;
text_automaton& text_automaton::operator=(text_automaton&&) noexcept = default;

void text_automaton::build(std::span<const std::u16string_view> texts) {
  std::size_t units = 0;
  for (const std::u16string_view text : texts)
    units += text.size() + 1;
  *this = text_automaton();
  growing_ = std::make_unique<detail::growing_automaton>(units);
  for (const std::u16string_view text : texts)
    append(text);
  freeze();
}

void text_automaton::append(std::u16string_view text) {
  if (!growing_) growing_ = std::make_unique<detail::growing_automaton>(text.size() + 1);
  growing_->add_text(text);
  ++texts_;
}

void text_automaton::freeze() {
  if (!growing_) return;
  const detail::growing_automaton& b = *growing_;
  // Each state's edges side by side, sorted by unit.
  const std::size_t states = b.length.size();
  first_edge_.assign(states + 1, 0);
  for (const detail::growing_automaton::edge& e : b.edges)
    ++first_edge_[static_cast<std::size_t>(e.from) + 1];
  for (std::size_t s = 0; s < states; ++s)
    first_edge_[s + 1] += first_edge_[s];
  edges_.resize(b.edges.size());
  std::vector<std::pair<char16_t, std::int32_t>> sorted;
  for (std::size_t s = 0; s < states; ++s) {
    sorted.clear();
    for (std::int32_t e = b.head[s]; e >= 0; e = b.edges[static_cast<std::size_t>(e)].next)
      sorted.emplace_back(b.edges[static_cast<std::size_t>(e)].unit,
                          b.edges[static_cast<std::size_t>(e)].target);
    std::sort(sorted.begin(), sorted.end());
    auto at = static_cast<std::size_t>(first_edge_[s]);
    for (const auto& [unit, target] : sorted) {
      edges_[at] = {unit, target};
      ++at;
    }
  }
  const auto root_degree = static_cast<std::size_t>(first_edge_[1]);
  root_edges_.assign(std::bit_ceil(2 * root_degree + 2), root_edge{0, -1});
  const std::size_t mask = root_edges_.size() - 1;
  for (std::size_t e = 0; e < root_degree; ++e) {
    std::size_t slot = root_slot_of(edges_[e].unit, mask);
    while (root_edges_[slot].target >= 0)
      slot = (slot + 1) & mask;
    root_edges_[slot] = {edges_[e].unit, edges_[e].target};
  }
  length_ = std::move(growing_->length);
  link_ = std::move(growing_->link);
  newest_ = std::move(growing_->newest);
  length_.shrink_to_fit();
  link_.shrink_to_fit();
  newest_.shrink_to_fit();
  growing_.reset();
}

std::int32_t text_automaton::transition(std::int32_t from, char16_t unit) const {
  if (from == 0) {
    const std::size_t mask = root_edges_.size() - 1;
    for (std::size_t slot = root_slot_of(unit, mask);; slot = (slot + 1) & mask) {
      if (root_edges_[slot].target < 0) return -1;
      if (root_edges_[slot].unit == unit) return root_edges_[slot].target;
    }
  }
  const auto begin = edges_.begin() + first_edge_[static_cast<std::size_t>(from)];
  const auto end = edges_.begin() + first_edge_[static_cast<std::size_t>(from) + 1];
  auto at = begin;
  if (end - begin <= 8) {
    while (at != end && at->unit < unit)
      ++at;
  } else {
    at = std::lower_bound(begin, end, unit,
                          [](const frozen_edge& e, char16_t u) { return e.unit < u; });
  }
  if (at == end || at->unit != unit) return -1;
  return at->target;
}

void text_automaton::raise_longest(std::u16string_view query, std::vector<std::int32_t>& longest,
                                   std::int32_t first_text) const {
  if (texts_ == 0) return;
  if (growing_) {
    const detail::growing_automaton& g = *growing_;
    raise_longest_in(
        query, longest, first_text,
        [&](std::int32_t from, char16_t unit) { return g.transition(from, unit); }, g.link,
        g.length, g.newest);
  } else {
    raise_longest_in(
        query, longest, first_text,
        [&](std::int32_t from, char16_t unit) { return transition(from, unit); }, link_, length_,
        newest_);
  }
}

std::size_t text_automaton::bytes() const {
  if (growing_) return growing_->bytes();
  return (length_.capacity() + link_.capacity() + newest_.capacity() + first_edge_.capacity()) *
             sizeof(std::int32_t) +
         edges_.capacity() * sizeof(frozen_edge) + root_edges_.capacity() * sizeof(root_edge);
}

}  // namespace tsugihagi
