#include "tests/support/reference.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>
#include <vector>

#include "core/dict/segmentation.h"
#include "core/memory/learning.h"
#include "core/memory/word_discovery.h"
#include "tests/support/quick_search.h"

namespace tsugihagi::reference {
namespace {

strmorph::wordinfo_t& info(strmorph::dic_t& d, std::int32_t id) {
  return *strmorph::word_at(d, id);
}

}  // namespace

std::vector<std::int32_t> ids_of(const packed_list& list) {
  const std::span<const std::uint8_t> bytes = list.bytes();
  std::vector<std::int32_t> ids;
  for (std::size_t pos = 0; pos < bytes.size(); pos += 1 + bytes[pos]) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes[pos]; ++i)
      value |= std::uint32_t{bytes[pos + 1 + i]} << (8 * i);
    ids.push_back(static_cast<std::int32_t>(value));
  }
  return ids;
}

std::vector<id_count> pairs_of(const packed_list& list) {
  const std::vector<std::int32_t> values = ids_of(list);
  std::vector<id_count> pairs;
  std::unordered_set<std::int32_t> met(values.size());
  for (std::size_t k = 0; k + 1 < values.size(); k += 2) {
    if (met.insert(values[k]).second) pairs.push_back({values[k], values[k + 1]});
  }
  return pairs;
}

bool is_canonical(std::span<const std::uint8_t> bytes, list_kind kind) {
  const packed_list list = packed_from_bytes(bytes);
  const packed_list packed =
      kind == list_kind::ids ? pack_ids(ids_of(list)) : pack_pairs(pairs_of(list));
  return std::ranges::equal(packed.bytes(), bytes);
}

void discover_words(strmorph::dic_t& d, const conversation_log& log) {
  if (log.line_count() < 2) return;
  quick_search<char16_t> finder;
  const std::u16string& line = log.line_texts[0].text;
  const char16_t* u = line.data();
  const auto occurs = [&](std::int32_t w, std::int32_t n) {
    finder.set_pattern(u + w, n);
    for (std::size_t i = 1; i < log.line_count(); ++i) {
      const std::u16string& other = log.line_texts[i].text;
      if (finder.find(other.data(), static_cast<std::int32_t>(other.size())) >= 0) return true;
    }
    return false;
  };
  discover_windows(static_cast<std::int32_t>(line.size()), occurs,
                   [&](std::int32_t w, std::int32_t n) { strmorph::add_word(d, u + w, n); });
}

void learn_word_links(strmorph::dic_t& d, std::span<const std::int32_t> w) {
  const std::size_t n = w.size();
  for (std::size_t k = 0; k + 1 < n; ++k) {
    std::vector<id_count> next = pairs_of(info(d, w[k]).next);
    count_in(next, w[k + 1]);
    info(d, w[k]).next = pack_pairs(next);
    std::vector<std::int32_t> prev = ids_of(info(d, w[k + 1]).prev);
    add_once(prev, w[k]);
    info(d, w[k + 1]).prev = pack_ids(prev);
    std::vector<id_count> kept = pairs_of(info(d, w[k]).cooc);
    for (std::size_t j = k + 1; j < n; ++j) {
      std::vector<id_count> cooc = pairs_of(info(d, w[j]).cooc);
      count_in(cooc, w[k]);
      info(d, w[j]).cooc = pack_pairs(cooc);
      count_in(kept, w[j]);
    }
    info(d, w[k]).cooc = pack_pairs(kept);
  }
  std::vector<std::int32_t> prev = ids_of(info(d, w[0]).prev);
  add_once(prev, strmorph::boundary_id);
  info(d, w[0]).prev = pack_ids(prev);
  if (strmorph::word_text(d, w[n - 1]).back() == u'\u3001') return;
  std::vector<id_count> next = pairs_of(info(d, w[n - 1]).next);
  count_in(next, strmorph::boundary_id);
  info(d, w[n - 1]).next = pack_pairs(next);
}

void learn_turn_links(strmorph::dic_t& d, const conversation_log& log) {
  const std::vector<std::int32_t>& now = log.line_words[0].ids;
  std::vector<std::vector<id_count>> x;
  for (const std::int32_t id : now)
    x.push_back(pairs_of(info(d, id).cooc));
  if (log.line_count() >= 2) {
    const std::vector<std::int32_t>& before = log.line_words[1].ids;
    std::vector<std::vector<id_count>> y;
    for (const std::int32_t id : before)
      y.push_back(pairs_of(info(d, id).cooc));
    for (auto& xi : x) {
      for (const std::int32_t p : before)
        count_in(xi, p);
    }
    for (auto& yj : y) {
      for (const std::int32_t n : now)
        count_in(yj, n);
    }
    for (std::size_t j = 0; j < before.size(); ++j)
      info(d, before[j]).cooc = pack_pairs(y[j]);
  }
  for (std::size_t i = 0; i < now.size(); ++i)
    info(d, now[i]).cooc = pack_pairs(x[i]);
}

void collect_candidates(const strmorph::dic_t& d, const conversation_log& log, std::size_t i,
                        association_map& associations, id_pool& phrases) {
  const auto reach = [&](std::int32_t w, std::vector<std::int32_t>* work) {
    const strmorph::wordinfo_t* info = strmorph::word_at(d, w);
    if (info == nullptr) return;
    for (const id_count& p : pairs_of(info->cooc)) {
      if (strmorph::word_at(d, p.id) == nullptr) continue;
      associations.emplace(p.count, static_cast<std::uint32_t>(p.id));
      if (work != nullptr) work->push_back(p.id);
    }
    for (const std::int32_t y : ids_of(info->idioms)) {
      if (strmorph::idiom_at(d, y) != nullptr) phrases.insert(y);
    }
  };
  std::vector<std::int32_t> work;
  for (const std::int32_t w : log.line_words[i].ids)
    reach(w, &work);
  for (const std::int32_t x : work)
    reach(x, nullptr);
}

