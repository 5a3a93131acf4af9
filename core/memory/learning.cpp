#include "core/memory/learning.h"

#include <algorithm>
#include <map>
#include <vector>

#include "core/dict/segmentation.h"
#include "core/io/pair_counting.h"
#include "core/memory/word_discovery.h"

namespace tsugihagi {
namespace {

constexpr char16_t ideographic_comma = u'\u3001';

strmorph::wordinfo_t& info(strmorph::dic_t& d, std::int32_t id) {
  return *strmorph::word_at(d, id);
}

// Sightings to count into cooc lists, kept per list in the order they were made and then
// counted list by list. Counting into one list never reads another, and within a list only
// the order of its own sightings shapes the bytes, so this equals counting each at once.
// A caller looks each word's list up once (list_of) and then adds sightings by that handle.
// The sightings of all lists lie in one array, in the order made, and are gathered list by
// list (a stable counting sort) only to be counted; lists are found through a small table
// of open addressing. Every buffer is kept from line to line: one object serves every line a
// thread learns (see scratch_sightings), so that learning a line allocates nothing here.
class cooc_sightings {
 public:
  // Forgets the sightings of the line before, keeping the memory.
  void clear() {
    if (!words_.empty()) std::fill(slots_.begin(), slots_.end(), empty);
    words_.clear();
    made_.clear();
  }
  std::size_t list_of(std::int32_t word) {
    if (2 * (words_.size() + 1) > slots_.size()) grow();
    std::size_t slot = home(word);
    for (; slots_[slot] != empty; slot = (slot + 1) & (slots_.size() - 1)) {
      const auto list = static_cast<std::size_t>(slots_[slot]);
      if (words_[list] == word) return list;
    }
    slots_[slot] = static_cast<std::int32_t>(words_.size());
    words_.push_back(word);
    return words_.size() - 1;
  }
  void add(std::size_t list, std::int32_t x) {
    made_.push_back({static_cast<std::uint32_t>(list), x});
  }
  void count_all(strmorph::dic_t& d) {
    const std::size_t n = words_.size();
    starts_.assign(n + 1, 0);
    for (const sighting& s : made_)
      ++starts_[s.list + 1];
    for (std::size_t k = 0; k < n; ++k)
      starts_[k + 1] += starts_[k];
    gathered_.resize(made_.size());
    next_.assign(starts_.begin(), starts_.end() - 1);
    for (const sighting& s : made_)
      gathered_[next_[s.list]++] = s.x;
    lists_.clear();
    xs_.clear();
    for (std::size_t k = 0; k < n; ++k) {
      lists_.push_back(&info(d, words_[k]).cooc);
      xs_.emplace_back(gathered_.data() + starts_[k], starts_[k + 1] - starts_[k]);
    }
    count_in_pairs_each(lists_, xs_);
  }

 private:
  struct sighting {
    std::uint32_t list;
    std::int32_t x;
  };
  static constexpr std::int32_t empty = -1;

  std::size_t home(std::int32_t word) const {
    return static_cast<std::size_t>((static_cast<std::uint32_t>(word) * 0x9E3779B1u) >> 16) &
           (slots_.size() - 1);
  }
  void grow() {
    slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), empty);
    for (std::size_t list = 0; list < words_.size(); ++list) {
      std::size_t slot = home(words_[list]);
      while (slots_[slot] != empty)
        slot = (slot + 1) & (slots_.size() - 1);
      slots_[slot] = static_cast<std::int32_t>(list);
    }
  }

  std::vector<std::int32_t> words_;  // by list: its word
  std::vector<std::int32_t> slots_;  // lists by their words' hash; empty: a free slot
  std::vector<sighting> made_;       // every sighting, in the order made
  std::vector<std::size_t> starts_;  // by list: where its sightings begin in gathered_
  std::vector<std::size_t> next_;
  std::vector<std::int32_t> gathered_;
  std::vector<packed_list*> lists_;
  std::vector<std::span<const std::int32_t>> xs_;
};

// The calling thread's sightings object, cleared.
cooc_sightings& scratch_sightings() {
  thread_local cooc_sightings sightings;
  sightings.clear();
  return sightings;
}

