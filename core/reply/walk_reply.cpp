#include "core/reply/walk_reply.h"

#include <unordered_set>
#include <vector>

namespace tsugihagi {
namespace {

using start_pool = std::vector<std::int32_t>;

// Adds w when it can start a line, then (at depth 2) each word it co-occurred with that can.
void gather_starts(const strmorph::dic_t& d, start_pool& pool, std::int32_t w, int depth) {
  if (can_start(d, w)) pool.push_back(w);
  const strmorph::wordinfo_t* info = strmorph::word_at(d, w);
  if (info == nullptr || depth - 1 == 0) return;
  for (const id_count& p : unpack_pairs(info->cooc))
    gather_starts(d, pool, p.id, depth - 1);
}

// The successors of w in stored order, with ids that name no live word dropped (the end
// marker stays).
std::vector<id_count> successors(const strmorph::dic_t& d, std::int32_t w) {
  std::vector<id_count> pairs = unpack_pairs(strmorph::word_at(d, w)->next);
  std::erase_if(pairs, [&](const id_count& p) {
    return p.id != strmorph::boundary_id && strmorph::word_at(d, p.id) == nullptr;
  });
  return pairs;
}

// Whether the closing loop can still end from w: some word reachable through `next` lists
// can end a line or has no successor. Without one the loop would never stop.
bool closing_can_end(const strmorph::dic_t& d, std::int32_t w) {
  std::unordered_set<std::int32_t> seen{w};
  std::vector<std::int32_t> frontier{w};
  while (!frontier.empty()) {
    const std::int32_t a = frontier.back();
    frontier.pop_back();
    for (const id_count& p : successors(d, a)) {
      if (p.id == strmorph::boundary_id) return true;
      if (!seen.insert(p.id).second) continue;
      if (successors(d, p.id).empty() || can_end(d, p.id)) return true;
      frontier.push_back(p.id);
    }
  }
  return false;
}

}  // namespace

bool reply_from_walk(const strmorph::dic_t& d, const conversation_log& log, random_source& rng,
                     reply_sequence& seq) {
  start_pool pool;
  for (const word_entry& entry : log.line_words) {
    for (const std::int32_t w : entry.ids)
      gather_starts(d, pool, w, 2);
    if (!pool.empty()) break;
  }
  if (pool.empty()) return false;

  std::int32_t a = pool[draw(rng, static_cast<std::uint32_t>(pool.size()))];
  const auto limit =
      static_cast<std::int32_t>(2 * strmorph::live_ids(d, log.line_words[0].ids).size());
  bool walk_ended_early = false;
  for (std::int32_t k = 0; k < limit; ++k) {
    seq.push_back(a);
    const std::vector<id_count> next = successors(d, a);
    if (next.empty()) {
      walk_ended_early = true;
      break;
    }
    a = next[draw(rng, static_cast<std::uint32_t>(next.size()))].id;
    if (a == strmorph::boundary_id) return true;
  }
  if (!walk_ended_early) seq.push_back(a);

  for (;;) {
    if (can_end(d, a)) return true;
    const std::vector<id_count> next = successors(d, a);
    const std::int32_t byte_length = pack_pairs(next).size;
    if (byte_length == 0) return true;
    if (!closing_can_end(d, a)) return true;
    const std::uint32_t r = draw(rng, static_cast<std::uint32_t>(byte_length));
    const std::int32_t chosen = next[r % next.size()].id;
    if (chosen == strmorph::boundary_id) return true;
    seq.push_back(chosen);
    a = chosen;
  }
}

}  // namespace tsugihagi
