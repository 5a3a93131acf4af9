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
// A growing automaton holds at most about this much per unit of its texts (two states and
// three edges, with room for as many again as its tables double).
constexpr std::size_t growing_bytes_per_unit = 224;

// A block of lines [first, first + count): with an automaton, or with only the set of units.
indexed_block build_block(const conversation_log& log, std::size_t first, std::size_t count,
                          bool with_automaton) {
  indexed_block b;
  std::vector<std::u16string_view> texts;  // oldest first, as a growing block appends them
  for (std::size_t i = first; i < first + count; ++i)
    b.serials.push_back(serial_at(log, i));
  for (std::size_t i = first + count; i-- > first;)
    texts.emplace_back(log.line_texts[i].text);
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

bool growing(const indexed_block& b) {
  return b.automaton.built() && !b.automaton.frozen();
}

struct placed_block {
  std::size_t first;    // the log line of its newest line
  std::size_t present;  // how many of its lines are still logged: its newest ones
};

// Keeps the blocks over log lines 1..n-1 in step with the log, newest first, each over lines
// side by side:
// - A block stays while its lines are in place, but for lines gone from the log's old end.
// - The newest lines join the growing block in front of the others while it holds less than
//   a block's worth and the budget allows; it is frozen when a newer block takes the front.
//   Otherwise the newest lines start a new growing block.
// - A run of lines no block covers gets new blocks from its newest end while it has a whole
//   block's worth: with automata while the budget allows (one automaton per call: a log read
//   from its file is indexed over the next calls), then with unit sets.
// The lines left over go to `loose`; `at` receives where each block lies.
void update_blocks(conversation_log& log, std::vector<std::size_t>& loose,
                   std::vector<placed_block>& at) {
  block_index& index = log.finder;
  const std::size_t k = index.lines_per_block;
  const std::size_t n = log.line_count();
  std::size_t budget_left = index.byte_budget;
  for (const indexed_block& b : index.blocks)  // those about to be dropped too, this time
    budget_left -= std::min(budget_left, b.estimated_bytes);

  std::vector<indexed_block> placed;
  std::vector<placed_block> placed_at;
  std::size_t next = 1;  // the first line not yet placed
  for (indexed_block& b : index.blocks) {
    std::size_t first = next;
    while (first < n && serial_at(log, first) != b.serials[0])
      ++first;
    std::size_t present = 0;
    while (present < b.serials.size() && first + present < n &&
           serial_at(log, first + present) == b.serials[present])
      ++present;
    const bool in_place = present == b.serials.size() || (present > 0 && first + present == n);
    if (!in_place) continue;  // dropped: its lines still logged are covered anew
    placed.push_back(std::move(b));
    placed_at.push_back({first, present});
    next = first + present;
  }

  // A growing automaton is charged what it holds; it grows while what it may come to hold
  // fits.
  const auto grow = [&](indexed_block& b, std::size_t i) {
    const std::size_t held = b.estimated_bytes;
    const std::size_t units = b.units_held + log.line_texts[i].text.size() + 1;
    if (std::max(b.automaton.bytes(), units * growing_bytes_per_unit) > budget_left + held)
      return false;
    b.automaton.append(log.line_texts[i].text);
    b.serials.insert(b.serials.begin(), serial_at(log, i));
    b.units_held = units;
    b.estimated_bytes = b.automaton.bytes();
    budget_left = budget_left + held - b.estimated_bytes;
    return true;
  };
  std::size_t front = placed.empty() ? n : placed_at[0].first;  // lines 1..front-1: in none
  bool may_start = true;
  if (!placed.empty() && growing(placed[0])) {
    indexed_block& b = placed[0];
    while (front > 1 && serial_at(log, front - 1) != 0 && b.serials.size() < k &&
           grow(b, front - 1)) {
      --front;
      ++placed_at[0].present;
    }
    placed_at[0].first = front;
    if (front > 1 || b.serials.size() == k) {
      // Short of budget, the lines in front wait for a whole block's worth.
      may_start = b.serials.size() == k;
      const std::size_t held = b.estimated_bytes;
      b.automaton.freeze();
      b.estimated_bytes = b.automaton.bytes();
      budget_left = budget_left + held - b.estimated_bytes;
    }
  }

  std::vector<indexed_block> kept;
  next = 1;
  // A new growing block takes the newest lines in front, up to a block's worth, when the
  // budget has room for a block's worth of lines like the newest (else small blocks would
  // crowd the budget).
  if (front > 1 && k * (log.line_texts[1].text.size() + 1) * growing_bytes_per_unit > budget_left)
    may_start = false;
  std::size_t lines = 0;
  while (may_start && lines < k && lines + 1 < front && serial_at(log, lines + 1) != 0)
    ++lines;
  if (lines > 0) {
    indexed_block b;
    while (lines > 0 && grow(b, lines))
      --lines;
    if (b.automaton.built()) {
      next = 1 + b.serials.size() + lines;  // lines left at the front stay loose a while
      for (std::size_t i = 1; i <= lines; ++i)
        loose.push_back(i);
      at.push_back({lines + 1, b.serials.size()});
      kept.push_back(std::move(b));
    }
  }
  std::size_t automata_left = 1;
  const auto cover = [&](std::size_t begin, std::size_t end) {  // lines [begin, end)
    while (begin < end) {
      if (serial_at(log, begin) == 0) {
        loose.push_back(begin++);
        continue;
      }
      std::size_t run_end = begin;
      while (run_end < end && serial_at(log, run_end) != 0)
        ++run_end;
      std::size_t i = begin;
      for (; run_end - i >= k; i += k) {
        const std::size_t automaton_bytes =
            units_of(log, i, k) * block_index::estimated_bytes_per_unit;
        const bool with_automaton = automaton_bytes <= budget_left;
        if (with_automaton && automata_left == 0) break;  // on a later call
        if (with_automaton) --automata_left;
        const std::size_t bytes = with_automaton ? automaton_bytes : unit_set_bytes;
        if (bytes > budget_left) break;
        budget_left -= bytes;
        at.push_back({i, k});
        kept.push_back(build_block(log, i, k, with_automaton));
      }
      for (; i < run_end; ++i)
        loose.push_back(i);
      begin = run_end;
    }
  };
  for (std::size_t j = 0; j < placed.size(); ++j) {
    cover(next, placed_at[j].first);
    next = placed_at[j].first + placed_at[j].present;
    at.push_back(placed_at[j]);
    kept.push_back(std::move(placed[j]));
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
  // in blocks are matched against each block's automaton (leaving out its lines gone from the
  // log), the rest run through the line's, but for blocks kept as unit sets that share no
  // unit with the line.
  std::vector<std::size_t> loose;
  std::vector<placed_block> at;
  update_blocks(log, loose, at);
  for (std::size_t j = 0; j < at.size(); ++j) {
    const indexed_block& b = log.finder.blocks[j];
    if (b.automaton.built() || !shares_a_unit(b, line)) continue;
    for (std::size_t i = at[j].first; i < at[j].first + at[j].present; ++i)
      loose.push_back(i);
  }
  std::vector<std::int32_t> longest(line.size(), 0);
  if (!loose.empty()) {
    log.finder.scan.set_query(line);
    for (const std::size_t i : loose)
      log.finder.scan.add_text(log.line_texts[i].text);
    log.finder.scan.longest_matches(longest);
  }
  for (std::size_t j = 0; j < at.size(); ++j) {
    const indexed_block& b = log.finder.blocks[j];
    const auto gone = static_cast<std::int32_t>(b.serials.size() - at[j].present);
    if (b.automaton.built()) b.automaton.raise_longest(line, longest, gone);
  }
  discover_found_windows(longest,
                         [&](std::int32_t w, std::int32_t n) { strmorph::add_word(d, u + w, n); });
}

}  // namespace tsugihagi
