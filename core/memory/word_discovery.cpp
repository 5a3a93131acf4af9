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

indexed_block build_block(const conversation_log& log, std::size_t first, std::size_t count) {
  indexed_block b;
  std::vector<std::u16string_view> texts;
  std::size_t units = count;
  for (std::size_t i = first; i < first + count; ++i) {
    units += log.line_texts[i].text.size();
    b.serials.push_back(serial_at(log, i));
    texts.emplace_back(log.line_texts[i].text);
  }
  b.automaton.build(texts);
  b.estimated_bytes = units * block_index::estimated_bytes_per_unit;
  return b;
}

// Brings the blocks in line with log lines 1..n-1: a block stays while all its lines are
// still in place, side by side; a run of lines no block covers gets new blocks from its
// oldest end while it has a whole block's worth and the budget allows. The lines left over go
// to `loose`.
void update_blocks(conversation_log& log, std::vector<std::size_t>& loose) {
  block_index& index = log.finder;
  const std::size_t k = index.lines_per_block;
  const std::size_t n = log.line_count();
  std::vector<indexed_block> kept;
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
      // Whole blocks from the run's oldest end, while the budget allows.
      std::size_t blocked = run_end;
      while (blocked - begin >= k) {
        std::size_t units = k;
        for (std::size_t i = blocked - k; i < blocked; ++i)
          units += log.line_texts[i].text.size();
        const std::size_t estimate = units * block_index::estimated_bytes_per_unit;
        if (estimate > budget_left) break;
        budget_left -= estimate;
        blocked -= k;
      }
      for (std::size_t i = begin; i < blocked; ++i)
        loose.push_back(i);
      for (std::size_t i = blocked; i < run_end; i += k)
        kept.push_back(build_block(log, i, k));
      begin = run_end;
    }
  };
  std::size_t next = 1;  // the first line not yet placed
  for (indexed_block& b : index.blocks) {
    std::size_t at = next;
    while (at < n && serial_at(log, at) != b.serials[0])
      ++at;
    bool in_place = at + b.serials.size() <= n;
    for (std::size_t j = 1; in_place && j < b.serials.size(); ++j)
      in_place = serial_at(log, at + j) == b.serials[j];
    if (!in_place) continue;  // dropped: its lines still logged are covered anew
    cover(next, at);
    next = at + b.serials.size();
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
  // in blocks are matched against each block's automaton, the rest run through the line's.
  std::vector<std::size_t> loose;
  update_blocks(log, loose);
  std::vector<std::int32_t> longest(line.size(), 0);
  if (!loose.empty()) {
    log.finder.scan.set_query(line);
    for (const std::size_t i : loose)
      log.finder.scan.add_text(log.line_texts[i].text);
    log.finder.scan.longest_matches(longest);
  }
  for (const indexed_block& b : log.finder.blocks)
    b.automaton.raise_longest(line, longest);
  discover_found_windows(longest,
                         [&](std::int32_t w, std::int32_t n) { strmorph::add_word(d, u + w, n); });
}

}  // namespace tsugihagi
