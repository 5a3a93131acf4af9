// The morpheme dictionary: words and idioms with stable, reusable integer ids, each word
// carrying packed statistics (next, prev, cooc, idioms). Lookups by text are O(log n) in the
// word map, or O(length) through a hash index beside it (O(1) given the text's hash), and
// never copy the probed text; lookups by id are O(1) through chunked arrays. The index costs
// 11 bytes a slot, some 15 to 30 bytes per word.
// When the word map or idiom set holds its entry limit or more, the least used quarter is
// pruned.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/pool/pool.hpp>
#include <boost/pool/pool_alloc.hpp>

#include "core/dict/cooc_bound_cache.h"
#include "core/dict/idiom_holders.h"
#include "core/dict/rope_array.h"
#include "core/dict/word_text_store.h"
#include "core/io/node_memory.h"
#include "core/io/packed_list.h"

namespace strmorph {

using tsugihagi::id_count;
using tsugihagi::packed_list;
using tsugihagi::rope_array;

// Marks the end of a line in a `next` list and its start in a `prev` list; never an id.
inline constexpr std::int32_t boundary_id = -1;
// The word map and the idiom set are pruned when they hold this many entries or more.
inline constexpr std::int32_t default_entry_limit = 0xFFFFFF;
// Ids at or above this are impossible in stored files.
inline constexpr std::int32_t id_ceiling = 0x1000000;

// A word's key: a pooled cell holding a pointer to the text, the text's length, and its first
// two units in what would be padding (head: unit 0 in the high half, unit 1 or 0 in the low
// half), so that most comparisons in the word map, and most checks of a hash-index hit, end
// without reaching the text through the cell. A probe points its cell at the caller's text; a
// stored key's cell points at the entry's own copy. The text is read once, when the key is
// made: it must not change while the key is in use.
// REQUIRES (constructor): *cell holds at least `length` units.
struct wordkey_t {
  const char16_t** cell = nullptr;
  std::int32_t length = 0;
  std::uint32_t head = 0;

  wordkey_t() = default;
  wordkey_t(const char16_t** text_cell, std::int32_t text_length)
      : cell(text_cell), length(text_length), head(head_of(*text_cell, text_length)) {}

  std::u16string_view text() const { return {*cell, static_cast<std::size_t>(length)}; }

  // The head of text[0 .. length-1]; 0 for an empty text.
  static std::uint32_t head_of(const char16_t* text, std::int32_t length) {
    if (length <= 0) return 0;
    const std::uint32_t second = length >= 2 ? static_cast<std::uint32_t>(text[1]) : 0;
    return static_cast<std::uint32_t>(text[0]) << 16 | second;
  }
};

static_assert(sizeof(wordkey_t) == 16, "the head fills the padding: a node is no larger");

// Shorter words first; equal lengths by UTF-16 units as unsigned values. The heads order the
// first two units as the texts would; only keys of three units or more with equal heads are
// compared through their cells.
struct word_order {
  bool operator()(const wordkey_t& a, const wordkey_t& b) const {
    if (a.length != b.length) return a.length < b.length;
    if (a.head != b.head) return a.head < b.head;
    if (a.length <= 2) return false;
    return a.text().substr(2) < b.text().substr(2);
  }
};

struct wordinfo_t {
  std::int32_t id = 0;
  std::int32_t count = 0;  // times add_word met the word again, wrapping as 32-bit unsigned
  packed_list next;        // pairs (following word or boundary_id, repeats)
  packed_list prev;        // ids of preceding words, boundary_id for a line start
  packed_list cooc;        // pairs (word seen in the same or an adjacent line, repeats)
  packed_list idioms;      // ids of the idioms containing the word, each once
};

// A phrase: word ids with one flag byte each. The last flag is 1 for a whole line, 0 for a
// pattern, whose other flags say whether the next element followed directly.
// REQUIRES: flags.size() == ids.size().
struct idiom_t {
  std::vector<std::int32_t> ids;
  std::vector<std::uint8_t> flags;

