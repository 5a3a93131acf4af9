#include "core/dict/dictionary_files.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/dict/text_hash.h"
#include "core/io/batch_pipe.h"
#include "core/io/prefetch.h"
#include "core/io/primitives.h"
#include "core/io/side_job.h"

namespace strmorph {
namespace {

using tsugihagi::data_stream;

bool possible_id(std::uint32_t id) {
  return id < static_cast<std::uint32_t>(id_ceiling);
}

// Counts one dropped record when `dropped` is given.
void count_drop(std::int64_t* dropped) {
  if (dropped != nullptr) ++*dropped;
}

void read_free_ids(std::set<std::int32_t>& ids, data_stream& s, std::int64_t* dropped) {
  for (;;) {
    const bool at_end = s.remaining() == 0;
    const std::int32_t id = tsugihagi::read_i32(s);
    if (s.failed()) {
      if (!at_end) count_drop(dropped);  // a partial value at the end
      return;
    }
    if (possible_id(static_cast<std::uint32_t>(id))) {
      ids.insert(id);
    } else {
      count_drop(dropped);
    }
  }
}

void write_free_ids(const std::set<std::int32_t>& ids, data_stream& s) {
  for (const std::int32_t id : ids)
    tsugihagi::write_i32(s, id);
}

// A byte_blob read straight into a block carved for the list: the list packed_from_bytes
// would make of it (as long as it is, nothing extra), without a copy through a buffer. An
// empty list when the stream fails.
packed_list read_list(data_stream& s, tsugihagi::list_arena& arena) {
  packed_list list;
  const std::uint32_t n = tsugihagi::read_compact_int(s);
  if (s.failed() || n == 0) return list;
  if (n > s.remaining() || n > 0x7FFFFFFFu) {
    s.fail();
    return list;
  }
  list.data = arena.take(n, static_cast<std::size_t>(s.remaining()));
  s.read_bytes(list.data.get(), n);
  if (s.failed()) return packed_list{};
  list.size = list.capacity = static_cast<std::int32_t>(n);
  return list;
}

// Records gathered into one block that is written whenever it holds block_bytes or more, so
// that a save costs a few large writes instead of several small ones per record. A block
// longer than the file device's own buffer (64 KiB) goes straight to the system instead of
// being copied through that buffer: 4-5 ms less of a 43 MB save's CPU time. The block is
// small beside the dictionary: a save runs at the end of teaching, when memory peaks, and
// two blocks of a megabyte each (dic.data's and idiomdic.data's, on two threads) raised that
// peak by 1.6 MB. A list too long for the block is written from its own bytes.
class block_writer {
 public:
  static constexpr std::size_t block_bytes = 128 * 1024;

  explicit block_writer(data_stream& s) : s_(s) { bytes_.reserve(2 * block_bytes); }
  block_writer(const block_writer&) = delete;
  block_writer& operator=(const block_writer&) = delete;
  ~block_writer() = default;

  std::vector<std::uint8_t>& bytes() { return bytes_; }
  void list(const packed_list& list) {
    const auto n = static_cast<std::size_t>(list.size);
    tsugihagi::append_compact_int(bytes_, static_cast<std::uint32_t>(n));
    if (n >= block_bytes) {
      flush();
      s_.write_bytes(list.data.get(), n);
    } else if (n > 0) {
      bytes_.insert(bytes_.end(), list.data.get(), list.data.get() + n);
    }
  }
  void end_record() {
    if (bytes_.size() >= block_bytes) flush();
  }
  void flush() {
    if (!bytes_.empty()) s_.write_bytes(bytes_.data(), bytes_.size());
    bytes_.clear();
  }