void learn_word_links(strmorph::dic_t& d, std::span<const std::int32_t> w,
                      cooc_sightings& sightings) {
  const std::size_t n = w.size();
  std::vector<std::size_t> lists(n);
  for (std::size_t k = 0; k < n; ++k)
    lists[k] = sightings.list_of(w[k]);
  for (std::size_t k = 0; k + 1 < n; ++k) {
    count_in_pair(info(d, w[k]).next, w[k + 1]);
    add_once_id(info(d, w[k + 1]).prev, w[k]);
    // Every later word is counted into w[k]'s list, and w[k] into each later word's list,
    // except into its own: there the copy of w[k]'s list written back last replaces it.
    for (std::size_t j = k + 1; j < n; ++j) {
      if (w[j] != w[k]) sightings.add(lists[j], w[k]);
      sightings.add(lists[k], w[j]);
    }
  }
  add_once_id(info(d, w[0]).prev, strmorph::boundary_id);
  const std::u16string_view last_text = strmorph::word_text(d, w[n - 1]);
  if (last_text.back() == ideographic_comma) return;
  count_in_pair(info(d, w[n - 1]).next, strmorph::boundary_id);
}

void learn_turn_links(strmorph::dic_t& d, const conversation_log& log, cooc_sightings& sightings) {
  // Every copy is taken before any is written back and a later write replaces an earlier
  // one, so each word of the newest line ends with its list plus the previous line's words,
  // and each other word of the previous line with its list plus the newest line's words.
  const std::vector<std::int32_t> now = strmorph::live_ids(d, log.line_words[0].ids);
  if (log.line_count() < 2) {
    // Every list is rewritten unchanged: only a list read as a file held it is packed anew.
    for (const std::int32_t n : now)
      pack_anew(info(d, n).cooc, list_kind::pairs);
    return;
  }
  const std::vector<std::int32_t> before = strmorph::live_ids(d, log.line_words[1].ids);
  std::vector<std::int32_t> done;  // at most two lines' words: a scan beats hashing
  const auto first_time = [&](std::int32_t id) {
    if (std::find(done.begin(), done.end(), id) != done.end()) return false;
    done.push_back(id);
    return true;
  };
  for (const std::int32_t n : now)
    first_time(n);
  for (const std::int32_t p : before) {
    if (!first_time(p)) continue;
    const std::size_t list = sightings.list_of(p);
    for (const std::int32_t n : now)
      sightings.add(list, n);
  }
  done.resize(0);
  for (const std::int32_t n : now) {
    if (!first_time(n)) continue;
    const std::size_t list = sightings.list_of(n);
    for (const std::int32_t p : before)
      sightings.add(list, p);
  }
}

}  // namespace

void count_in(std::vector<id_count>& list, std::int32_t x) {
  for (id_count& p : list) {
    if (p.id == x) {
      count_once_more(p.count);
      return;
    }
  }
  list.push_back({x, 0});
}

void add_once(std::vector<std::int32_t>& list, std::int32_t x) {
  if (std::find(list.begin(), list.end(), x) == list.end()) list.push_back(x);
}

void learn_line(strmorph::dic_t& d, conversation_log& log, pattern_history& patterns,
                std::u16string_view line) {
  strmorph::hold_freed_word_ids(d);
  add_line(log, line);
  if (log.line_count() >= 2) discover_words(d, log);
  store_line_words(d, log);
  const std::vector<std::int32_t> words = strmorph::live_ids(d, log.line_words[0].ids);
  cooc_sightings& sightings = scratch_sightings();
  if (words.size() >= 2) learn_word_links(d, words, sightings);
  learn_turn_links(d, log, sightings);
  sightings.count_all(d);
  learn_patterns(d, log, patterns);
  strmorph::release_freed_word_ids(d);
}

void store_line_words(strmorph::dic_t& d, conversation_log& log) {
  const std::u16string& text = log.line_texts[0].text;
  thread_local std::vector<std::pair<std::int32_t, std::int32_t>> positions;
  const bool all_known = segment(d, text.data(), static_cast<std::int32_t>(text.size()), positions);
  std::vector<std::int32_t>& ids = log.line_words[0].ids;
  ids.clear();
  ids.reserve(positions.size());
  for (const auto& [position, id] : positions)
    ids.push_back(id);
  if (!all_known || ids.empty()) return;
  strmorph::idiom_t idiom{ids, std::vector<std::uint8_t>(ids.size(), 0)};
  idiom.flags.back() = 1;
  const auto [idiom_id, inserted] = strmorph::add_idiom(d, std::move(idiom));
  if (inserted) strmorph::link_idiom(d, ids, idiom_id);
}

void learn_word_links(strmorph::dic_t& d, std::span<const std::int32_t> w) {
  cooc_sightings& sightings = scratch_sightings();
  learn_word_links(d, w, sightings);
  sightings.count_all(d);
}

void learn_turn_links(strmorph::dic_t& d, const conversation_log& log) {
  cooc_sightings& sightings = scratch_sightings();
  learn_turn_links(d, log, sightings);
  sightings.count_all(d);
}

}  // namespace tsugihagi
