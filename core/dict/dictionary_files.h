// The four dictionary files: "data/dic.data" (every word with its lists), "data/hdid.data"
// (free word ids), "data/idiom_hdid.data" (free idiom ids) and "data/idiomdic.data" (every
// idiom). No headers or counts: records follow one another to the end of the file. Readers
// drop records that are cut short or impossible (negative or too large ids, lists that do
// not decode exactly, an id already taken) and never allocate more than the file holds.
#pragma once

#include <filesystem>

#include "core/dict/dictionary.h"
#include "core/io/data_stream.h"

namespace strmorph {

// Readers and writers of each file's records over a stream. REQUIRES for the readers: the
// dictionary was freshly constructed, and files are read in the order idiom_hdid, idiomdic,
// hdid, dic.
void read_idiom_hdid(dic_t& d, tsugihagi::data_stream& s);
void read_idiomdic(dic_t& d, tsugihagi::data_stream& s);
void read_hdid(dic_t& d, tsugihagi::data_stream& s);
void read_dic(dic_t& d, tsugihagi::data_stream& s);
void write_idiom_hdid(const dic_t& d, tsugihagi::data_stream& s);
void write_idiomdic(const dic_t& d, tsugihagi::data_stream& s);
void write_hdid(const dic_t& d, tsugihagi::data_stream& s);
void write_dic(const dic_t& d, tsugihagi::data_stream& s);

// Each loader returns false only when its file cannot be opened.
bool load_idiom_hdid(dic_t& d, const std::filesystem::path& path);
bool load_idiomdic(dic_t& d, const std::filesystem::path& path);
bool load_hdid(dic_t& d, const std::filesystem::path& path);
bool load_dic(dic_t& d, const std::filesystem::path& path);
// Each saver replaces its file, or leaves it as it was when the save fails; returns which.
bool save_idiom_hdid(const dic_t& d, const std::filesystem::path& path);
bool save_idiomdic(const dic_t& d, const std::filesystem::path& path);
bool save_hdid(const dic_t& d, const std::filesystem::path& path);
bool save_dic(const dic_t& d, const std::filesystem::path& path);

}  // namespace strmorph
