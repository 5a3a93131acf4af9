#include "core/reply/phrase_reply.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace tsugihagi {
namespace {

// Takes the element at index draw(size) of the set in ascending order out of it.
std::int32_t take_drawn(id_pool& pool, random_source& rng) {
  auto it = pool.begin();
  std::advance(it, draw(rng, static_cast<std::uint32_t>(pool.size())));
  const std::int32_t id = *it;
  pool.erase(it);
  return id;
}

std::int32_t pick(const std::vector<std::int32_t>& gathered, random_source& rng) {
  return gathered[draw(rng, static_cast<std::uint32_t>(gathered.size()))];
}

// Inserts w's co-occurrence pairs into the associations, once per reply.
void associate(const strmorph::dic_t& d, const strmorph::wordinfo_t& w, std::int32_t id,
               candidates& c) {
  if (!c.associated.insert(id).second) return;
  const auto small = static_cast<std::int32_t>(c.counted.size());
  for_each_pair(w.cooc, [&](std::int32_t x, std::int32_t count) {
    const bool is_small = count >= 0 && count < small;
    if (is_small && c.counted[static_cast<std::size_t>(count)]) return;  // the key is taken
    if (strmorph::word_at(d, x) == nullptr) return;
    c.associations.try_emplace(count, static_cast<std::uint32_t>(x));
    if (is_small) c.counted[static_cast<std::size_t>(count)] = true;
  });
}

void add_phrases(const strmorph::dic_t& d, const strmorph::wordinfo_t& w, candidates& c) {
  for_each_id(w.idioms, [&](std::int32_t y) {
    if (strmorph::idiom_at(d, y) != nullptr) c.phrases.insert(y);
  });
}

// The phrase without elements that name no live word.
strmorph::idiom_t live_phrase(const strmorph::dic_t& d, const strmorph::idiom_t& phrase) {
  strmorph::idiom_t live;
  for (std::size_t k = 0; k < phrase.ids.size(); ++k) {
    if (strmorph::word_at(d, phrase.ids[k]) == nullptr) continue;
    live.ids.push_back(phrase.ids[k]);
    live.flags.push_back(phrase.flags[k]);
  }
  if (!live.flags.empty()) live.flags.back() = phrase.flags.back();
  return live;
}

}  // namespace

void collect_candidates(const strmorph::dic_t& d, const conversation_log& log, std::size_t i,
                        candidates& c) {
  // The line's words first, then the words they co-occurred with, in order. A word met a
  // second time in one call adds nothing, so it is skipped.
  std::unordered_set<std::int32_t> reached;
  std::vector<std::int32_t> work;
  for (const std::int32_t w : log.line_words[i].ids) {
    const strmorph::wordinfo_t* info = strmorph::word_at(d, w);
    if (info == nullptr || !reached.insert(w).second) continue;
    associate(d, *info, w, c);
    for_each_pair(info->cooc, [&](std::int32_t x, std::int32_t) { work.push_back(x); });
    add_phrases(d, *info, c);
  }
  for (const std::int32_t x : work) {
    const strmorph::wordinfo_t* info = strmorph::word_at(d, x);
    if (info == nullptr || !reached.insert(x).second) continue;
    associate(d, *info, x, c);
    add_phrases(d, *info, c);
  }
}

bool realise_phrase(const strmorph::dic_t& d, const association_map& associations,
                    random_source& rng, const strmorph::idiom_t& phrase, reply_sequence& seq) {
  const std::vector<std::int32_t>& ids = phrase.ids;
  const std::size_t n = ids.size();
  if (!can_start(d, ids[0])) {
    std::vector<std::int32_t> starts;
    for (const std::int32_t u : unpack_ids(strmorph::word_at(d, ids[0])->prev)) {
      if (can_start(d, u)) starts.push_back(u);
    }
    if (starts.empty()) return false;
    seq.push_back(pick(starts, rng));
  }
  for (std::size_t k = 0; k + 1 < n; ++k) {
    seq.push_back(ids[k]);
    if (phrase.flags[k] != 0) continue;
    std::vector<std::int32_t> fillers;
    for (const auto& [count, word] : associations) {
      const auto j = static_cast<std::int32_t>(word);
      if (std::find(ids.begin(), ids.end(), j) != ids.end()) continue;
      if (has_next(d, ids[k], j) && has_next(d, j, ids[k + 1])) fillers.push_back(j);
    }
    if (fillers.empty()) return false;
    seq.push_back(pick(fillers, rng));
  }
  seq.push_back(ids[n - 1]);

  const std::int32_t last = seq.back();
  if (can_end(d, last)) return true;
  std::vector<std::int32_t> closers;
  for (const id_count& p : unpack_pairs(strmorph::word_at(d, last)->next)) {
    if (can_end(d, p.id)) closers.push_back(p.id);
  }
  if (closers.empty()) return false;
  seq.push_back(pick(closers, rng));
  return true;
}

bool vary_phrase(const strmorph::dic_t& d, const association_map& associations, random_source& rng,
                 const strmorph::idiom_t& phrase, reply_sequence& seq) {
  const std::vector<std::int32_t>& ids = phrase.ids;
  const auto n = static_cast<std::uint32_t>(ids.size());
  std::vector<bool> chosen(n, false);
  const std::uint32_t m = draw(rng, n / 2) + 1;
  for (std::uint32_t i = 0; i < m; ++i) {
    std::uint32_t p;
    do {
      p = draw(rng, n);
    } while (chosen[p]);
    chosen[p] = true;
  }
  id_pool replacements;
  for (const auto& [count, word] : associations) {
    const auto j = static_cast<std::int32_t>(word);
    if (std::find(ids.begin(), ids.end(), j) == ids.end()) replacements.insert(j);
  }
  for (std::uint32_t p = 0; p < n; ++p) {
    if (!chosen[p]) {
      seq.push_back(ids[p]);
      continue;
    }
    for (;;) {
      if (replacements.empty()) return false;
      const std::int32_t candidate = take_drawn(replacements, rng);
      const bool fits =
          p == 0 ? has_next(d, candidate, ids[1]) : has_prev(d, candidate, ids[p - 1]);
      if (fits) {
        seq.push_back(candidate);
        break;
      }
    }
  }
  return true;
}

bool reply_from_phrases(const strmorph::dic_t& d, conversation_log& log, random_source& rng,
                        reply_sequence& seq) {
  candidates c;
  const association_map& associations = c.associations;
  id_pool& phrases = c.phrases;
  for (std::size_t i = 0; i < log.line_count(); ++i) {
    word_entry& entry = log.line_words[i];
    if (entry.used) continue;
    collect_candidates(d, log, i, c);
    if (phrases.empty() || associations.empty()) continue;
    while (!phrases.empty()) {
      const std::int32_t id = take_drawn(phrases, rng);
      seq.clear();
      const strmorph::idiom_t& stored = *strmorph::idiom_at(d, id);
      const strmorph::idiom_t phrase = live_phrase(d, stored);
      // A phrase left with no live word fails as a candidate of its stored kind.
      if (stored.flags.back() != 0) {
        if (phrase.ids.size() >= 2 && vary_phrase(d, associations, rng, phrase, seq)) return true;
      } else if (!phrase.ids.empty() && realise_phrase(d, associations, rng, phrase, seq)) {
        entry.used = true;
        return true;
      } else if (phrases.empty()) {
        entry.used = true;
      }
    }
  }
  seq.clear();
  return false;
}

}  // namespace tsugihagi
