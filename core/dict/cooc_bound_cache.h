// What a reply reads of each word it reaches through co-occurrence, copied into dense arrays
// by id: whether the id names a live word, and the count_bound of its cooc list (see
// packed_list.h), clipped at bound_clip: a reply compares it with counts below 4096 only. A
// reply reaches some ten thousand words per log line and stops at that bound for nearly all
// of them; here it costs a bit and two bytes read in ascending id order, where the word
// itself costs a load of its id slot and then one of a node far away.
//
// Costs: a bit and 2 bytes per id below the capacity, which grows to at least twice what it
// was, or to the id range a reply announces (reserve), forgetting every id. The bytes of an
// id are written only when it is remembered, so that memory no reply reaches is never
// touched. forget and known are O(1); remember is O(1) amortised.
//
// Invariant, kept by the dictionary (setting an id's slot, and every word_at on a non-const
// dictionary, through which the word lists are edited, forgets the id): while known(id), the
// id names a live word and bound(id) is min(count_bound, bound_clip) of its cooc list,
// unedited since it was remembered. A caller that edits a cooc list without asking word_at for
// the word (iterating the word map, say) must forget the word.
// Replies remember through a const dictionary, as they fill a packed list's count_bound: two
// threads must not reply from one dictionary at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace strmorph {

class cooc_bound_cache {
 public:
  static constexpr std::int32_t bound_clip = 65534;

  // The id's list may change, or the id name another word or none.
  void forget(std::int32_t id) {
    const auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(id));
    if (i / 64 < known_.size()) known_[i / 64] &= ~(std::uint64_t{1} << (i % 64));
  }
  // The known ids among 64k .. 64k + 63, as bits (bit j for id 64k + j).
  std::uint64_t known_block(std::size_t k) const { return k < known_.size() ? known_[k] : 0; }
  bool known(std::int32_t id) const {
    const auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(id));
    return (known_block(i / 64) >> (i % 64) & 1) != 0;
  }
  // min(count_bound, bound_clip) as remembered. REQUIRES: known(id).
  std::int32_t bound(std::int32_t id) const {
    return static_cast<std::int32_t>(bounds_[static_cast<std::size_t>(id)]) - 1;
  }
  // REQUIRES: 0 <= id < id_ceiling names a live word whose cooc list's count_bound is `bound`.
  void remember(std::int32_t id, std::int32_t bound) const;
  // Makes room for the ids below `ids` at once, so that remembering them moves nothing. When
  // that grows the capacity, every id is forgotten.
  void reserve(std::size_t ids) const;

 private:
  mutable std::vector<std::uint64_t> known_;
  // 1 + the clipped bound of each id below 64 * known_.size(); unset where unknown.
  mutable std::unique_ptr<std::uint16_t[]> bounds_;
};
}  // namespace strmorph
