// What a reply reads of each word it reaches through co-occurrence, copied into dense arrays
// by id: whether the id names a live word, and the count_bound of its cooc list (see
// packed_list.h). A reply reaches some ten thousand words per log line and stops at that
// bound for nearly all of them; here it costs a bit and four bytes read in ascending id
// order, where the word itself costs a load of its id slot and then one of a node far away.
//
// Costs: a bit and 4 bytes per id up to the largest remembered (the storage grows by 64 ids
// at a time and never shrinks). forget and known are O(1); remember is O(1) amortised.
//
// Invariant, kept by the dictionary (setting an id's slot, and every word_at on a non-const
// dictionary, through which the word lists are edited, forgets the id): while known(id), the
// id names a live word and bound(id) is count_bound of its cooc list, unedited since it was
// remembered. A caller that edits a cooc list without asking word_at for the word (iterating
// the word map, say) must forget the word.
// Replies remember through a const dictionary, as they fill a packed list's count_bound: two
// threads must not reply from one dictionary at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace strmorph {

class cooc_bound_cache {
 public:
  // The id's list may change, or the id name another word or none.
  void forget(std::int32_t id) {
    const auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(id));
    if (i / 64 < known_.size()) known_[i / 64] &= ~(std::uint64_t{1} << (i % 64));
  }
  // Forgets every id.
  void clear();
  // The known ids among 64k .. 64k + 63, as bits (bit j for id 64k + j).
  std::uint64_t known_block(std::size_t k) const { return k < known_.size() ? known_[k] : 0; }
  bool known(std::int32_t id) const {
    const auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(id));
    return (known_block(i / 64) >> (i % 64) & 1) != 0;
  }
  // REQUIRES: known(id).
  std::int32_t bound(std::int32_t id) const { return bounds_[static_cast<std::size_t>(id)]; }
  // REQUIRES: 0 <= id < id_ceiling names a live word whose cooc list's count_bound is `bound`.
  void remember(std::int32_t id, std::int32_t bound) const;

 private:
  mutable std::vector<std::uint64_t> known_;
  mutable std::vector<std::int32_t> bounds_;
};

}  // namespace strmorph
