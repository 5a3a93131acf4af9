#include "core/reply/phrase_reply.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace tsugihagi {
namespace {

// Takes the element at index draw(size) of the set in ascending order out of it.
std::int32_t take_drawn(ranked_id_pool& pool, random_source& rng) {
  return pool.take(draw(rng, static_cast<std::uint32_t>(pool.size())));
}

// The same for a set kept as a sorted vector without repeats: the element at that index.
std::int32_t take_drawn(std::vector<std::int32_t>& pool, random_source& rng) {
  const auto it = pool.begin() + draw(rng, static_cast<std::uint32_t>(pool.size()));
  const std::int32_t id = *it;
  pool.erase(it);
  return id;
}

std::int32_t pick(const std::vector<std::int32_t>& gathered, random_source& rng) {
  return gathered[draw(rng, static_cast<std::uint32_t>(gathered.size()))];
}

// Inserts w's co-occurrence pairs into the associations, once per reply. Walking every pair
// in order, a pair adds its count when the count is not a key yet and its word is live.
// Only the first pair of each count can do so, unless that one names no live word: then
// (rarely, after pruning) the whole list is walked. A list whose counts are all keys
// already can add nothing.
void associate(const strmorph::dic_t& d, const strmorph::wordinfo_t& w, std::int32_t id,
               candidates& c) {
  if (c.associated[static_cast<std::size_t>(id)]) return;
  c.associated[static_cast<std::size_t>(id)] = true;
  if (count_bound(w.cooc) < c.first_uncounted) return;
  const auto small = static_cast<std::int32_t>(c.counted.size());
  bool dead_first = false;
  const auto add = [&](std::int32_t x, std::int32_t count) {
    const bool is_small = count >= 0 && count < small;
    if (is_small && c.counted[static_cast<std::size_t>(count)]) return;  // the key is taken
    if (strmorph::word_at(d, x) == nullptr) {
      dead_first = true;
      return;
    }
    c.associations.try_emplace(count, static_cast<std::uint32_t>(x));
    if (is_small) c.counted[static_cast<std::size_t>(count)] = true;
  };
  for (const id_count& p : first_pair_of_each_count(w.cooc))
    add(p.id, p.count);
  if (dead_first) for_each_pair(w.cooc, add);
  while (c.first_uncounted < small && c.counted[static_cast<std::size_t>(c.first_uncounted)])
    ++c.first_uncounted;
}

// Marks the word's idioms as met; which of them are live is asked once per idiom, at the end.
void add_phrases(const strmorph::wordinfo_t& w, candidates& c) {
  const std::size_t bound = 64 * c.met.size();
  for_each_id(w.idioms, [&](std::int32_t y) {
    const auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(y));
    if (i < bound) c.met[i / 64] |= std::uint64_t{1} << (i % 64);
  });
}

// Marks as met the idioms held by the words reached (see strmorph::idiom_holders), but those
// in the pool already: what add_phrases of each word reached marks, and what it leaves
// unmarked changes nothing in the pool.
void mark_held_phrases(const strmorph::dic_t& d, candidates& c) {
  d.holders.held_by_any(c.phrases.bits(), c.reached, c.met);
}

// Of the 64 idiom ids from 64k, those that name a live idiom, as bits.
std::uint64_t live_idioms(const strmorph::dic_t& d, std::size_t k) {
  return k < d.live_idioms.size() ? d.live_idioms[k] : 0;
}

