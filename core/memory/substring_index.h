// Answers "does this stretch of the query occur in any of these texts?" for every stretch of
// the query at once. A suffix automaton of the query (at most 2n states) is built first; each
// text then runs through it, recording the longest stretch of the query seen ending at each
// state. Costs O(query length) to build and O(text length) per text, whatever the texts hold;
// units the query lacks cost one table lookup.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
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

  std::int32_t transition(std::int32_t from, char16_t unit) const;
  void extend(char16_t unit);

  std::vector<state> states_;
  std::unordered_map<std::uint64_t, std::int32_t> edges_;  // (state, unit) -> state
  std::vector<std::int32_t> prefix_state_;                 // the state of query[0..i], for each i
  std::vector<bool> in_query_;                             // by unit: whether the query holds it
  std::u16string query_;  // a copy: the caller's text may be gone by the next query
  std::int32_t last_ = 0;
};

}  // namespace tsugihagi
