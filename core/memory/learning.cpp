#include "core/memory/learning.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/dict/segmentation.h"
#include "core/memory/word_discovery.h"

namespace tsugihagi {
namespace {

constexpr char16_t ideographic_comma = u'\u3001';

strmorph::wordinfo_t& info(strmorph::dic_t& d, std::int32_t id) {
  return *strmorph::word_at(d, id);
}

// A pair list unpacked once for many count_in updates, with an index from id to the first
// pair holding it, so that each update is O(1) instead of a scan.
class working_pairs {
 public:
  explicit working_pairs(const packed_list& list) : pairs_(unpack_pairs(list)) {
    where_.reserve(pairs_.size() * 2);
    for (std::size_t i = 0; i < pairs_.size(); ++i)
      where_.try_emplace(pairs_[i].id, i);
  }
  void count_in(std::int32_t x) {
    const auto [it, inserted] = where_.try_emplace(x, pairs_.size());
    if (inserted) {
      pairs_.push_back({x, 0});
    } else {
      count_once_more(pairs_[it->second].count);
    }
  }
  packed_list pack() const { return pack_pairs(pairs_); }

 private:
  std::vector<id_count> pairs_;
  std::unordered_map<std::int32_t, std::size_t> where_;
};

// The working copies of several words' cooc lists, unpacked on first use.
class working_lists {
 public:
  explicit working_lists(strmorph::dic_t& d) : d_(d) {}
  working_pairs& cooc(std::int32_t w) {
    auto it = lists_.find(w);
    if (it == lists_.end()) it = lists_.emplace(w, working_pairs(info(d_, w).cooc)).first;
    return it->second;
  }
  // Packs every working copy back into its word.
  void store() {
    for (const auto& [w, list] : lists_)
      info(d_, w).cooc = list.pack();
  }

 private:
  strmorph::dic_t& d_;
  std::unordered_map<std::int32_t, working_pairs> lists_;
};

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
  if (words.size() >= 2) learn_word_links(d, words);
  learn_turn_links(d, log);
  learn_patterns(d, log, patterns);
  strmorph::release_freed_word_ids(d);
}

void store_line_words(strmorph::dic_t& d, conversation_log& log) {
  const std::u16string& text = log.line_texts[0].text;
  std::map<std::int32_t, std::int32_t> positions;
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
  const std::size_t n = w.size();
  working_lists cooc(d);
  for (std::size_t k = 0; k + 1 < n; ++k) {
    strmorph::wordinfo_t& current = info(d, w[k]);
    std::vector<id_count> next = unpack_pairs(current.next);
    count_in(next, w[k + 1]);
    current.next = pack_pairs(next);

    strmorph::wordinfo_t& following = info(d, w[k + 1]);
    std::vector<std::int32_t> prev = unpack_ids(following.prev);
    add_once(prev, w[k]);
    following.prev = pack_ids(prev);

    // Every later word is counted into w[k]'s list, and w[k] into each later word's list,
    // except into its own: there the copy of w[k]'s list written back last replaces it.
    working_pairs& kept = cooc.cooc(w[k]);
    for (std::size_t j = k + 1; j < n; ++j) {
      if (w[j] != w[k]) cooc.cooc(w[j]).count_in(w[k]);
      kept.count_in(w[j]);
    }
  }
  cooc.store();

  strmorph::wordinfo_t& first = info(d, w[0]);
  std::vector<std::int32_t> prev = unpack_ids(first.prev);
  add_once(prev, strmorph::boundary_id);
  first.prev = pack_ids(prev);

  const std::u16string_view last_text = strmorph::word_text(d, w[n - 1]);
  if (last_text.back() == ideographic_comma) return;
  strmorph::wordinfo_t& last = info(d, w[n - 1]);
  std::vector<id_count> next = unpack_pairs(last.next);
  count_in(next, strmorph::boundary_id);
  last.next = pack_pairs(next);
}

void learn_turn_links(strmorph::dic_t& d, const conversation_log& log) {
  // Every copy is taken before any is written back and a later write replaces an earlier
  // one, so each word of the newest line ends with its list plus the previous line's words,
  // and each other word of the previous line with its list plus the newest line's words.
  const std::vector<std::int32_t> now = strmorph::live_ids(d, log.line_words[0].ids);
  const std::vector<std::int32_t> before = log.line_count() >= 2
                                               ? strmorph::live_ids(d, log.line_words[1].ids)
                                               : std::vector<std::int32_t>{};
  const std::unordered_set<std::int32_t> in_now(now.begin(), now.end());
  std::unordered_set<std::int32_t> done;
  for (const std::int32_t p : before) {
    if (in_now.count(p) != 0 || !done.insert(p).second) continue;
    working_pairs list(info(d, p).cooc);
    for (const std::int32_t n : now)
      list.count_in(n);
    info(d, p).cooc = list.pack();
  }
  for (const std::int32_t n : now) {
    if (!done.insert(n).second) continue;
    working_pairs list(info(d, n).cooc);
    for (const std::int32_t p : before)
      list.count_in(p);
    info(d, n).cooc = list.pack();
  }
}

}  // namespace tsugihagi