 private:
  data_stream& s_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

void read_idiom_hdid(dic_t& d, data_stream& s, std::int64_t* dropped) {
  read_free_ids(d.idiom_hdid, s, dropped);
}

void read_hdid(dic_t& d, data_stream& s, std::int64_t* dropped) {
  read_free_ids(d.hdid, s, dropped);
  // idmap reaches past every free id, whose elements stay empty.
  if (!d.hdid.empty() && *d.hdid.rbegin() >= d.idmap.size()) {
    d.idmap.resize(*d.hdid.rbegin() + 1, idmap_value_t{nullptr, nullptr});
  }
}

namespace {

// The records of an idiomdic file, in file order, until the first that does not decode.
void read_idiom_records(std::vector<std::pair<std::int32_t, idiom_t>>& records, data_stream& s,
                        std::int64_t* dropped) {
  for (;;) {
    const bool at_end = s.remaining() == 0;
    const std::uint32_t id = tsugihagi::read_compact_int(s);
    if (s.failed()) {
      if (!at_end) count_drop(dropped);
      return;
    }
    const std::uint32_t n = tsugihagi::read_compact_int(s);
    if (s.failed() || n > s.remaining()) {  // every word id takes at least one byte
      count_drop(dropped);
      return;
    }
    idiom_t idiom;
    idiom.ids.resize(n);
    for (std::int32_t& w : idiom.ids)
      w = static_cast<std::int32_t>(tsugihagi::read_compact_int(s));
    tsugihagi::read_bit_vector(s, n, idiom.flags);
    if (s.failed()) {
      count_drop(dropped);
      return;
    }
    if (n == 0 || !possible_id(id)) {
      count_drop(dropped);
    } else {
      records.emplace_back(static_cast<std::int32_t>(id), std::move(idiom));
    }
  }
}

}  // namespace

void read_idiomdic(dic_t& d, data_stream& s, std::int64_t* dropped) {
  std::vector<std::pair<std::int32_t, idiom_t>> records;
  read_idiom_records(records, s, dropped);
  const std::size_t refused = insert_loaded_idioms(d, std::move(records));
  if (dropped != nullptr) *dropped += static_cast<std::int64_t>(refused);
}

namespace {

// What reading one record of dic.data found.
enum class word_record { kept, dropped, end };

// Reads the next record of dic.data into `text` and `info` and checks it: `kept` when the
// record decodes and holds a possible word (what insert_loaded_word may still refuse), or
// `dropped` (counted) when it does not; `end` at the end of the records, counting a record
// cut short. Touches no dictionary but the id slot it prefetches in `slots`, when given.
word_record read_word_record(data_stream& s, tsugihagi::list_arena& arena, std::u16string& text,
                             wordinfo_t& info, std::int64_t* dropped,
                             const rope_array<idmap_value_t, 255>* slots) {
  const bool at_end = s.remaining() == 0;
  tsugihagi::read_wide_z(s, text);
  if (s.failed()) {
    if (!at_end) count_drop(dropped);
    return word_record::end;
  }
  const std::uint32_t id = tsugihagi::read_compact_int(s);
  info.id = static_cast<std::int32_t>(id);
  info.count = static_cast<std::int32_t>(tsugihagi::read_compact_int(s));
  // The id's slot, which inserting the word reads and sets, is far from the last one (a
  // file holds its words in text order): fetched while the lists are read.
  if (slots != nullptr && info.id >= 0 && info.id < slots->size())
    tsugihagi::prefetch(&(*slots)[info.id]);
  info.next = read_list(s, arena);
  info.prev = read_list(s, arena);
  info.cooc = read_list(s, arena);
  info.idioms = read_list(s, arena);
  if (s.failed()) {
    count_drop(dropped);
    return word_record::end;
  }
  // The co-occurrence list's check also gives its count_bound, which every reply reads
  // of each word it reaches: a first reply need not walk the lists for it.
  std::int32_t cooc_bound = 0;
  const bool well_formed = tsugihagi::is_pair_list(info.next.bytes()) &&
                           tsugihagi::is_id_list(info.prev.bytes()) &&
                           tsugihagi::is_pair_list(info.cooc.bytes(), cooc_bound) &&
                           tsugihagi::is_id_list(info.idioms.bytes());
  if (!well_formed || !possible_id(id) || text.empty()) {
    count_drop(dropped);
    return word_record::dropped;
  }
  info.cooc.count_bound = cooc_bound;
  // Checked when first read: one in a longer encoding than needed or holding an id twice
  // is then read value by value.
  using tsugihagi::list_form;
  info.next.form = info.cooc.form = list_form::unchecked_pairs;
  info.prev.form = info.idioms.form = list_form::unchecked_ids;
  return word_record::kept;
}

// read_dic but for the hash index, left to the caller: one record after another.
void read_dic_records(dic_t& d, data_stream& s, std::int64_t* dropped) {
  std::u16string text;
  // The lists' blocks are carved from chunks shared by many lists.
  tsugihagi::list_arena arena;
  for (;;) {
    wordinfo_t info;
    const word_record r = read_word_record(s, arena, text, info, dropped, &d.idmap);
    if (r == word_record::end) return;
    if (r == word_record::kept && !insert_loaded_word(d, text, std::move(info), true)) {
      count_drop(dropped);
    }
  }
}

// Words read and checked ahead, in file order; each text is texts[at, at + length).
struct word_batch {
  struct word {
    std::uint32_t at = 0;
    std::uint32_t length = 0;
    wordinfo_t info;
  };
  std::u16string texts;
  std::vector<word> words;
};

// Batches start small, so that inserting starts early, and double up to this many words.
constexpr std::size_t first_batch_words = 16;
constexpr std::size_t last_batch_words = 1024;

// read_dic_records with the reading and checking on a second thread, ahead of this one,
// which inserts the words in file order: the same words kept, the same records dropped.
// The lists' chunks count their users without a lock, so while the reader carves, only it
// frees lists: words refused here wait in a graveyard freed once it has ended.
// Waiting for the reader leaves this thread time to gather what index_loaded_words would
// walk the map for (each entry, its text's hash, its holders' pairs), from each word
// inserted: into `gathered`, while every word went to the map's end (as in a file that was
// saved whole), so that map order is file order; else it is cleared and false returned.
bool read_dic_records_beside(dic_t& d, data_stream& s, std::int64_t* dropped,
                             loaded_words& gathered) {
  bool in_order = true;
  tsugihagi::batch_pipe<word_batch> pipe;
  std::int64_t reader_dropped = 0;
  std::int64_t inserter_dropped = 0;
  // Destroyed after the reader has ended, on this thread.
  std::vector<wordinfo_t> refused;
  word_batch batch;
  std::exception_ptr failure;
  const auto read = [&] {
    try {
      std::u16string text;
      tsugihagi::list_arena arena;
      word_batch ahead;
      std::size_t limit = first_batch_words;
      ahead.words.reserve(limit);
      while (!pipe.cancelled()) {
        wordinfo_t info;
        const word_record r = read_word_record(s, arena, text, info, &reader_dropped, nullptr);
        if (r == word_record::end) break;
        if (r == word_record::dropped) continue;
        ahead.words.push_back({static_cast<std::uint32_t>(ahead.texts.size()),
                               static_cast<std::uint32_t>(text.size()), std::move(info)});
        ahead.texts += text;
        if (ahead.words.size() >= limit) {
          pipe.put(std::move(ahead));
          ahead = word_batch{};
          limit = std::min(2 * limit, last_batch_words);
          ahead.words.reserve(limit);
        }
      }
      if (!ahead.words.empty()) pipe.put(std::move(ahead));
      pipe.finish();
    } catch (...) {
      pipe.finish(std::current_exception());
    }
  };
  const auto insert = [&] {
    try {
      while (pipe.take(batch)) {
        constexpr std::size_t fetch_ahead = 8;
        const std::size_t n = batch.words.size();
        for (std::size_t k = 0; k < n; ++k) {
          if (k + fetch_ahead < n) {
            const std::int32_t id = batch.words[k + fetch_ahead].info.id;
            if (id < d.idmap.size()) tsugihagi::prefetch(&d.idmap[id]);
          }
          word_batch::word& w = batch.words[k];
          const std::u16string_view text(batch.texts.data() + w.at, w.length);
          const std::int32_t id = w.info.id;
          if (!insert_loaded_word(d, text, std::move(w.info), true)) {
            ++inserter_dropped;
            refused.push_back(std::move(w.info));
          } else if (in_order) {
            wordmap_t::value_type& last = *d.wordmap.rbegin();
            if (last.second.id == id) {
              gathered.entries.push_back(&last);
              gathered.hashes.push_back(tsugihagi::text_hash(text));
              tsugihagi::for_each_id(last.second.idioms,
                                     [&](std::int32_t y) { gathered.held.emplace_back(y, id); });
            } else {
              in_order = false;
              gathered = loaded_words{};
            }
          }
        }
      }
    } catch (...) {
      failure = std::current_exception();
      pipe.cancel();
    }
  };
  tsugihagi::run_beside(read, insert);
  if (!failure) failure = pipe.failure();
  if (failure) std::rethrow_exception(failure);
  if (dropped != nullptr) *dropped += reader_dropped + inserter_dropped;
  return in_order;
}

}  // namespace

void read_dic(dic_t& d, data_stream& s, std::int64_t* dropped) {
  read_dic_beside(d, s, dropped, parallel_load_min_bytes);
}

void read_dic_beside(dic_t& d, data_stream& s, std::int64_t* dropped,
                     std::uint64_t parallel_min_bytes) {
  if (s.file_size() >= parallel_min_bytes && !s.failed()) {
    loaded_words gathered;
    const bool in_order = read_dic_records_beside(d, s, dropped, gathered);
    index_loaded_words(d, parallel_index_min_words, in_order ? &gathered : nullptr);
  } else {
    read_dic_records(d, s, dropped);
    index_loaded_words(d);
  }
}

void write_idiom_hdid(const dic_t& d, data_stream& s) {
  write_free_ids(d.idiom_hdid, s);
}
void write_hdid(const dic_t& d, data_stream& s) {
  write_free_ids(d.hdid, s);
}

void write_idiomdic(const dic_t& d, data_stream& s) {
  block_writer out(s);
  std::vector<std::uint8_t>& bytes = out.bytes();
  d.idiomidmap.for_each_stored([&](std::int32_t i, const idiomidmap_value_t& slot) {
    const idiom_t* idiom = slot.idiom;
    if (idiom == nullptr) return;
    tsugihagi::append_compact_int(bytes, static_cast<std::uint32_t>(i));
    tsugihagi::append_compact_int(bytes, static_cast<std::uint32_t>(idiom->length()));
    for (const std::int32_t w : idiom->ids) {
      tsugihagi::append_compact_int(bytes, static_cast<std::uint32_t>(w));
    }
    tsugihagi::append_bit_vector(bytes, idiom->flags.data(), idiom->flags.size());
    out.end_record();
  });
  out.flush();
}

void write_dic(const dic_t& d, data_stream& s) {
  block_writer out(s);
  std::vector<std::uint8_t>& bytes = out.bytes();
  for (const auto& [key, info] : d.wordmap) {
    tsugihagi::append_wide_z(bytes, key.text());
    tsugihagi::append_compact_int(bytes, static_cast<std::uint32_t>(info.id));
    tsugihagi::append_compact_int(bytes, static_cast<std::uint32_t>(info.count));
    out.list(info.next);
    out.list(info.prev);
    out.list(info.cooc);
    out.list(info.idioms);
    out.end_record();
  }
  out.flush();
}

const char* file_name(dictionary_file f) {
  switch (f) {
    case dictionary_file::idiom_hdid:
      return "idiom_hdid.data";
    case dictionary_file::idiomdic:
      return "idiomdic.data";
    case dictionary_file::hdid:
      return "hdid.data";
    case dictionary_file::dic:
      return "dic.data";
  }
  return "";
}

void read_dictionary_file(dic_t& d, dictionary_file f, data_stream& s, std::int64_t* dropped) {
  switch (f) {
    case dictionary_file::idiom_hdid:
      return read_idiom_hdid(d, s, dropped);
    case dictionary_file::idiomdic:
      return read_idiomdic(d, s, dropped);
    case dictionary_file::hdid:
      return read_hdid(d, s, dropped);
    case dictionary_file::dic:
      return read_dic(d, s, dropped);
  }
}

void write_dictionary_file(const dic_t& d, dictionary_file f, data_stream& s) {
  switch (f) {
    case dictionary_file::idiom_hdid:
      return write_idiom_hdid(d, s);
    case dictionary_file::idiomdic:
      return write_idiomdic(d, s);
    case dictionary_file::hdid:
      return write_hdid(d, s);
    case dictionary_file::dic:
      return write_dic(d, s);
  }
}

std::optional<dictionary_file> read_opened_files(dic_t& d, opened_files& files,
                                                 dropped_counts* dropped, bool* read_error,
                                                 std::uint64_t parallel_min_bytes) {
  // What reading each file found: its drops, and whether it met a read error.
  std::array<std::int64_t, 4> file_dropped{};
  std::array<bool, 4> file_read_error{};
  const auto read_files = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      if (dictionary_file_order[i] == dictionary_file::dic) {
        read_dic_beside(d, files.streams[i], &file_dropped[i], parallel_min_bytes);
      } else {
        read_dictionary_file(d, dictionary_file_order[i], files.streams[i], &file_dropped[i]);
      }
      file_read_error[i] = files.streams[i].read_error();
      if (file_read_error[i]) return;
    }
  };
  constexpr std::size_t word_files = 2;  // idiom_hdid and idiomdic come before
  const std::size_t idiom_end = std::min(files.opened, word_files);
  std::uint64_t idiom_bytes = 0;
  for (std::size_t i = 0; i < idiom_end; ++i)
    idiom_bytes += files.streams[i].file_size();
  if (files.opened > word_files && idiom_bytes >= parallel_min_bytes) {
    tsugihagi::run_beside([&] { read_files(0, idiom_end); },
                          [&] { read_files(word_files, files.opened); });
  } else {
    // In order, the second pair only when the first read whole.
    read_files(0, idiom_end);
    if (!file_read_error[0] && !file_read_error[1]) read_files(word_files, files.opened);
  }
  if (read_error != nullptr) *read_error = false;
  for (std::size_t i = 0; i < files.opened; ++i) {
    if (file_read_error[i]) {
      if (read_error != nullptr) *read_error = true;
      return dictionary_file_order[i];
    }
    if (dropped != nullptr) (*dropped)[i] += file_dropped[i];
  }
  if (files.opened < dictionary_file_order.size()) return dictionary_file_order[files.opened];
  return std::nullopt;
}

std::optional<dictionary_file> load_dictionary(dic_t& d, const std::filesystem::path& data_dir,
                                               dropped_counts* dropped, bool* read_error) {
  return read_dictionary(
      d, [&](dictionary_file f) { return tsugihagi::open_read(data_dir / file_name(f)); }, dropped,
      read_error);
}

bool save_dictionary(const dic_t& d, const std::filesystem::path& data_dir) {
  bool saved = true;
  for (const dictionary_file f : dictionary_file_order) {
    data_stream s = tsugihagi::open_write(data_dir / file_name(f));
    write_dictionary_file(d, f, s);
    saved = s.close() && saved;
  }
  return saved;
}

}  // namespace strmorph
