// Answers "does this stretch of the query occur in any of these texts?" for every stretch of
// the query at once. A suffix automaton of the query (at most 2n states) is built first; each
// text then runs through it, recording the longest stretch of the query seen ending at each
// state. Costs O(query length) to build and O(text length) per text, whatever the texts hold;
// units the query lacks cost one table lookup. The automaton's edges live in one flat table
// with open addressing (16 bytes per slot, at most half full), so that a step is a probe or
// two in contiguous memory.
#pragma once

#include <cstdint>
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

}  // namespace tsugihagi