// Puts the live idioms met into the pool and forgets them. Those in the pool already would
// change nothing there, so their ids are not read.
void add_met_phrases(const strmorph::dic_t& d, candidates& c) {
  const std::span<const std::uint64_t> pooled = c.phrases.bits();
  for (std::size_t k = 0; k < c.met.size(); ++k) {
    const std::uint64_t fresh = c.met[k] & ~pooled[k];
    c.met[k] = fresh == 0 ? 0 : fresh & live_idioms(d, k);
  }
  c.phrases.insert_all(c.met);
  std::fill(c.met.begin(), c.met.end(), 0);
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

// Reaches the words of `work` (each once, in queued) that are not reached yet, as the walk
// over `work` in order does: each live one is marked reached, its idioms marked met when
// ask_each, and its pairs associated. What a word adds to the associations depends on the
// words before it in `work`, but only through words whose count_bound is at least
// c.first_uncounted, which only grows: so the words are first visited in ascending id order,
// the ones whose bound lies below first_uncounted as it is now marked associated (which is
// all associate does with them), and only the others are associated afterwards, in the order
// of `work`. A visit reads a word's liveness and bound from d.reached_bounds where it knows
// them (unless its idioms are asked), else from the id slots in order and then one load of
// each entry, which it then remembers there. The bounds remembered are clipped far above
// first_uncounted, which stays at most c.counted.size(): they compare as the bounds do.
// REQUIRES: queued holds exactly the ids of `work`; the line's words are reached.
void reach_queued(const strmorph::dic_t& d, const std::vector<std::int32_t>& work,
                  std::vector<std::uint64_t>& queued, bool ask_each, candidates& c) {
  const std::int32_t skip_below = c.first_uncounted;
  const strmorph::cooc_bound_cache& bounds = d.reached_bounds;
  // Queued words whose bound is not below skip_below, to associate in the order of `work`.
  std::vector<std::uint64_t>& pending = c.pending;  // clear, as it is left
  std::size_t pending_count = 0;
  const auto judge = [&](std::size_t id, std::int32_t bound) {
    if (bound < skip_below) {
      c.associated[id] = true;
    } else {
      pending[id / 64] |= std::uint64_t{1} << (id % 64);
      ++pending_count;
    }
  };
  const auto visit = [&](std::int32_t x, const strmorph::wordinfo_t& w) {
    const auto id = static_cast<std::size_t>(x);
    if (ask_each) add_phrases(w, c);
    if (c.associated[id]) return;
    const std::int32_t bound = count_bound(w.cooc);
    bounds.remember(x, bound);
    judge(id, bound);
  };
  // The entries come from the id slots in order; each is visited `ahead` entries later, its
  // loads started when it comes (and those of its idioms list halfway).
  constexpr std::size_t ahead = 16;
  struct entry {
    std::int32_t id;
    const strmorph::wordinfo_t* info;
  };
  entry ring[ahead];
  std::size_t n = 0;
  for (std::size_t k = 0; k < queued.size(); ++k) {
    const std::uint64_t fresh = queued[k] & ~c.reached[k];
    if (fresh == 0) continue;
    // Known words are live; unless their idioms are asked, their bound is all a visit reads.
    const std::uint64_t known = ask_each ? 0 : fresh & bounds.known_block(k);
    for (std::uint64_t bits = known; bits != 0; bits &= bits - 1) {
      const std::size_t id = 64 * k + static_cast<std::size_t>(std::countr_zero(bits));
      if (!c.associated[id]) judge(id, bounds.bound(static_cast<std::int32_t>(id)));
    }
    std::uint64_t live = known;
    for (std::uint64_t bits = fresh & ~known; bits != 0; bits &= bits - 1) {
      const auto bit = static_cast<std::size_t>(std::countr_zero(bits));
      const auto id = static_cast<std::int32_t>(64 * k + bit);
      const strmorph::wordinfo_t* info = strmorph::word_at(d, id);
      if (info == nullptr) continue;
      live |= std::uint64_t{1} << bit;
      __builtin_prefetch(&info->cooc.count_bound);
      if (ask_each) __builtin_prefetch(&info->idioms.data);
      if (ask_each && n >= ahead / 2) {
        // The first lines of its idioms list; the hardware follows a longer one.
        const packed_list& list = ring[(n - ahead / 2) % ahead].info->idioms;
        const std::uint8_t* bytes = list.data.get();
        const auto lines = std::min<std::size_t>(static_cast<std::size_t>(list.size) / 64, 7);
        for (std::size_t line = 0; line <= lines; ++line)
          __builtin_prefetch(bytes + 64 * line);
      }
      if (n >= ahead) visit(ring[n % ahead].id, *ring[n % ahead].info);
      ring[n % ahead] = {id, info};
      ++n;
    }
    c.reached[k] |= live;
  }
  for (std::size_t m = n > ahead ? n - ahead : 0; m < n; ++m)
    visit(ring[m % ahead].id, *ring[m % ahead].info);
  for (std::size_t k = 0; k < work.size() && pending_count > 0; ++k) {
    const auto id = static_cast<std::size_t>(work[k]);
    if ((pending[id / 64] >> (id % 64) & 1) == 0) continue;
    pending[id / 64] &= ~(std::uint64_t{1} << (id % 64));
    --pending_count;
    // What associate does first, from the bound remembered, while the entry is far away.
    if (bounds.known(work[k]) && bounds.bound(work[k]) < c.first_uncounted) {
      c.associated[id] = true;
      continue;
    }
    associate(d, *strmorph::word_at(d, work[k]), work[k], c);
  }
}

}  // namespace