bool realise_phrase(const strmorph::dic_t& d, const association_map& associations,
                    random_source& rng, const strmorph::idiom_t& phrase, reply_sequence& seq) {
  const auto pick = [&](const std::vector<std::int32_t>& words) {
    return words[draw(rng, static_cast<std::uint32_t>(words.size()))];
  };
  const std::vector<std::int32_t>& ids = phrase.ids;
  const std::size_t n = ids.size();
  if (!can_start(d, ids[0])) {
    std::vector<std::int32_t> starts;
    for (const std::int32_t u : ids_of(strmorph::word_at(d, ids[0])->prev)) {
      if (can_start(d, u)) starts.push_back(u);
    }
    if (starts.empty()) return false;
    seq.push_back(pick(starts));
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
    seq.push_back(pick(fillers));
  }
  seq.push_back(ids[n - 1]);
  const std::int32_t last = seq.back();
  if (can_end(d, last)) return true;
  std::vector<std::int32_t> closers;
  for (const id_count& p : pairs_of(strmorph::word_at(d, last)->next)) {
    if (can_end(d, p.id)) closers.push_back(p.id);
  }
  if (closers.empty()) return false;
  seq.push_back(pick(closers));
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
      const std::int32_t candidate =
          take_nth(replacements, draw(rng, static_cast<std::uint32_t>(replacements.size())));
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

void count_in_pair(packed_list& list, std::int32_t x) {
  std::vector<id_count> pairs = pairs_of(list);
  count_in(pairs, x);
  list = pack_pairs(pairs);
}

void add_once_id(packed_list& list, std::int32_t x) {
  std::vector<std::int32_t> ids = ids_of(list);
  add_once(ids, x);
  list = pack_ids(ids);
}

void erase_first_id(packed_list& list, std::int32_t x) {
  std::vector<std::int32_t> ids = ids_of(list);
  const auto it = std::find(ids.begin(), ids.end(), x);
  if (it != ids.end()) ids.erase(it);
  list = pack_ids(ids);
}

void erase_first_pair(packed_list& list, std::int32_t x) {
  std::vector<id_count> pairs = pairs_of(list);
  const auto it =
      std::find_if(pairs.begin(), pairs.end(), [x](const id_count& p) { return p.id == x; });
  if (it != pairs.end()) pairs.erase(it);
  list = pack_pairs(pairs);
}

std::vector<id_count> first_pair_of_each_count(const packed_list& list) {
  std::vector<id_count> firsts;
  for (const id_count& p : pairs_of(list)) {
    if (std::ranges::none_of(firsts, [&](const id_count& f) { return f.count == p.count; }))
      firsts.push_back(p);
  }
  return firsts;
}

std::ptrdiff_t count_values(std::span<const std::uint8_t> bytes) {
  std::size_t pos = 0;
  std::ptrdiff_t count = 0;
  while (pos < bytes.size()) {
    const std::size_t length = bytes[pos];
    if (length > 4) return -1;
    pos += 1 + length;
    ++count;
  }
  return pos == bytes.size() ? count : -1;
}

std::int32_t take_nth(id_pool& pool, std::uint32_t r) {
  auto it = pool.begin();
  std::advance(it, r);
  const std::int32_t id = *it;
  pool.erase(it);
  return id;
}

bool reply_from_phrases(const strmorph::dic_t& d, conversation_log& log, random_source& rng,
                        reply_sequence& seq) {
  association_map associations;
  id_pool phrases;
  for (std::size_t i = 0; i < log.line_count(); ++i) {
    word_entry& entry = log.line_words[i];
    if (entry.used) continue;
    reference::collect_candidates(d, log, i, associations, phrases);
    if (phrases.empty() || associations.empty()) continue;
    while (!phrases.empty()) {
      const std::int32_t id =
          take_nth(phrases, draw(rng, static_cast<std::uint32_t>(phrases.size())));
      seq.clear();
      const strmorph::idiom_t& stored = *strmorph::idiom_at(d, id);
      strmorph::idiom_t phrase;  // its live words
      for (std::size_t k = 0; k < stored.ids.size(); ++k) {
        if (strmorph::word_at(d, stored.ids[k]) == nullptr) continue;
        phrase.ids.push_back(stored.ids[k]);
        phrase.flags.push_back(stored.flags[k]);
      }
      if (!phrase.flags.empty()) phrase.flags.back() = stored.flags.back();
      if (stored.flags.back() != 0) {
        if (phrase.ids.size() >= 2 && reference::vary_phrase(d, associations, rng, phrase, seq))
          return true;
      } else if (!phrase.ids.empty() &&
                 reference::realise_phrase(d, associations, rng, phrase, seq)) {
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

const strmorph::wordmap_t::value_type* find_word(const strmorph::dic_t& d,
                                                 std::u16string_view text) {
  const char16_t* probe = text.data();
  const auto it =
      d.wordmap.find(strmorph::wordkey_t{&probe, static_cast<std::int32_t>(text.size())});
  return it == d.wordmap.end() ? nullptr : &*it;
}

std::int32_t lcs_length(std::span<const std::int32_t> a, std::span<const std::int32_t> b) {
  std::vector<std::vector<std::int32_t>> t(a.size() + 1, std::vector<std::int32_t>(b.size() + 1));
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      t[i][j] = a[i - 1] == b[j - 1] ? t[i - 1][j - 1] + 1 : std::max(t[i - 1][j], t[i][j - 1]);
    }
  }
  return t[a.size()][b.size()];
}

}  // namespace tsugihagi::reference
