// The words' `idioms` lists turned around: for each idiom id, the ids of the words whose list
// names it. A reply gathers the idioms of some thousands of words at once; asking each word
// costs a chain of dependent loads (id slot, entry, list) and a decoding per word, while one
// pass over these holders, block by block of 64 idiom ids, reads memory in order and can
// skip whole blocks.
//
// Costs: 4 bytes per (idiom, word) pair, 8 bytes per 64 idiom ids up to the largest id held
// (at most 2 MiB, at the id ceiling) and some 560 bytes per block of 64 ids that holds a
// pair. add and remove are O(pairs in the block); a pass is
// O(blocks + pairs in the blocks read), and in practice nearer O(blocks): most idioms met are
// held by their least holder, which is kept apart, in id order.
//
// Invariant, kept by the dictionary's edits (link_idiom, remove_idiom, remove_word,
// insert_loaded_word): the pair (y, w) is held exactly when w names a live word whose
// `idioms` list yields y, for every y in [0, id_ceiling) (other ids name no idiom ever).
// Within a block, `words` holds its pairs grouped by idiom in ascending order, end[j] is one
// past the last word of the block's j-th idiom, least[j] the least of those words (-1: none)
// and bit j of `several` is set exactly when there are two or more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace strmorph {

class idiom_holders {
 public:
  static constexpr std::size_t block_ids = 64;

  // Holds (idiom, word); nothing when held already or the idiom id is out of range.
  void add(std::int32_t idiom, std::int32_t word);
  // Holds exactly the pairs (idiom, word) given, in any order and with repeats, as adding
  // them one by one to empty holders would: O(pairs + blocks), where adding costs
  // O(pairs in the block) a pair.
  void assign(std::span<const std::pair<std::int32_t, std::int32_t>> pairs);
  // Drops (idiom, word); nothing when it is not held.
  void remove(std::int32_t idiom, std::int32_t word);
  // The pairs held.
  std::size_t pair_count() const { return pairs_; }
  // The number of blocks: every idiom held has an id below 64 * block_count().
  std::size_t block_count() const { return blocks_.size(); }
  // The idioms of ids 64k..64k+63 that are not in `skip` (bit j for id 64k + j) and have a
  // holder whose bit is set in `words` (bit w % 64 of words[w / 64]; words past its end are
  // not set), as bits.
  std::uint64_t held_by_any(std::size_t k, std::uint64_t skip,
                            std::span<const std::uint64_t> words) const;
  // The same for every k at once: held[k] = held_by_any(k, skip[k], words) for each k below
  // held.size(). Each id's least holder is tested first, without a branch, and the words of
  // the few ids it leaves open are loaded some blocks ahead of their scan: O(blocks + pairs
  // of those ids). REQUIRES: skip.size() == held.size().
  void held_by_any(std::span<const std::uint64_t> skip, std::span<const std::uint64_t> words,
                   std::span<std::uint64_t> held) const;
  // The words holding the idiom, ascending.
  std::vector<std::int32_t> holders(std::int32_t idiom) const;

 private:
  struct block {
    std::int32_t least[block_ids];
    std::uint64_t several = 0;
    std::vector<std::int32_t> words;
    std::uint32_t end[block_ids] = {};

    block();
    // Sets least[j] and bit j of several from the j-th idiom's words.
    void summarise(std::size_t j);
  };

  std::vector<std::unique_ptr<block>> blocks_;
  std::size_t pairs_ = 0;
};

}  // namespace strmorph