ranked_id_pool::ranked_id_pool(std::int32_t bound)
    : present_((static_cast<std::size_t>(bound) + 63) / 64, 0),
      group_count_((present_.size() + group_words - 1) / group_words, 0) {}

bool ranked_id_pool::insert(std::int32_t id) {
  const auto i = static_cast<std::size_t>(id);
  std::uint64_t& word = present_[i / 64];
  const std::uint64_t bit = std::uint64_t{1} << (i % 64);
  if ((word & bit) != 0) return false;
  word |= bit;
  ++group_count_[i / 64 / group_words];
  ++size_;
  return true;
}

void ranked_id_pool::insert_all(std::span<const std::uint64_t> ids) {
  for (std::size_t k = 0; k < ids.size(); ++k) {
    const std::uint64_t added = ids[k] & ~present_[k];
    if (added == 0) continue;
    const auto n = static_cast<std::uint32_t>(std::popcount(added));
    present_[k] |= added;
    group_count_[k / group_words] += n;
    size_ += n;
  }
}

std::int32_t ranked_id_pool::take(std::uint32_t r) {
  // The group holding it, then the word, then the bit: r counts the elements still to skip.
  std::size_t g = 0;
  while (group_count_[g] <= r)
    r -= group_count_[g++];
  std::size_t k = g * group_words;
  for (;; ++k) {
    const auto n = static_cast<std::uint32_t>(std::popcount(present_[k]));
    if (n > r) break;
    r -= n;
  }
  std::uint64_t bits = present_[k];
  for (; r > 0; --r)
    bits &= bits - 1;
  const auto bit = static_cast<std::size_t>(std::countr_zero(bits));
  present_[k] &= ~(std::uint64_t{1} << bit);
  --group_count_[g];
  --size_;
  return static_cast<std::int32_t>(64 * k + bit);
}

