// The four dictionary files: "data/dic.data" (every word with its lists), "data/hdid.data"
// (free word ids), "data/idiom_hdid.data" (free idiom ids) and "data/idiomdic.data" (every
// idiom). No headers or counts: records follow one another to the end of the file. Readers
// drop records that are cut short or impossible (negative or too large ids, lists that do
// not decode exactly, an id already taken) and never allocate more than the file holds. A
// load reads each file once, in blocks, and costs time and memory in proportion to its size.
#pragma once

#include <array>
#include <filesystem>
#include <optional>

#include "core/dict/dictionary.h"
#include "core/io/data_stream.h"

namespace strmorph {

// Readers and writers of each file's records over a stream. REQUIRES for the readers: the
// dictionary was freshly constructed, and files are read in dictionary_file_order. A reader
// given `dropped` adds to it one for each record it drops (a record cut short by the end of
// the file, impossible, or already taken), in the file's own unit: a record of dic.data is a
// word, of idiomdic.data a phrase, of hdid.data and idiom_hdid.data a free id. A free id
// takes four bytes, so each one dropped is counted (one repeated is kept once, losing nothing). A
// word or a phrase has no fixed length: when a damaged field leaves no way to tell where the next
// record begins (a length byte above 4, a list or a phrase longer than the bytes left), reading
// stops there, that record counts as one, and the bytes after it are dropped with it uncounted,
// since how many words or phrases they held cannot be known. The count of those two files is then a
// lower bound. After a read error (data_stream::read_error) the stream holds only part of the file,
// and the counts say nothing about it.
void read_idiom_hdid(dic_t& d, tsugihagi::data_stream& s, std::int64_t* dropped = nullptr);
void read_idiomdic(dic_t& d, tsugihagi::data_stream& s, std::int64_t* dropped = nullptr);
void read_hdid(dic_t& d, tsugihagi::data_stream& s, std::int64_t* dropped = nullptr);
void read_dic(dic_t& d, tsugihagi::data_stream& s, std::int64_t* dropped = nullptr);
// Loads of at least this many bytes read on two threads: dic.data's records decoded and
// checked beside the thread that inserts them, the idiom files beside the word files.
inline constexpr std::uint64_t parallel_load_min_bytes = 256 * 1024;
// read_dic, the records read and checked (most of its time) on a second thread while this
// one inserts them in file order, when the file holds `parallel_min_bytes` or more: the same
// words kept and records dropped. read_dic is this at parallel_load_min_bytes.
void read_dic_beside(dic_t& d, tsugihagi::data_stream& s, std::int64_t* dropped,
                     std::uint64_t parallel_min_bytes);
void write_idiom_hdid(const dic_t& d, tsugihagi::data_stream& s);
void write_idiomdic(const dic_t& d, tsugihagi::data_stream& s);
void write_hdid(const dic_t& d, tsugihagi::data_stream& s);
void write_dic(const dic_t& d, tsugihagi::data_stream& s);

// The four files, in the order they are loaded and saved.
enum class dictionary_file { idiom_hdid, idiomdic, hdid, dic };
inline constexpr std::array<dictionary_file, 4> dictionary_file_order{
    dictionary_file::idiom_hdid, dictionary_file::idiomdic, dictionary_file::hdid,
    dictionary_file::dic};

// Records dropped while loading, per file, in dictionary_file_order.
using dropped_counts = std::array<std::int64_t, 4>;

// The file's name in the data folder: "idiom_hdid.data", "idiomdic.data", ...
const char* file_name(dictionary_file f);
// The reader and the writer of one file.
void read_dictionary_file(dic_t& d, dictionary_file f, tsugihagi::data_stream& s,
                          std::int64_t* dropped = nullptr);
void write_dictionary_file(const dic_t& d, dictionary_file f, tsugihagi::data_stream& s);

// Reads the four files in their order from the streams `open(f)` gives, stopping at the first
// that fails: a stream that has failed already (its file could not be opened), or one that
// meets a read error (its device delivered fewer bytes than the file's size said, as on an
// I/O error or a file cut short while it was read). Returns that file, or nothing when all
// four were read; the dictionary then holds a part of the data and must not be saved over
// the files. `dropped`, when given, counts each file's dropped records; a file with a read
// error adds nothing. `read_error`, when given, is set to whether the file returned failed
// with a read error rather than at its opening. REQUIRES: d freshly constructed.
// This is the loading order itself, one file after another; read_dictionary gives the same.
template <typename Open>
std::optional<dictionary_file> read_dictionary_in_order(dic_t& d, Open open,
                                                        dropped_counts* dropped = nullptr,
                                                        bool* read_error = nullptr) {
  if (read_error != nullptr) *read_error = false;
  for (std::size_t i = 0; i < dictionary_file_order.size(); ++i) {
    const dictionary_file f = dictionary_file_order[i];
    tsugihagi::data_stream s = open(f);
    if (s.failed()) return f;
    std::int64_t file_dropped = 0;
    read_dictionary_file(d, f, s, &file_dropped);
    if (s.read_error()) {
      if (read_error != nullptr) *read_error = true;
      return f;
    }
    if (dropped != nullptr) (*dropped)[i] += file_dropped;
  }
  return std::nullopt;
}

// The streams of the four files, opened in dictionary_file_order up to the first that failed
// to open: `opened` of them, and when opened < 4, streams[opened] is that failed one.
struct opened_files {
  std::array<tsugihagi::data_stream, 4> streams;
  std::size_t opened = 0;
};

// The idiom files and the word files fill disjoint parts of a dictionary (idiom_hdid and
// idiomdic the idioms, hdid and dic the words), so the two pairs may be read at once, each in
// its order. They are, on a second thread, when the idiom files hold `parallel_min_bytes` or
// more and the word files are open too: a large load then costs about its word side alone.
// dic.data is read beside its inserts (read_dic_beside) from the same size on.

// read_dictionary_in_order's result, over streams opened already (see read_dictionary).
std::optional<dictionary_file> read_opened_files(
    dic_t& d, opened_files& files, dropped_counts* dropped, bool* read_error,
    std::uint64_t parallel_min_bytes = parallel_load_min_bytes);

// read_dictionary_in_order, but the streams are all opened first, in order up to the first
// that fails to open, and the idiom and word files read at once when large (see
// parallel_load_min_bytes). Same result, same dictionary; a file after one that met a read
// error may be read too, but only into a dictionary that must not be saved. REQUIRES: d
// freshly constructed; `open` called from the calling thread only.
template <typename Open>
std::optional<dictionary_file> read_dictionary(
    dic_t& d, Open open, dropped_counts* dropped = nullptr, bool* read_error = nullptr,
    std::uint64_t parallel_min_bytes = parallel_load_min_bytes) {
  opened_files files;
  for (; files.opened < dictionary_file_order.size(); ++files.opened) {
    files.streams[files.opened] = open(dictionary_file_order[files.opened]);
    if (files.streams[files.opened].failed()) break;
  }
  return read_opened_files(d, files, dropped, read_error, parallel_min_bytes);
}

// Loads the four files from `data_dir`; returns the first that could not be opened or met a
// read error, at which loading stopped, or nothing (see read_dictionary). REQUIRES: d freshly
// constructed.
std::optional<dictionary_file> load_dictionary(dic_t& d, const std::filesystem::path& data_dir,
                                               dropped_counts* dropped = nullptr,
                                               bool* read_error = nullptr);
// Replaces each of the four files in `data_dir`; a file whose save fails keeps its old
// content. Returns whether all four were replaced.
bool save_dictionary(const dic_t& d, const std::filesystem::path& data_dir);

}  // namespace strmorph
