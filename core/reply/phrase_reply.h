// The first reply strategy: a learned phrase associated with the newest line (through the
// co-occurrence lists of its words), fitted into a well-formed line: a start word put in
// front, gaps filled with associated words, a closing word added; or a whole learned line
// with some of its words replaced. Log lines that served as a source are marked used.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <unordered_set>
#include <vector>

#include <boost/pool/pool_alloc.hpp>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"
#include "core/reply/random_source.h"
#include "core/reply/word_tests.h"

namespace tsugihagi {

// Repeat count -> the first word met with that count.
using association_map =
    std::map<std::int32_t, std::uint32_t, std::less<>,
             boost::fast_pool_allocator<std::pair<const std::int32_t, std::uint32_t>>>;
using id_pool = std::set<std::int32_t, std::less<>, boost::fast_pool_allocator<std::int32_t>>;

// What one reply has gathered so far, over the log lines visited.
struct candidates {
  association_map associations;
  id_pool phrases;
  // Words whose co-occurrence pairs are in `associations` already: meeting them again adds
  // nothing there, since the map only grows and keeps the first word per count.
  std::unordered_set<std::int32_t> associated;
  // The small counts that are keys of `associations` already, for a quick skip.
  std::vector<bool> counted = std::vector<bool>(4096, false);
};

// Adds what log line i reaches (its words and their co-occurring words) to the candidates:
// each pair (count, word) of a reached word's cooc list, where the count is new, and each
// idiom of a reached word. Each reached word's cooc list is unpacked at most once per reply.
void collect_candidates(const strmorph::dic_t& d, const conversation_log& log, std::size_t i,
                        candidates& c);

// A pattern phrase (last flag 0) with a start word, gap words and a closing word as needed.
bool realise_phrase(const strmorph::dic_t& d, const association_map& associations,
                    random_source& rng, const strmorph::idiom_t& phrase, reply_sequence& seq);
// A whole-line phrase (last flag 1, two or more words) with 1..n/2 of its words replaced by
// words the associations map to. REQUIRES: phrase.length() >= 2.
bool vary_phrase(const strmorph::dic_t& d, const association_map& associations, random_source& rng,
                 const strmorph::idiom_t& phrase, reply_sequence& seq);

// Fills `seq` and returns true, or returns false with `seq` empty.
bool reply_from_phrases(const strmorph::dic_t& d, conversation_log& log, random_source& rng,
                        reply_sequence& seq);

}  // namespace tsugihagi