  std::int32_t length() const { return static_cast<std::int32_t>(ids.size()); }
};

// Fewer elements first; then element by element, by id (signed) and then flag.
struct idiom_order {
  bool operator()(const idiom_t& a, const idiom_t& b) const;
};

struct idmap_value_t {
  const wordkey_t* key;  // both null: no word has this id
  wordinfo_t* info;
};

struct idiomidmap_value_t {
  const idiom_t* idiom;  // null: no idiom has this id
};

// The word map's nodes come from a pool of blocks of many nodes each, at most
// word_node_block nodes (some 350 KiB) to a block.
inline constexpr unsigned word_node_block = 2048;
using wordmap_t = std::map<
    wordkey_t, wordinfo_t, word_order,
    boost::fast_pool_allocator<std::pair<const wordkey_t, wordinfo_t>, tsugihagi::node_memory,
                               boost::details::pool::default_mutex, 64, word_node_block>>;
using idiomset_t = std::set<idiom_t, idiom_order>;
inline constexpr unsigned word_cell_block = 8192;

class dic_t {
 public:
  explicit dic_t(std::int32_t entry_limit = default_entry_limit);
  ~dic_t();
  dic_t(const dic_t&) = delete;
  dic_t& operator=(const dic_t&) = delete;

  // The keys' cells, in blocks of at most word_cell_block cells: a pool that doubled without
  // bound would hold up to half a block of cells never used, each written when the block
  // was cut up.
  boost::pool<> cellpool;
  // Every word's text: packed for loaded words (insert_loaded_word), in a slot for the others,
  // given back when the word goes.
  word_text_store texts;
  wordmap_t wordmap;
  rope_array<idmap_value_t, 255> idmap;
  idiomset_t idiomset;
  rope_array<idiomidmap_value_t, 127> idiomidmap;
  std::set<std::int32_t> hdid;        // free word ids
  std::set<std::int32_t> idiom_hdid;  // free idiom ids
  const std::int32_t entry_limit;
  // While a line is learned (see hold_freed_word_ids), word ids freed by pruning wait here.
  bool holding_freed_ids = false;
  std::vector<std::int32_t> held_word_ids;
  // A hash index of wordmap by text (tsugihagi::text_hash), beside the ordered map: open
  // addressing with linear probing, a power of two long and at most three quarters full.
  // word_tags holds 16 bits of each slot's hash (0: the slot is empty), so that a probe
  // compares texts only where the tags agree. word_filter has 8 bits per slot; a word sets
  // the one its hash picks, so that most texts that are no word stop there, in a table small
  // enough to stay in cache. Removing a word leaves its bit set until pruning rebuilds it.
  std::vector<wordmap_t::value_type*> word_slots;
  std::vector<std::uint16_t> word_tags;
  std::vector<std::uint64_t> word_filter;
  std::size_t word_slots_used = 0;
  // How many words have each length (index: length in units), so that a probe of a length
  // no word has costs nothing.
  std::vector<std::int32_t> words_of_length;
  // A bit per (length, ends): whether some word of that length (31 standing for every length
  // from 31 on) has first two units and last unit whose hash (see word_start_bit) picks that
  // bit, 16384 of them per length. Every word indexed sets its bit; only rebuilding the index
  // clears them, so a clear bit means no word. 64 KB, to turn away most windows of a line
  // (some three in four of those that pass the cheaper checks) before they are hashed.
  std::vector<std::uint64_t> word_starts;
  // How many words have been removed so far: unchanged means every id live before is live.
  std::uint64_t removed_words = 0;
  // The `idioms` lists turned around (see idiom_holders.h), kept in step by every function
  // below that edits a list. A caller that edits a word's `idioms` list itself must edit
  // this to match.
  idiom_holders holders;
  // What replies read of the words they reach (see cooc_bound_cache.h): setting an id's
  // slot, and word_at on a non-const dictionary, forget the id.
  cooc_bound_cache reached_bounds;
  // Which idiom ids name an idiom, 64 to a word: bit y % 64 of live_idioms[y / 64] is set
  // exactly when idiomidmap[y] holds one (no word past the end: none set). Kept by the two
  // functions that set idiom slots (adding, removing); a reply reads the liveness of some
  // thousands of idioms here, 64 at a load, instead of their slots.
  std::vector<std::uint64_t> live_idioms;
};

// Adds a word (copying the text only when it is new) or counts a repeat.
// REQUIRES: length >= 1. Returns the entry and whether it was inserted.
std::pair<wordmap_t::value_type*, bool> add_word(dic_t& d, const char16_t* text,
                                                 std::int32_t length);
// The entry for the text, or null. Changes nothing.
wordmap_t::value_type* find_word(dic_t& d, const char16_t* text, std::int32_t length);
// The same, for a caller that knows the text's hash (see tsugihagi::window_hash): O(1) for
// most texts that are no word. REQUIRES: hash == tsugihagi::text_hash of the text.
wordmap_t::value_type* find_word(dic_t& d, const char16_t* text, std::int32_t length,
                                 std::uint64_t hash);

// False when no word of the length starts with the text's first two units and ends with its
// last unit (a word may when true): O(1), within a table small enough to stay in cache. REQUIRES:
// length >= 1, text[0 .. length-1].
bool may_start_word(const dic_t& d, const char16_t* text, std::int32_t length);

// Inserts the idiom and gives it an id; (id, true), or (unspecified, false) when an equal
// idiom is present.
std::pair<std::int32_t, bool> add_idiom(dic_t& d, idiom_t idiom);
// Appends the idiom id to the `idioms` list of each word that does not list it yet.
void link_idiom(dic_t& d, std::span<const std::int32_t> word_ids, std::int32_t idiom_id);
void remove_idiom(dic_t& d, std::int32_t idiom_id);
// Unlinks the word from every list, removes its idioms and frees its id.
void remove_word(dic_t& d, std::int32_t word_id);
// Each removes the least used quarter (or fewer, see least_used in the source); add_word and
// add_idiom call them when the word map or the idiom set holds entry_limit entries or more.
void prune_words(dic_t& d);
void prune_idioms(dic_t& d);

// From hold_freed_word_ids until release_freed_word_ids, word ids freed by pruning are dead
// (they name no word) but not free: they join `hdid` at the release. Learning one line runs
// between the two, so that within the line no id ever names two different words.
// REQUIRES: the calls alternate, hold first.
void hold_freed_word_ids(dic_t& d);
void release_freed_word_ids(dic_t& d);

// The live word with this id, or null (a free id, or one past the end of idmap). The
// non-const form is the way to edit a word's lists: it forgets the id in reached_bounds.
wordinfo_t* word_at(dic_t& d, std::int32_t id);
const wordinfo_t* word_at(const dic_t& d, std::int32_t id);
std::u16string_view word_text(const dic_t& d, std::int32_t id);  // REQUIRES: word_at(id)
const idiom_t* idiom_at(const dic_t& d, std::int32_t id);
// The ids that name live words, in order: the others (left by pruning or a damaged file)
// are dropped, so their live neighbours become adjacent.
std::vector<std::int32_t> live_ids(const dic_t& d, std::span<const std::int32_t> ids);

// Inserts a word loaded from a file: no counting, no id choice, no pruning. The text is
// copied. Returns false, changing nothing, when the text or the id is already taken. A word
// that sorts after every word present (as words do in a saved file) goes straight to the
// map's end. With `index_later` the word stays out of the hash index, unseen by find_word,
// until index_loaded_words indexes every word at once, in a table sized for them all: the
// table a word by word insertion would have grown. Its idioms join the holders then too,
// which index_loaded_words makes anew from every word's list: on a second thread, while this
// one fills the table, when there are `parallel_min_words` words or more. `info` is moved
// from only when the word is inserted: a caller may keep a refused word's lists.
bool insert_loaded_word(dic_t& d, std::u16string_view text, wordinfo_t&& info,
                        bool index_later = false);
inline constexpr std::size_t parallel_index_min_words = 4096;
// What a loader gathered while inserting, for index_loaded_words to use instead of walking
// the map. REQUIRES: entries holds every entry of the map, in map order; hashes[k] is
// tsugihagi::text_hash of entries[k]'s text; held the pairs (idiom, word) of each entry's
// `idioms` list, entry by entry in that order.
struct loaded_words {
  std::vector<std::pair<std::int32_t, std::int32_t>> held;
  std::vector<wordmap_t::value_type*> entries;
  std::vector<std::uint64_t> hashes;
};
void index_loaded_words(dic_t& d, std::size_t parallel_min_words = parallel_index_min_words,
                        const loaded_words* gathered = nullptr);
// Inserts an idiom loaded from a file under its stored id; false when either is taken.
bool insert_loaded_idiom(dic_t& d, std::int32_t id, idiom_t idiom);
// Inserts the (id, idiom) records of a file, in file order, as insert_loaded_idiom one by one
// would; returns how many it refused. Into an empty set, the records are sorted first
// (O(n log n) comparisons of keys held in one array, each record's length and first two
// elements, and of the records themselves only where keys are equal) and the set is filled
// in order, instead of a descent through the set's scattered nodes per record.
std::size_t insert_loaded_idioms(dic_t& d, std::vector<std::pair<std::int32_t, idiom_t>> records);

}  // namespace strmorph
