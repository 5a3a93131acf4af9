// The literal algorithms that the core replaces with faster ones, kept as references: the
// differential tests run both on every small input and compare the results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"
#include "core/reply/phrase_reply.h"

namespace tsugihagi::reference {

// Word discovery as designed: every candidate window searched in every older line with
// quick search, longest windows first.
void discover_words(strmorph::dic_t& d, const conversation_log& log);

// The in-line statistics step as designed: every list unpacked and packed per update.
void learn_word_links(strmorph::dic_t& d, std::span<const std::int32_t> words);
// The turn-link step as designed.
void learn_turn_links(strmorph::dic_t& d, const conversation_log& log);

// Gathering a phrase reply's candidates from log line i as designed: every reached word's
// lists walked again each time it is reached.
void collect_candidates(const strmorph::dic_t& d, const conversation_log& log, std::size_t i,
                        association_map& associations, id_pool& phrases);

// Fitting a pattern phrase as designed: each gap's fillers found by testing every
// associated word against both neighbours' lists.
bool realise_phrase(const strmorph::dic_t& d, const association_map& associations,
                    random_source& rng, const strmorph::idiom_t& phrase, reply_sequence& seq);

// Varying a whole-line phrase as designed: the replacements drawn from an ordered set.
bool vary_phrase(const strmorph::dic_t& d, const association_map& associations, random_source& rng,
                 const strmorph::idiom_t& phrase, reply_sequence& seq);

// A phrase reply as designed: the literal gathering, fitting and varying above, with the
// phrases drawn from an ordered set.
bool reply_from_phrases(const strmorph::dic_t& d, conversation_log& log, random_source& rng,
                        reply_sequence& seq);

// Checking a list's bytes as designed, one compact_int after another: how many whole ones
// they hold, or -1 when they do not end exactly at the end.
std::ptrdiff_t count_values(std::span<const std::uint8_t> bytes);

// A list's entries as designed, decoded one compact_int after another whatever its length;
// of pairs, a later pair of an id met before is left out.
std::vector<std::int32_t> ids_of(const packed_list& list);
std::vector<id_count> pairs_of(const packed_list& list);
// Whether packing those entries gives the bytes back.
bool is_canonical(std::span<const std::uint8_t> bytes, list_kind kind);

// The list edits as designed: unpack into an array, edit it, pack a new block.
void count_in_pair(packed_list& list, std::int32_t x);
void add_once_id(packed_list& list, std::int32_t x);
void erase_first_id(packed_list& list, std::int32_t x);
void erase_first_pair(packed_list& list, std::int32_t x);
// The first pair of each distinct count, in stored order, from the unpacked pairs.
std::vector<id_count> first_pair_of_each_count(const packed_list& list);

// The phrase pool's draw as designed: std::advance over an ordered set, then erase.
std::int32_t take_nth(id_pool& pool, std::uint32_t r);

// Looking a word up by text in the ordered word map alone.
const strmorph::wordmap_t::value_type* find_word(const strmorph::dic_t& d,
                                                 std::u16string_view text);

// The length of a longest common subsequence, by the textbook table.
std::int32_t lcs_length(std::span<const std::int32_t> a, std::span<const std::int32_t> b);

}  // namespace tsugihagi::reference
