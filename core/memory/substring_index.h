// Answers "does this stretch occur in any of these texts?" for every stretch of a query at
// once: a suffix automaton over the texts (joined with NUL units, which texts never hold)
// gives, for each end position of the query, the length of the longest stretch ending there
// that occurs somewhere. Building costs O(total length) time and memory; a query costs
// O(query length) amortised.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tsugihagi {

class substring_index {
 public:
  substring_index();
  substring_index(const substring_index&) = delete;
  substring_index& operator=(const substring_index&) = delete;

  // Forgets every text.
  void clear();
  // Adds a text. REQUIRES: it holds no NUL unit.
  void add_text(std::u16string_view text);
  // longest[i] = the length of the longest stretch query[j..i] that occurs in an added text.
  // So query[w .. w+n-1] occurs iff longest[w+n-1] >= n.
  void longest_matches(std::u16string_view query, std::vector<std::int32_t>& longest) const;

 private:
  struct state {
    std::int32_t length;
    std::int32_t link;
    std::int32_t first_edge;  // into edges_, -1 when none
  };
  struct edge {
    char16_t unit;
    std::int32_t target;
    std::int32_t next;  // the state's next edge, -1 at the end
  };

  std::int32_t transition(std::int32_t from, char16_t unit) const;
  void set_transition(std::int32_t from, char16_t unit, std::int32_t to);
  void add_edge(std::int32_t from, char16_t unit, std::int32_t to);
  void extend(char16_t unit);
  void grow_table();

  std::vector<state> states_;
  std::vector<edge> edges_;
  std::vector<std::int32_t> root_edges_;  // the root's transitions, indexed by unit
  // Open addressing: (state, unit) -> index into edges_, for states other than the root.
  std::vector<std::int64_t> table_keys_;
  std::vector<std::int32_t> table_edges_;
  std::size_t table_used_ = 0;
  std::int32_t last_ = 0;
};

}  // namespace tsugihagi
