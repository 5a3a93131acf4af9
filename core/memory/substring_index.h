// Answers "does this stretch of the query occur in any of these texts?" for every stretch of
// the query at once, in three ways:
// - substring_index: a suffix automaton of the query (at most 2n states) is built first; each
//   text then runs through it, recording the longest stretch of the query seen ending at each
//   state. Costs O(query length) to build and O(text length) per text, whatever the texts
//   hold; units the query lacks cost one table lookup. The automaton's edges live in one flat
//   table with open addressing (16 bytes per slot, at most half full), so that a step is a
//   probe or two in contiguous memory.
// - text_automaton: a suffix automaton of a group of texts that records, for each state, the
//   newest text holding it. It grows text by text (O(text length) amortized, in a hash
//   table) and may then be frozen into sorted edge arrays, about 34 bytes per text unit (at
//   most about 60). Each query then costs O(query length), however long the texts are, and
//   may leave out the oldest texts.
// - block_index: text_automata over blocks of consecutive logged lines, kept beside the log so
//   that a new line is matched against a few automata instead of every older line. The
//   newest block grows as lines are logged; the oldest answers for its lines still logged.
//   Their memory is kept within a budget (4 MB), the lines beyond it being searched one by
//   one (a block of them skipped at once when it holds none of the line's units).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tsugihagi {

class substring_index {
 public:
  substring_index();
  substring_index(const substring_index&) = delete;
  substring_index& operator=(const substring_index&) = delete;

  // Starts over with a new query and no texts.
  void set_query(std::u16string_view query);
  // Runs a text through: its stretches that are also stretches of the query are recorded.
  void add_text(std::u16string_view text);
  // longest[i] = the length of the longest stretch query[j..i] that occurs in an added text.
  // So query[w .. w+n-1] occurs iff longest[w+n-1] >= n.
  void longest_matches(std::vector<std::int32_t>& longest);

 private:
  struct state {
    std::int32_t length;
    std::int32_t link;
    std::int32_t best;  // the longest stretch of this state's class found in a text
  };

  struct edge {
    std::uint64_t key;  // (state, unit); empty_key for a free slot
    std::int32_t target;
  };
  static constexpr std::uint64_t empty_key = ~std::uint64_t{0};

  std::int32_t transition(std::int32_t from, char16_t unit) const;
  // Sets the edge, or with only_new leaves an existing one as it is.
  void set_edge(std::int32_t from, char16_t unit, std::int32_t target, bool only_new = false);
  void extend(char16_t unit);

  std::vector<state> states_;
  std::vector<edge> edges_;  // (state, unit) -> state
  std::size_t edge_count_ = 0;
  std::vector<std::int32_t> prefix_state_;  // the state of query[0..i], for each i
  std::vector<bool> in_query_;              // by unit: whether the query holds it
  std::u16string query_;  // a copy: the caller's text may be gone by the next query
  std::int32_t last_ = 0;
};

namespace detail {
struct growing_automaton;
}

class text_automaton {
 public:
  text_automaton();
  ~text_automaton();
  text_automaton(text_automaton&&) noexcept;
  text_automaton& operator=(text_automaton&&) noexcept;
  text_automaton(const text_automaton&) = delete;
  text_automaton& operator=(const text_automaton&) = delete;

  // Replaces the automaton by a frozen one of these texts, text 0 the first appended.
  void build(std::span<const std::u16string_view> texts);
  // Adds a text after the others (O(text length) amortized), to an automaton not frozen: an
  // empty one or one grown by append. A stretch found later lies within one text.
  // REQUIRES: !frozen().
  void append(std::u16string_view text);
  // Turns a grown automaton into its compact form (sorted edge arrays), which answers
  // faster and takes about half the memory. O(states log degree).
  void freeze();
  // Raises longest[i] to the length of the longest stretch query[j..i] that occurs in one of
  // texts first_text, first_text + 1, ... (those appended before first_text are ignored).
  // O(query length). REQUIRES: longest.size() >= query.size().
  void raise_longest(std::u16string_view query, std::vector<std::int32_t>& longest,
                     std::int32_t first_text = 0) const;
  // The heap memory held, in bytes.
  std::size_t bytes() const;
  std::int32_t texts() const { return texts_; }
  bool built() const { return texts_ > 0; }
  bool frozen() const { return growing_ == nullptr && texts_ > 0; }

 private:
  std::int32_t transition(std::int32_t from, char16_t unit) const;

  // Invariant: while growing_ is set, it holds the whole automaton and the arrays below are
  // empty; once frozen, the arrays hold it and growing_ is null. In both forms newest[s] is
  // the last text holding an occurrence of state s's stretches (the root: every text); so
  // newest[link[s]] >= newest[s], a parent's stretches being suffixes of the child's.
  std::unique_ptr<detail::growing_automaton> growing_;
  std::int32_t texts_ = 0;
  std::vector<std::int32_t> length_;      // by state: its longest stretch
  std::vector<std::int32_t> link_;        // by state: its suffix link (-1 for the root)
  std::vector<std::int32_t> newest_;      // by state: see the invariant
  std::vector<std::int32_t> first_edge_;  // by state, and one more: its edges' range
  // Each edge's unit beside its target, so that an edge found costs no second read.
  struct frozen_edge {
    char16_t unit;
    std::int32_t target;
  };
  std::vector<frozen_edge> edges_;  // sorted by unit within a state's range
  // The root's edges again, in an open-addressing table (at most half full): matching falls
  // back to the root often, and the root has an edge for every unit some text holds.
  struct root_edge {
    char16_t unit;
    std::int32_t target;  // -1 for a free slot
  };
  std::vector<root_edge> root_edges_;
};

// A text_automaton of a block of consecutive logged lines, which are named by their serials
// (newest first) so that the block can be found again as lines come and go. The automaton
// holds them oldest first: text j is the line of serials[size - 1 - j].
struct indexed_block {
  std::vector<std::uint64_t> serials;
  text_automaton automaton;          // not built when the budget did not allow it; then
  std::vector<std::uint64_t> units;  // a bit per unit the lines hold, to skip them when the
                                     // new line holds none of these units
  std::size_t estimated_bytes = 0;   // charged against the index's budget
  std::size_t units_held = 0;        // while the automaton grows: its texts' units
};

struct block_index {
  // Lines per block: fewer makes each query cost more automata; more makes the growing
  // block (slower to query) larger, and leaves more lines outside every block after the log
  // is read or edited. REQUIRES: >= 1.
  std::size_t lines_per_block = 128;
  // No automaton is built that would take the blocks past this many bytes (as estimated from
  // their text: estimated_bytes_per_unit each); a block then keeps its set of units (8 KB)
  // while that fits.
  std::size_t byte_budget = std::size_t{4} << 20;
  static constexpr std::size_t estimated_bytes_per_unit = 52;
  std::vector<indexed_block> blocks;  // newest first, over disjoint runs of lines
  substring_index scan;               // for the lines no block covers
};

}  // namespace tsugihagi
