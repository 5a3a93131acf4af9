#include "core/io/pair_summary.h"

#include <algorithm>
#include <vector>

#include "core/io/list_extras_table.h"
#include "core/io/pair_index.h"

namespace tsugihagi {
namespace pair_summary {
namespace {

using pair_index::decode_at;

constexpr std::uint32_t small_count = 4096;

// The summary entry with the count, or -1.
std::ptrdiff_t summary_entry(const list_extras& extras, std::int32_t count) {
  for (std::size_t k = 0; k < extras.summary.size(); ++k) {
    if (extras.summary[k].count == count) return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

}  // namespace

// Whether the summary is kept pair by pair: an indexed list whose summary carries offsets
// and a tally (a summary made before the index was built does not).
bool summary_in_step(const packed_list& list) {
  const list_extras* extras = extras_of(list);
  return extras != nullptr && pair_index::has_index(*extras) && extras->has_summary &&
         !extras->tally.empty();
}

// Adds `delta` to the number of pairs holding the count; returns the number now.
std::int32_t tally_add(list_extras& extras, std::int32_t count, std::int32_t delta) {
  const auto it = std::ranges::lower_bound(extras.tally, count, {}, &id_count::id);
  if (it != extras.tally.end() && it->id == count) {
    it->count += delta;
    const std::int32_t now = it->count;
    if (now == 0) extras.tally.erase(it);
    return now;
  }
  extras.tally.insert(it, {count, delta});
  return delta;
}

// Makes the summary of the list's pairs; on an indexed list also its offsets and the tally.
// Counts below small_count are told apart by a bit each as the pairs go by; the pairs of
// larger counts are all kept at first, and the later ones of each such count dropped at the
// end, after a sort: O(pairs log pairs) whatever the counts.
void build_summary(const packed_list& list, list_extras& extras) {
  extras.summary.clear();
  extras.summary_offsets.clear();
  extras.tally.clear();
  const bool tallied = !extras.wide_slots.empty() ||
                       !extras.narrow_slots.empty();  // never so of a noncanonical list
  std::uint64_t seen[small_count / 64] = {};
  std::vector<std::int32_t> counts;
  bool large = false;
  const auto visit = [&](std::size_t start, std::int32_t id, std::int32_t count) {
    if (tallied) counts.push_back(count);
    const auto c = static_cast<std::uint32_t>(count);
    if (c < small_count) {
      if ((seen[c / 64] >> (c % 64) & 1) != 0) return;
      seen[c / 64] |= std::uint64_t{1} << (c % 64);
    } else {
      large = true;
    }
    extras.summary.push_back({id, count});
    if (tallied) extras.summary_offsets.push_back(static_cast<std::uint32_t>(start));
  };
  if (is_noncanonical(list)) {
    for (const id_count& p : unpack_pairs(list))
      visit(0, p.id, p.count);
  } else {
    packed_detail::walk_pairs(
        list.bytes(), [&](std::size_t start, std::uint32_t id, std::uint32_t count) {
          visit(start, static_cast<std::int32_t>(id), static_cast<std::int32_t>(count));
          return true;
        });
  }
  if (large) {
    // (count, place) of each large-count entry; the first place of each count stays.
    std::vector<std::pair<std::int32_t, std::uint32_t>> by_count;
    for (std::size_t k = 0; k < extras.summary.size(); ++k) {
      const std::int32_t count = extras.summary[k].count;
      if (static_cast<std::uint32_t>(count) >= small_count)
        by_count.emplace_back(count, static_cast<std::uint32_t>(k));
    }
    std::ranges::sort(by_count);
    std::vector<bool> later(extras.summary.size(), false);
    for (std::size_t k = 1; k < by_count.size(); ++k) {
      if (by_count[k].first == by_count[k - 1].first) later[by_count[k].second] = true;
    }
    std::size_t kept = 0;
    for (std::size_t k = 0; k < extras.summary.size(); ++k) {
      if (later[k]) continue;
      extras.summary[kept] = extras.summary[k];
      if (tallied) extras.summary_offsets[kept] = extras.summary_offsets[k];
      ++kept;
    }
    extras.summary.resize(kept);
    if (tallied) extras.summary_offsets.resize(kept);
  }
  if (tallied) {
    std::ranges::sort(counts);
    for (std::size_t k = 0; k < counts.size();) {
      std::size_t end = k;
      while (end < counts.size() && counts[end] == counts[k])
        ++end;
      extras.tally.push_back({counts[k], static_cast<std::int32_t>(end - k)});
      k = end;
    }
  }
  extras.summary.shrink_to_fit();
  extras.summary_offsets.shrink_to_fit();
  extras.has_summary = true;
}

// Sets entry k (or a new one when k is -1) to the pair at `offset` and moves it to its place
// in stored order.
void summary_set(list_extras& extras, std::ptrdiff_t k, id_count pair, std::uint32_t offset) {
  std::vector<id_count>& pairs = extras.summary;
  std::vector<std::uint32_t>& offsets = extras.summary_offsets;
  if (k < 0) {
    pairs.push_back(pair);
    offsets.push_back(offset);
    k = static_cast<std::ptrdiff_t>(pairs.size()) - 1;
  }
  auto i = static_cast<std::size_t>(k);
  pairs[i] = pair;
  offsets[i] = offset;
  for (; i > 0 && offsets[i - 1] > offsets[i]; --i) {
    std::swap(pairs[i - 1], pairs[i]);
    std::swap(offsets[i - 1], offsets[i]);
  }
  for (; i + 1 < pairs.size() && offsets[i + 1] < offsets[i]; ++i) {
    std::swap(pairs[i + 1], pairs[i]);
    std::swap(offsets[i + 1], offsets[i]);
  }
}

// Keeps the summary of an indexed list in step after the pair at `pos` went from count
// `before` to `after` (its bytes already rewritten, the later pairs moved by `shift`).
void summary_count_changed(packed_list& list, std::size_t pos, std::int32_t before,
                           std::int32_t after, std::ptrdiff_t shift) {
  list_extras& extras = *extras_of(list);
  const std::uint8_t* bytes = list.data.get();
  const auto id = static_cast<std::int32_t>(decode_at(bytes, pos));
  if (shift != 0) {
    for (std::uint32_t& offset : extras.summary_offsets) {
      if (offset > pos)
        offset = static_cast<std::uint32_t>(static_cast<std::ptrdiff_t>(offset) + shift);
    }
  }
  const std::int32_t left = tally_add(extras, before, -1);
  tally_add(extras, after, 1);
  const std::ptrdiff_t was = summary_entry(extras, before);
  if (was >= 0 && extras.summary_offsets[static_cast<std::size_t>(was)] == pos) {
    if (left == 0) {
      extras.summary.erase(extras.summary.begin() + was);
      extras.summary_offsets.erase(extras.summary_offsets.begin() + was);
    } else {
      // Another pair holds the count: the first one after this pair takes the place.
      const auto size = static_cast<std::size_t>(list.size);
      std::size_t at = pos + 1 + bytes[pos];
      at += 1 + bytes[at];
      while (at < size) {
        const std::size_t start = at;
        const auto other = static_cast<std::int32_t>(decode_at(bytes, at));
        at += 1 + bytes[at];
        const auto count = static_cast<std::int32_t>(decode_at(bytes, at));
        at += 1 + bytes[at];
        if (count == before) {
          summary_set(extras, was, {other, before}, static_cast<std::uint32_t>(start));
          break;
        }
      }
    }
  }
  const std::ptrdiff_t now = summary_entry(extras, after);
  if (now < 0 || extras.summary_offsets[static_cast<std::size_t>(now)] > pos)
    summary_set(extras, now, {id, after}, static_cast<std::uint32_t>(pos));
}

}  // namespace pair_summary

std::span<const id_count> first_pair_of_each_count(const packed_list& list) {
  list_extras& extras = make_extras(list);
  if (!extras.has_summary) pair_summary::build_summary(list, extras);
  return extras.summary;
}

}  // namespace tsugihagi
