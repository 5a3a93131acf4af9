// The first reply strategy: a learned phrase associated with the newest line (through the
// co-occurrence lists of its words), fitted into a well-formed line: a start word put in
// front, gaps filled with associated words, a closing word added; or a whole learned line
// with some of its words replaced. Log lines that served as a source are marked used.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
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

// The phrase pool: a set of idiom ids below a bound fixed at construction, that also finds
// its r-th smallest element. A bit per possible id and a count per group of 512 ids: insert
// O(1); insert_all O(bound / 64); the r-th element O(bound / 512) count reads and one group's
// bits. Construction O(bound / 64), some 0.13 bytes per id. A reply draws from the pool only
// a few times, while it may add to it once per log line visited, so adding is kept cheap.
// Invariant: group_count_[g] is the number of bits set in present_[8g .. 8g + 7].
class ranked_id_pool {
 public:
  static constexpr std::size_t group_words = 8;  // 64-bit words per counted group

  explicit ranked_id_pool(std::int32_t bound);
  ranked_id_pool(const ranked_id_pool&) = delete;
  ranked_id_pool& operator=(const ranked_id_pool&) = delete;

  // REQUIRES: 0 <= id < bound. False when the id was present.
  bool insert(std::int32_t id);
  // Inserts every id whose bit is set (bit id % 64 of word id / 64) in O(bound / 64).
  // REQUIRES: ids.size() == (bound + 63) / 64, no bit set at bound or above.
  void insert_all(std::span<const std::uint64_t> ids);
  // Removes and returns the element that is r-th in ascending order. REQUIRES: r < size().
  std::int32_t take(std::uint32_t r);
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The elements in ascending order.
  std::vector<std::int32_t> elements() const;
  // The elements as bits: bit id % 64 of word id / 64.
  std::span<const std::uint64_t> bits() const { return present_; }

 private:
  std::vector<std::uint64_t> present_;
  std::vector<std::uint32_t> group_count_;
  std::size_t size_ = 0;
};

// What one reply has gathered so far, over the log lines visited.
struct candidates {
  explicit candidates(const strmorph::dic_t& d);

  association_map associations;
  ranked_id_pool phrases;
  // Words whose co-occurrence pairs are in `associations` already: meeting them again adds
  // nothing there, since the map only grows and keeps the first word per count.
  std::vector<bool> associated;
  // The small counts that are keys of `associations` already, for a quick skip.
  std::vector<bool> counted = std::vector<bool>(4096, false);
  // The smallest count that is no key yet, when below counted.size(): a word whose counts
  // all lie below it (see tsugihagi::count_bound) adds nothing and is not read.
  std::int32_t first_uncounted = 0;
  // Words reached by the current collect_candidates call, as bits by id: small enough to
  // stay in the nearest cache while the words themselves are far apart. All clear between
  // calls, as are `queued` and `pending`.
  std::vector<std::uint64_t> reached;
  // The words a call is to reach through co-occurrence, as bits by id.
  std::vector<std::uint64_t> queued;
  // The idioms the current call has met (held by a word reached), as bits by id, added to
  // `phrases` at its end.
  std::vector<std::uint64_t> met;
  // A call that may reach this many words or more finds their idioms by one pass over the
  // holders (strmorph::idiom_holders) instead of each word's list. A word asked costs about
  // as much as words_per_pair_read pairs held cost the pass, which tests most idioms by
  // their least holder alone and reads no entry of a word whose bound is remembered (at 100k
  // lines, 512 against 128: corpus turns' cpu median lower in 4 alternating runs of 4, by
  // 0.1-0.4 ms; 38k lines unchanged). Tests set it to try either way.
  std::size_t words_for_a_pass;
  // The words a call reached that may add to the associations, as bits by id.
  std::vector<std::uint64_t> pending;
  static constexpr std::size_t words_per_pair_read = 512;
};

// Adds what log line i reaches (its words and their co-occurring words) to the candidates:
// each pair (count, word) of a reached word's cooc list, where the count is new, and each
// idiom of a reached word. A reached word's pairs are read once per reply, and then only the
// first pair of each count (kept with the list until it changes), and not at all when every
// count it holds is a key already.
void collect_candidates(const strmorph::dic_t& d, const conversation_log& log, std::size_t i,
                        candidates& c);

// A pattern phrase (last flag 0) with a start word, gap words and a closing word as needed.
bool realise_phrase(const strmorph::dic_t& d, const association_map& associations,
                    random_source& rng, const strmorph::idiom_t& phrase, reply_sequence& seq);
// A whole-line phrase (last flag 1, two or more words) with 1..n/2 of its words replaced by
// words the associations map to. REQUIRES: phrase.length() >= 2.
bool vary_phrase(const strmorph::dic_t& d, const association_map& associations, random_source& rng,
                 const strmorph::idiom_t& phrase, reply_sequence& seq);
// The words the associations map to, ascending, each once: the set vary_phrase draws from,
// less the phrase's own words. O(a log a) for a associations.
std::vector<std::int32_t> associated_words(const association_map& associations);
// The same as vary_phrase on the associations, given their associated_words, which a reply
// makes once for all the phrases it tries against one map: O(words * phrase length) besides
// the words it tests. REQUIRES: words == associated_words(associations).
bool vary_phrase(const strmorph::dic_t& d, std::span<const std::int32_t> words, random_source& rng,
                 const strmorph::idiom_t& phrase, reply_sequence& seq);

// Fills `seq` and returns true, or returns false with `seq` empty.
bool reply_from_phrases(const strmorph::dic_t& d, conversation_log& log, random_source& rng,
                        reply_sequence& seq);

}  // namespace tsugihagi
