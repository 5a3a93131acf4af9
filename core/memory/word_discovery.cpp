#include "core/memory/word_discovery.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tsugihagi {
namespace {

std::uint64_t serial_at(const conversation_log& log, std::size_t i) {
  return log.line_texts[i].serial;
}

std::size_t units_of(const conversation_log& log, std::size_t first, std::size_t count) {
  std::size_t units = count;  // a separator each
  for (std::size_t i = first; i < first + count; ++i)
    units += log.line_texts[i].text.size();
  return units;
}

constexpr std::size_t unit_set_bytes = 65536 / 8;

// A block of lines [first, first + count): with an automaton, or with only the set of units.
indexed_block build_block(const conversation_log& log, std::size_t first, std::size_t count,
                          bool with_automaton) {
  indexed_block b;
  std::vector<std::u16string_view> texts;
  for (std::size_t i = first; i < first + count; ++i) {
    b.serials.push_back(serial_at(log, i));
    texts.emplace_back(log.line_texts[i].text);
  }
  if (with_automaton) {
    b.automaton.build(texts);
    b.estimated_bytes = units_of(log, first, count) * block_index::estimated_bytes_per_unit;
  } else {
    b.units.assign(unit_set_bytes / 8, 0);
    for (const std::u16string_view text : texts) {
      for (const char16_t c : text)
        b.units[c / 64] |= std::uint64_t{1} << (c % 64);
    }
    b.estimated_bytes = unit_set_bytes;
  }
  return b;
}

bool shares_a_unit(const indexed_block& b, std::u16string_view line) {
  return std::any_of(line.begin(), line.end(),
                     [&](char16_t c) { return (b.units[c / 64] >> (c % 64) & 1) != 0; });
}

// Brings the blocks in line with log lines 1..n-1: a block stays while all its lines are
// still in place, side by side; a run of lines no block covers gets new blocks from its
// oldest end while it has a whole block's worth and the budget allows, one automaton per
// call. The lines left over go to `loose`.
// `at` receives each block's first line.
void update_blocks(conversation_log& log, std::vector<std::size_t>& loose,
                   std::vector<std::size_t>& at) {
  block_index& index = log.finder;
  const std::size_t k = index.lines_per_block;
  const std::size_t n = log.line_count();
  std::vector<indexed_block> kept;
  struct to_make {
    std::size_t first;
    bool with_automaton;
  };
  std::vector<to_make> made;
  // One automaton per call at most: a log read from its file is indexed over the next calls.
  std::size_t automata_left = 1;
  std::size_t budget_left = index.byte_budget;
  for (const indexed_block& b : index.blocks)  // those about to be dropped too, this time
    budget_left -= std::min(budget_left, b.estimated_bytes);
  const auto cover = [&](std::size_t begin, std::size_t end) {  // lines [begin, end)
    while (begin < end) {
      if (serial_at(log, begin) == 0) {
        loose.push_back(begin++);
        continue;
      }
      std::size_t run_end = begin;
      while (run_end < end && serial_at(log, run_end) != 0)
        ++run_end;
      // Whole blocks from the run's oldest end: with automata while the budget allows, then
      // with unit sets.
      std::size_t i = run_end;
      for (; i - begin >= k; i -= k) {
        const std::size_t automaton_bytes =
            units_of(log, i - k, k) * block_index::estimated_bytes_per_unit;
        const bool with_automaton = automaton_bytes <= budget_left;
        if (with_automaton && automata_left == 0) break;  // on a later call
        if (with_automaton) --automata_left;
        const std::size_t bytes = with_automaton ? automaton_bytes : unit_set_bytes;
        if (bytes > budget_left) break;
        budget_left -= bytes;
        made.push_back({i - k, with_automaton});
      }
      for (std::size_t j = begin; j < i; ++j)
        loose.push_back(j);
      for (auto m = made.rbegin(); m != made.rend(); ++m) {
        at.push_back(m->first);
        kept.push_back(build_block(log, m->first, k, m->with_automaton));
      }
      made.clear();
      begin = run_end;
    }
  };
  std::size_t next = 1;  // the first line not yet placed
  for (indexed_block& b : index.blocks) {
    std::size_t first = next;
    while (first < n && serial_at(log, first) != b.serials[0])
      ++first;
    bool in_place = first + b.serials.size() <= n;
    for (std::size_t j = 1; in_place && j < b.serials.size(); ++j)
      in_place = serial_at(log, first + j) == b.serials[j];
    if (!in_place) continue;  // dropped: its lines still logged are covered anew
    cover(next, first);
    next = first + b.serials.size();
    at.push_back(first);
    kept.push_back(std::move(b));
  }
  cover(next, n);
  index.blocks = std::move(kept);
}

}  // namespace

void discover_words(strmorph::dic_t& d, conversation_log& log) {
  if (log.line_count() < 2 || log.line_texts[0].text.empty()) return;
  const std::u16string& line = log.line_texts[0].text;
  const char16_t* u = line.data();
  // longest[i]: the longest stretch ending at i found in an older line; a window occurs in an
  // older line iff the one ending where it ends is at least as long as the window. The lines
  // in blocks are matched against each block's automaton, the rest run through the line's,
  // but for blocks kept as unit sets that share no unit with the line.
  std::vector<std::size_t> loose;
  std::vector<std::size_t> at;
  update_blocks(log, loose, at);
  for (std::size_t j = 0; j < at.size(); ++j) {
    const indexed_block& b = log.finder.blocks[j];
    if (b.automaton.built() || !shares_a_unit(b, line)) continue;
    for (std::size_t i = at[j]; i < at[j] + b.serials.size(); ++i)
      loose.push_back(i);
  }
  std::vector<std::int32_t> longest(line.size(), 0);
  if (!loose.empty()) {
    log.finder.scan.set_query(line);
    for (const std::size_t i : loose)
      log.finder.scan.add_text(log.line_texts[i].text);
    log.finder.scan.longest_matches(longest);
  }
  for (const indexed_block& b : log.finder.blocks) {
    if (b.automaton.built()) b.automaton.raise_longest(line, longest);
  }
  discover_found_windows(longest,
                         [&](std::int32_t w, std::int32_t n) { strmorph::add_word(d, u + w, n); });
}

}  // namespace tsugihagi