std::vector<std::int32_t> ranked_id_pool::elements() const {
  std::vector<std::int32_t> out;
  for (std::size_t w = 0; w < present_.size(); ++w) {
    for (std::uint64_t bits = present_[w]; bits != 0; bits &= bits - 1)
      out.push_back(
          static_cast<std::int32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
  }
  return out;
}

candidates::candidates(const strmorph::dic_t& d)
    : phrases(d.idiomidmap.size()),
      associated(static_cast<std::size_t>(d.idmap.size()), false),
      reached((static_cast<std::size_t>(d.idmap.size()) + 63) / 64, 0),
      queued(reached.size(), 0),
      met((static_cast<std::size_t>(d.idiomidmap.size()) + 63) / 64, 0),
      words_for_a_pass(d.holders.pair_count() / words_per_pair_read),
      pending(reached.size(), 0) {
  d.reached_bounds.reserve(static_cast<std::size_t>(d.idmap.size()));
}

void collect_candidates(const strmorph::dic_t& d, const conversation_log& log, std::size_t i,
                        candidates& c) {
  // The line's words first, then the words they co-occurred with, in order. A word met a
  // second time in one call adds nothing, so it is skipped.
  const auto is_reached = [&](std::int32_t w) {
    const auto i = static_cast<std::size_t>(w);
    return (c.reached[i / 64] >> (i % 64) & 1) != 0;
  };
  const auto first_reach = [&](std::int32_t w) {
    if (is_reached(w)) return false;
    const auto i = static_cast<std::size_t>(w);
    c.reached[i / 64] |= std::uint64_t{1} << (i % 64);
    return true;
  };
  // Only the first sighting of a word can reach it, and ids past the last name no word, so
  // the work list keeps first sightings of ids in range alone.
  std::vector<std::int32_t> work;
  std::vector<std::uint64_t>& queued = c.queued;
  const auto queue = [&](std::int32_t x, std::int32_t) {
    const auto k = static_cast<std::size_t>(static_cast<std::uint32_t>(x));
    if (k / 64 >= queued.size() || (queued[k / 64] >> (k % 64) & 1) != 0) return;
    queued[k / 64] |= std::uint64_t{1} << (k % 64);
    work.push_back(x);
  };
  for (const std::int32_t w : log.line_words[i].ids) {
    const strmorph::wordinfo_t* info = strmorph::word_at(d, w);
    if (info == nullptr || !first_reach(w)) continue;
    associate(d, *info, w, c);
    for_each_pair(info->cooc, queue);
  }
  // The idioms of few words are read from their own lists; those of many, by one pass over
  // the holders, which costs the same however few words it looks for.
  const bool ask_each = work.size() < c.words_for_a_pass;
  if (ask_each) {
    for (const std::int32_t w : log.line_words[i].ids) {
      if (const strmorph::wordinfo_t* info = strmorph::word_at(d, w)) add_phrases(*info, c);
    }
  }
  reach_queued(d, work, queued, ask_each, c);
  if (!ask_each) mark_held_phrases(d, c);
  add_met_phrases(d, c);
  // Only the line's words and those queued can have been marked: they are cleared for the
  // next call, instead of the whole arrays.
  const auto clear = [](std::vector<std::uint64_t>& bits, std::int32_t w) {
    const auto k = static_cast<std::size_t>(static_cast<std::uint32_t>(w));
    if (k / 64 < bits.size()) bits[k / 64] &= ~(std::uint64_t{1} << (k % 64));
  };
  for (const std::int32_t w : log.line_words[i].ids)
    clear(c.reached, w);
  for (const std::int32_t w : work) {
    clear(c.reached, w);
    clear(queued, w);
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
  std::vector<std::uint64_t> followers;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    seq.push_back(ids[k]);
    if (phrase.flags[k] != 0) continue;
    // has_next(d, ids[k], j) for every j at once: the ids of ids[k]'s next list, as bits.
    // Ids past the last word are left out: such a j has no next list, so it fits no gap.
    followers.assign((static_cast<std::size_t>(d.idmap.size()) + 63) / 64, 0);
    if (const strmorph::wordinfo_t* from = strmorph::word_at(d, ids[k])) {
      for_each_pair(from->next, [&](std::int32_t j, std::int32_t) {
        const auto bit = static_cast<std::size_t>(static_cast<std::uint32_t>(j));
        if (bit / 64 < followers.size()) followers[bit / 64] |= std::uint64_t{1} << (bit % 64);
      });
    }
    std::vector<std::int32_t> fillers;
    for (const auto& [count, word] : associations) {
      const auto j = static_cast<std::int32_t>(word);
      if (std::find(ids.begin(), ids.end(), j) != ids.end()) continue;
      const bool follows =
          word / 64 < followers.size() && (followers[word / 64] >> (word % 64) & 1);
      if (follows && has_next(d, j, ids[k + 1])) fillers.push_back(j);
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

std::vector<std::int32_t> associated_words(const association_map& associations) {
  std::vector<std::int32_t> words;
  words.reserve(associations.size());
  for (const auto& [count, word] : associations)
    words.push_back(static_cast<std::int32_t>(word));
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

bool vary_phrase(const strmorph::dic_t& d, const association_map& associations, random_source& rng,
                 const strmorph::idiom_t& phrase, reply_sequence& seq) {
  return vary_phrase(d, associated_words(associations), rng, phrase, seq);
}

bool vary_phrase(const strmorph::dic_t& d, std::span<const std::int32_t> words, random_source& rng,
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
  // The associated words not in the phrase, as an ordered set.
  std::vector<std::int32_t> replacements;
  replacements.reserve(words.size());
  for (const std::int32_t j : words) {
    if (std::find(ids.begin(), ids.end(), j) == ids.end()) replacements.push_back(j);
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
  candidates c(d);
  const association_map& associations = c.associations;
  ranked_id_pool& phrases = c.phrases;
  // associated_words(associations), made when a whole line is first varied after the
  // associations grew.
  std::vector<std::int32_t> words;
  bool words_made = false;
  for (std::size_t i = 0; i < log.line_count(); ++i) {
    word_entry& entry = log.line_words[i];
    if (entry.used) continue;
    collect_candidates(d, log, i, c);
    words_made = false;
    if (phrases.empty() || associations.empty()) continue;
    while (!phrases.empty()) {
      const std::int32_t id = take_drawn(phrases, rng);
      seq.clear();
      const strmorph::idiom_t& stored = *strmorph::idiom_at(d, id);
      const strmorph::idiom_t phrase = live_phrase(d, stored);
      // A phrase left with no live word fails as a candidate of its stored kind.
      if (stored.flags.back() != 0) {
        if (phrase.ids.size() >= 2) {
          if (!words_made) words = associated_words(associations);
          words_made = true;
          if (vary_phrase(d, words, rng, phrase, seq)) return true;
        }
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
