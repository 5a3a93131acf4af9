#include "core/dict/dictionary_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "core/dict/segmentation.h"
#include "core/io/memory_device.h"
#include "core/io/primitives.h"
#include "tests/support/test_support.h"

namespace strmorph {
namespace {

using tsugihagi::data_stream;
using tsugihagi::pack_ids;
using tsugihagi::pack_pairs;
using tsugihagi::unpack_ids;
using tsugihagi::unpack_pairs;
using tsugihagi::testing::bytes;
using tsugihagi::testing::corpus_lines;
using tsugihagi::testing::make_empty_data;
using tsugihagi::testing::memory_reader;
using tsugihagi::testing::read_file;
using tsugihagi::testing::temp_dir;
using tsugihagi::testing::written_by;

using ids = std::vector<std::int32_t>;

bytes cat(std::initializer_list<bytes> parts) {
  bytes all;
  for (const bytes& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

bytes prefix(const bytes& all, std::size_t n) {
  return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)};
}

// The four files' contents, in loading order.
struct files {
  bytes idiom_hdid, idiomdic, hdid, dic;
};

files files_of(const dic_t& d) {
  return {written_by([&](data_stream& s) { write_idiom_hdid(d, s); }),
          written_by([&](data_stream& s) { write_idiomdic(d, s); }),
          written_by([&](data_stream& s) { write_hdid(d, s); }),
          written_by([&](data_stream& s) { write_dic(d, s); })};
}

void read_all(dic_t& d, const files& f) {
  const bytes* contents[] = {&f.idiom_hdid, &f.idiomdic, &f.hdid, &f.dic};
  EXPECT_FALSE(read_dictionary(
      d, [&](dictionary_file file) { return memory_reader(*contents[static_cast<int>(file)]); }));
}

// One "data/dic.data" record, written field by field.
bytes word_record(std::u16string_view text, std::uint32_t id, std::uint32_t count = 0,
                  const bytes& next = {}, const bytes& prev = {}, const bytes& cooc = {},
                  const bytes& idioms = {}) {
  return written_by([&](data_stream& s) {
    tsugihagi::write_wide_z(s, text);
    tsugihagi::write_compact_int(s, id);
    tsugihagi::write_compact_int(s, count);
    for (const bytes* list : {&next, &prev, &cooc, &idioms})
      tsugihagi::write_byte_blob(s, list->data(), list->size());
  });
}

// One "data/idiomdic.data" record.
bytes idiom_record(std::uint32_t id, const ids& word_ids, const std::vector<std::uint8_t>& flags) {
  return written_by([&](data_stream& s) {
    tsugihagi::write_compact_int(s, id);
    tsugihagi::write_compact_int(s, static_cast<std::uint32_t>(word_ids.size()));
    for (const std::int32_t w : word_ids)
      tsugihagi::write_compact_int(s, static_cast<std::uint32_t>(w));
    tsugihagi::write_bit_vector(s, flags.data(), flags.size());
  });
}

bytes i32s(const ids& values) {
  return written_by([&](data_stream& s) {
    for (const std::int32_t v : values)
      tsugihagi::write_i32(s, v);
  });
}

bytes list_bytes(const packed_list& list) {
  return {list.bytes().begin(), list.bytes().end()};
}

std::int32_t add(dic_t& d, std::u16string_view text) {
  return add_word(d, text.data(), static_cast<std::int32_t>(text.size())).first->second.id;
}

std::int32_t id_of(dic_t& d, std::u16string_view text) {
  const auto* entry = find_word(d, text.data(), static_cast<std::int32_t>(text.size()));
  return entry == nullptr ? -99 : entry->second.id;
}

TEST(dic_file, holds_each_word_as_text_id_count_and_lists_in_word_order) {
  dic_t d;
  add(d, u"い");
  add(d, u"あ");
  EXPECT_EQ(files_of(d).dic, (bytes{0x42, 0x30, 0, 0, 0x01, 0x01, 0, 0, 0, 0, 0,  //
                                    0x44, 0x30, 0, 0, 0x00, 0x00, 0, 0, 0, 0}));
  dic_t far;
  wordinfo_t info;
  info.id = 300;
  ASSERT_TRUE(insert_loaded_word(far, u"あ", std::move(info)));
  EXPECT_EQ(files_of(far).dic, (bytes{0x42, 0x30, 0x00, 0x00, 0x02, 0x2C, 0x01, 0, 0, 0, 0, 0}));
}

TEST(idiomdic_file, an_idiom_with_id_5_is_its_id_length_ids_and_one_flag_byte) {
  dic_t d;
  ASSERT_TRUE(insert_loaded_idiom(d, 5, idiom_t{{7, 300, 0}, {0, 0, 1}}));
  EXPECT_EQ(files_of(d).idiomdic,
            (bytes{0x01, 0x05, 0x01, 0x03, 0x01, 0x07, 0x02, 0x2C, 0x01, 0x00, 0x04}));
}

TEST(idiomdic_file, nine_flags_take_two_bytes_and_the_ninth_is_bit_0_of_the_second) {
  dic_t d;
  const idiom_t idiom{{0, 1, 2, 3, 4, 5, 6, 7, 8}, {1, 0, 0, 0, 0, 0, 0, 0, 1}};
  ASSERT_TRUE(insert_loaded_idiom(d, 0, idiom));
  const bytes file = files_of(d).idiomdic;
  ASSERT_EQ(file.size(), 1u + 2u + (1u + 8 * 2u) + 2u);
  EXPECT_EQ(prefix(file, 4), (bytes{0x00, 0x01, 0x09, 0x00}));
  EXPECT_EQ((bytes{file.end() - 2, file.end()}), (bytes{0x01, 0x01}));

  dic_t loaded;
  data_stream s = memory_reader(file);
  read_idiomdic(loaded, s);
  ASSERT_NE(idiom_at(loaded, 0), nullptr);
  EXPECT_EQ(idiom_at(loaded, 0)->ids, idiom.ids);
  EXPECT_EQ(idiom_at(loaded, 0)->flags, idiom.flags);
}

TEST(hdid_file, holds_the_free_ids_as_i32s_in_ascending_order) {
  dic_t d;
  d.hdid = {10, 3};
  d.idiom_hdid = {256};
  EXPECT_EQ(files_of(d).hdid, (bytes{3, 0, 0, 0, 10, 0, 0, 0}));
  EXPECT_EQ(files_of(d).idiom_hdid, (bytes{0, 1, 0, 0}));
}

TEST(dictionary_files, free_ids_3_and_10_with_words_0_1_2_4_5_give_an_idmap_of_11) {
  dic_t d;
  read_all(d, {{},
               {},
               i32s({3, 10}),
               cat({word_record(u"a", 0), word_record(u"b", 1), word_record(u"c", 2),
                    word_record(u"d", 4), word_record(u"e", 5)})});
  EXPECT_EQ(d.idmap.size(), 11);
  for (const std::int32_t empty : {3, 6, 7, 8, 9, 10})
    EXPECT_EQ(word_at(d, empty), nullptr) << empty;
  EXPECT_EQ(word_text(d, 4), u"d");
  EXPECT_EQ(add(d, u"new"), 3);
  EXPECT_EQ(add(d, u"newer"), 10) << "then the next free id";
  EXPECT_EQ(add(d, u"newest"), 11);
}

TEST(dictionary_files, empty_files_load_as_an_empty_dictionary) {
  temp_dir dir;
  make_empty_data(dir.path());
  const auto data = dir.path() / "data";
  dic_t d;
  EXPECT_EQ(load_dictionary(d, data), std::nullopt);
  EXPECT_TRUE(d.wordmap.empty());
  EXPECT_EQ(add(d, u"a"), 0);
  EXPECT_EQ(add_idiom(d, idiom_t{{0}, {1}}).first, 0);
}

TEST(dictionary_files, loading_stops_at_the_first_missing_file_and_saving_needs_the_folder) {
  temp_dir dir;
  make_empty_data(dir.path());
  const auto data = dir.path() / "data";
  std::filesystem::remove(data / "hdid.data");
  std::filesystem::remove(data / "dic.data");
  dic_t d;
  EXPECT_EQ(load_dictionary(d, data), dictionary_file::hdid);
  EXPECT_FALSE(save_dictionary(d, dir.path() / "missing"));
  std::filesystem::remove(data / "idiomdic.data");
  dic_t other;
  EXPECT_EQ(load_dictionary(other, data), dictionary_file::idiomdic);
}

// A dictionary grown from corpus lines (every three-unit stretch made a word, then the line
// segmented), with a small entry limit so that pruning leaves free word and idiom ids behind.
void learn_corpus(dic_t& d, std::size_t line_count) {
  for (const std::u16string& line : corpus_lines(line_count)) {
    if (line.empty()) continue;
    for (std::size_t at = 0; at < line.size(); at += 3)
      add_word(d, line.data() + at,
               static_cast<std::int32_t>(std::min<std::size_t>(3, line.size() - at)));
    std::map<std::int32_t, std::int32_t> out;
    tsugihagi::segment(d, line.data(), static_cast<std::int32_t>(line.size()), out);
    ids words;
    for (const auto& [position, id] : out)
      words.push_back(id);
    words = live_ids(d, words);  // adding a late word may have pruned an early one
    if (words.empty()) continue;
    for (std::size_t i = 0; i < words.size(); ++i) {
      wordinfo_t* w = word_at(d, words[i]);
      auto next = unpack_pairs(w->next);
      next.push_back({i + 1 < words.size() ? words[i + 1] : boundary_id, static_cast<int>(i)});
      w->next = pack_pairs(next);
      auto prev = unpack_ids(w->prev);
      prev.push_back(i > 0 ? words[i - 1] : boundary_id);
      w->prev = pack_ids(prev);
      auto cooc = unpack_pairs(w->cooc);
      for (const std::int32_t other : words) {
        if (other != words[i] && !tsugihagi::pair_list_has_id(w->cooc, other))
          cooc.push_back({other, 70000});
      }
      w->cooc = pack_pairs(cooc);
    }
    std::vector<std::uint8_t> flags(words.size() - 1, words.size() > 8 ? 1 : 0);
    flags.push_back(1);
    const auto [idiom_id, inserted] = add_idiom(d, idiom_t{words, flags});
    if (inserted) link_idiom(d, words, idiom_id);
  }
}

TEST(dictionary_files, saving_and_loading_reproduces_every_byte) {
  temp_dir dir;
  dic_t original(150);
  learn_corpus(original, 80);
  ASSERT_FALSE(original.hdid.empty()) << "the corpus should have filled the word map";
  ASSERT_FALSE(original.idiom_hdid.empty());
  original.idiom_hdid.insert(1000);  // a free id past the end of idiomidmap
  const auto first = dir.path() / "first", second = dir.path() / "second";
  std::filesystem::create_directories(first);
  std::filesystem::create_directories(second);
  EXPECT_TRUE(save_dictionary(original, first));

  dic_t loaded;
  ASSERT_EQ(load_dictionary(loaded, first), std::nullopt);
  EXPECT_TRUE(save_dictionary(loaded, second));
  for (const dictionary_file f : dictionary_file_order) {
    const char* name = file_name(f);
    EXPECT_FALSE(read_file(first / name).empty()) << name;
    EXPECT_EQ(read_file(first / name), read_file(second / name)) << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(first), {}), 4)
      << "no temporary files are left behind";
  for (auto& [key, info] : loaded.wordmap)
    EXPECT_EQ(word_at(loaded, info.id), &info) << "idmap reaches every loaded word";
}

// Loading stops at a record cut short and keeps every complete record before it.
TEST(damaged_files, a_dic_record_cut_short_is_dropped_wherever_it_is_cut) {
  const bytes first = word_record(u"あ", 0, 2, {0x01, 0x01, 0x00}, {0x00}, {}, {0x01, 0x09});
  const bytes second = word_record(u"いう", 1, 0, {0x00, 0x00}, {0x01, 0x07});
  const bytes whole = cat({first, second});
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    dic_t d;
    data_stream s = memory_reader(prefix(whole, cut));
    read_dic(d, s);
    const std::size_t complete = (cut >= first.size()) + (cut == whole.size());
    ASSERT_EQ(d.wordmap.size(), complete) << "cut at " << cut;
    EXPECT_EQ(word_at(d, 1) != nullptr, complete == 2) << "cut at " << cut;
    if (complete == 0) continue;
    const wordinfo_t* a = word_at(d, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->count, 2);
    EXPECT_EQ(list_bytes(a->next), (bytes{0x01, 0x01, 0x00}));
    EXPECT_EQ(list_bytes(a->idioms), (bytes{0x01, 0x09}));
  }
}

TEST(damaged_files, an_idiom_record_cut_short_is_dropped_wherever_it_is_cut) {
  const bytes first = idiom_record(0, {1, 300, 2}, {0, 0, 1});
  const bytes second = idiom_record(1, {4, 5, 6, 7, 8, 9, 10, 11, 12}, {0, 0, 0, 0, 0, 0, 0, 0, 1});
  const bytes whole = cat({first, second});
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    dic_t d;
    data_stream s = memory_reader(prefix(whole, cut));
    read_idiomdic(d, s);
    const std::size_t complete = (cut >= first.size()) + (cut == whole.size());
    ASSERT_EQ(d.idiomset.size(), complete) << "cut at " << cut;
    EXPECT_EQ(idiom_at(d, 1) != nullptr, complete == 2) << "cut at " << cut;
    if (complete > 0) {
      EXPECT_EQ(idiom_at(d, 0)->ids, (ids{1, 300, 2}));
    }
  }
}

TEST(damaged_files, a_free_id_list_ending_inside_an_i32_keeps_the_whole_ones) {
  dic_t d;
  read_all(d, {{0x02, 0, 0, 0, 0x05}, {}, {0x03, 0, 0, 0, 0x0A, 0}, {}});
  EXPECT_EQ(d.hdid, std::set<std::int32_t>{3});
  EXPECT_EQ(d.idiom_hdid, std::set<std::int32_t>{2});
}

TEST(damaged_files, records_with_impossible_ids_are_dropped) {
  dic_t d;
  read_all(d, {i32s({-1, 0x1000000, 4}),
               cat({idiom_record(0xFFFFFFFF, {0}, {1}), idiom_record(0x1000000, {1}, {1}),
                    idiom_record(3, {2}, {1})}),
               i32s({-5, 0x1000000, 7}),
               cat({word_record(u"a", 0xFFFFFFFF), word_record(u"b", 0x1000000),
                    word_record(u"c", 1000)})});
  EXPECT_EQ(d.idiom_hdid, std::set<std::int32_t>{4});
  EXPECT_EQ(d.hdid, std::set<std::int32_t>{7});
  EXPECT_EQ(d.idiomset.size(), 1u);
  ASSERT_NE(idiom_at(d, 3), nullptr);
  EXPECT_EQ(idiom_at(d, 3)->ids, ids{2});
  EXPECT_EQ(d.wordmap.size(), 1u);
  EXPECT_EQ(id_of(d, u"c"), 1000);
  EXPECT_EQ(d.idmap.size(), 1001);
}

TEST(damaged_files, a_list_that_does_not_decode_exactly_drops_its_record) {
  const std::vector<std::pair<const char*, bytes>> damaged{
      {"next cut inside a value", word_record(u"a", 0, 0, {0x01})},
      {"next with an odd number of values", word_record(u"b", 1, 0, {0x00, 0x01, 0x05, 0x00})},
      {"prev with a length byte above 4", word_record(u"c", 2, 0, {}, {0x05, 0, 0, 0, 0, 0})},
      {"cooc with a single value", word_record(u"d", 3, 0, {}, {}, {0x00})},
      {"idioms cut inside a value", word_record(u"e", 4, 0, {}, {}, {}, {0x02, 0x2C})},
  };
  for (const auto& [what, record] : damaged) {
    dic_t d;
    data_stream s = memory_reader(cat({record, word_record(u"ok", 9, 0, {0x00, 0x00})}));
    read_dic(d, s);
    EXPECT_EQ(d.wordmap.size(), 1u) << what;
    EXPECT_EQ(id_of(d, u"ok"), 9) << what;
  }
}

TEST(damaged_files, an_empty_text_an_empty_idiom_or_an_overlong_idiom_is_dropped) {
  dic_t d;
  read_all(d, {{},
               cat({idiom_record(0, {}, {}), idiom_record(1, {5}, {1})}),
               {},
               cat({word_record(u"", 0), word_record(u"x", 1)})});
  EXPECT_EQ(idiom_at(d, 0), nullptr);
  EXPECT_NE(idiom_at(d, 1), nullptr);
  EXPECT_EQ(word_at(d, 0), nullptr);
  EXPECT_EQ(id_of(d, u"x"), 1);

  dic_t longer;
  data_stream s = memory_reader({0x00, 0x04, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00});
  read_idiomdic(longer, s);
  EXPECT_TRUE(longer.idiomset.empty()) << "an idiom longer than the file is not allocated";
}

TEST(damaged_files, a_second_record_with_a_taken_id_does_not_replace_the_first) {
  dic_t d;
  read_all(d,
           {{},
            cat({idiom_record(2, {1}, {1}), idiom_record(2, {5}, {1}), idiom_record(3, {1}, {1})}),
            {},
            cat({word_record(u"あ", 0), word_record(u"い", 0), word_record(u"あ", 1)})});
  EXPECT_EQ(d.wordmap.size(), 1u);
  EXPECT_EQ(word_text(d, 0), u"あ");
  EXPECT_EQ(d.idmap[0].info, &find_word(d, u"あ", 1)->second);
  EXPECT_EQ(word_at(d, 1), nullptr);
  EXPECT_EQ(id_of(d, u"い"), -99);

  EXPECT_EQ(d.idiomset.size(), 1u);
  ASSERT_NE(idiom_at(d, 2), nullptr);
  EXPECT_EQ(idiom_at(d, 2)->ids, ids{1});
  EXPECT_EQ(idiom_at(d, 3), nullptr) << "the same idiom under a second id";
}

TEST(damaged_files, a_free_id_that_a_loaded_entry_uses_is_no_longer_free) {
  dic_t d;
  read_all(d, {i32s({0, 1}), idiom_record(0, {0}, {1}), i32s({1, 2}), word_record(u"a", 1)});
  EXPECT_EQ(d.idiom_hdid, std::set<std::int32_t>{1});
  EXPECT_EQ(d.hdid, std::set<std::int32_t>{2});
  EXPECT_EQ(add(d, u"b"), 2) << "a new word must not take the loaded word's id";
  EXPECT_EQ(word_text(d, 1), u"a");
  EXPECT_EQ(add_idiom(d, idiom_t{{1}, {1}}).first, 1);
}

// A free id just below the ceiling stretches the id arrays to it; the ids after it must still
// be ones the files can hold, or the entries that take them are lost on the next load.
TEST(damaged_files, a_free_id_at_the_ceiling_leaves_new_entries_ids_the_files_can_hold) {
  dic_t d;
  read_all(d, {i32s({id_ceiling - 1}), idiom_record(0, {0}, {1}), i32s({id_ceiling - 1}),
               word_record(u"a", 0)});
  EXPECT_EQ(add(d, u"b"), id_ceiling - 1);
  EXPECT_EQ(add(d, u"c"), 1) << "the smallest empty slot";
  EXPECT_EQ(add(d, u"d"), 2);
  EXPECT_EQ(add_idiom(d, idiom_t{{1}, {1}}).first, id_ceiling - 1);
  EXPECT_EQ(add_idiom(d, idiom_t{{2}, {1}}).first, 1);

  const files saved = files_of(d);
  dic_t reloaded;
  read_all(reloaded, saved);
  for (const char16_t* word : {u"a", u"b", u"c", u"d"})
    EXPECT_EQ(id_of(reloaded, word), id_of(d, word)) << "lost or renumbered on reload";
  EXPECT_EQ(reloaded.idiomset.size(), 3u);
  EXPECT_EQ(files_of(reloaded).hdid, saved.hdid);
  EXPECT_EQ(files_of(reloaded).idiom_hdid, saved.idiom_hdid);
}

// A few bytes naming the largest possible id grow the id arrays to the ceiling, as saved
// state needs, but allocate one chunk at most: memory in proportion to the files.
TEST(damaged_files, the_largest_id_grows_the_id_arrays_without_allocating_their_chunks) {
  struct hostile_case {
    const char* what;
    files f;
    std::int32_t words, idioms;  // the arrays' sizes
    std::size_t chunks;          // allocated, in both arrays
  };
  const std::vector<hostile_case> cases{
      {"a free word id", {{}, {}, i32s({0xFFFFFF}), {}}, 0x1000000, 0, 0},
      {"a free idiom id", {i32s({0xFFFFFF}), {}, {}, {}}, 0, 0, 0},
      {"a word", {{}, {}, {}, word_record(u"a", 0xFFFFFF)}, 0x1000000, 0, 1},
      {"an idiom", {{}, idiom_record(0xFFFFFF, {0}, {1}), {}, {}}, 0, 0x1000000, 1},
  };
  for (const hostile_case& c : cases) {
    dic_t d;
    read_all(d, c.f);
    EXPECT_EQ(d.idmap.size(), c.words) << c.what;
    EXPECT_EQ(d.idiomidmap.size(), c.idioms) << c.what;
    EXPECT_EQ(d.idmap.allocated_chunks() + d.idiomidmap.allocated_chunks(), c.chunks) << c.what;
    const files saved = files_of(d);
    EXPECT_EQ(saved.idiom_hdid, c.f.idiom_hdid) << c.what;
    EXPECT_EQ(saved.idiomdic, c.f.idiomdic) << c.what;
    EXPECT_EQ(saved.hdid, c.f.hdid) << c.what;
    EXPECT_EQ(saved.dic, c.f.dic) << c.what;
  }
}

}  // namespace
}  // namespace strmorph

namespace strmorph {
namespace {

TEST(damaged_files, each_reader_counts_the_records_it_drops) {
  const bytes files[4] = {
      // idiom_hdid: an impossible id, a whole one, a value cut short.
      cat({tsugihagi::testing::bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0, 0, 0, 0x01}}),
      // idiomdic: an impossible id, a good idiom, another with the same id.
      cat({idiom_record(0x1000000, {1}, {1}), idiom_record(3, {2}, {1}),
           idiom_record(3, {5}, {1})}),
      // hdid: nothing damaged.
      bytes{0x07, 0, 0, 0},
      // dic: a list that does not decode, a good word, its text again, a record cut short.
      cat({word_record(u"a", 0, 0, {0x01}), word_record(u"b", 1), word_record(u"b", 2),
           prefix(word_record(u"c", 3), 5)}),
  };
  dic_t d;
  dropped_counts dropped{};
  read_dictionary(
      d, [&](dictionary_file f) { return memory_reader(files[static_cast<int>(f)]); }, &dropped);
  EXPECT_EQ(dropped, (dropped_counts{2, 2, 0, 3}));
  EXPECT_EQ(d.wordmap.size(), 1u);
  EXPECT_EQ(d.idiomset.size(), 1u);
}

// A file whose reads end before its size (an I/O error, a file cut short while it was read)
// stops the load there, as one that cannot be opened does, and counts no drops.
TEST(damaged_files, a_file_delivering_fewer_bytes_than_its_size_stops_the_load_there) {
  const bytes dic = cat({word_record(u"a", 1), word_record(u"b", 2)});
  dropped_counts dropped{};
  bool read_error = false;
  dic_t d;
  const auto failed = read_dictionary(
      d,
      [&](dictionary_file f) {
        const bytes file = f == dictionary_file::dic ? dic : bytes{};
        return data_stream(std::make_unique<tsugihagi::memory_device>(file, file.size() / 2),
                           data_stream::mode::read);
      },
      &dropped, &read_error);
  EXPECT_EQ(failed, dictionary_file::dic);
  EXPECT_TRUE(read_error);
  EXPECT_EQ(dropped, (dropped_counts{0, 0, 0, 0}));
}

TEST(damaged_files, files_without_damage_count_nothing) {
  const bytes files[4] = {bytes{}, idiom_record(0, {1, 2}, {0, 1}), bytes{},
                          cat({word_record(u"a", 1), word_record(u"b", 2)})};
  dic_t d;
  dropped_counts dropped{};
  read_dictionary(
      d, [&](dictionary_file f) { return memory_reader(files[static_cast<int>(f)]); }, &dropped);
  EXPECT_EQ(dropped, (dropped_counts{0, 0, 0, 0}));
}

// A device whose reads throw once `good` bytes were delivered, as a failing allocation would.
class throwing_device final : public tsugihagi::byte_device {
 public:
  throwing_device(bytes content, std::size_t good) : content_(std::move(content)), good_(good) {}
  std::size_t read(void* dst, std::size_t n) override {
    if (at_ + n > good_) throw std::runtime_error("device");
    n = std::min(n, content_.size() - at_);
    std::copy_n(content_.begin() + static_cast<std::ptrdiff_t>(at_), n, static_cast<char*>(dst));
    at_ += n;
    return n;
  }
  bool write(const void*, std::size_t) override { return false; }
  std::optional<std::uint64_t> size() override { return content_.size(); }
  bool flush() override { return true; }
  bool commit() override { return false; }

 private:
  bytes content_;
  std::size_t good_;
  std::size_t at_ = 0;
};

// An exception while dic.data's records are read on the second thread reaches the caller,
// as it does on one thread, instead of leaving the inserting thread waiting.
TEST(damaged_files, an_exception_while_reading_words_beside_their_inserts_reaches_the_caller) {
  bytes dic;
  for (std::uint32_t w = 0; w < 3000; ++w) {
    std::u16string text(w / 26 + 1, u'x');
    text[0] = static_cast<char16_t>(u'a' + w % 26);
    const bytes record = word_record(text, w, w, {0x01, 0x05, 0x01, 0x02});
    dic.insert(dic.end(), record.begin(), record.end());
  }
  for (const std::uint64_t threshold : {UINT64_MAX, std::uint64_t{0}}) {
    for (const std::size_t good : {std::size_t{0}, dic.size() / 2}) {
      dic_t d;
      data_stream s(std::make_unique<throwing_device>(dic, good), data_stream::mode::read);
      EXPECT_THROW(read_dic_beside(d, s, nullptr, threshold), std::runtime_error) << good;
    }
  }
}

// Reading the idiom files beside the word files (read_dictionary, on two threads here
// whatever their size) finds what reading the four one after another does: the same file
// failing, read error and drops, and when all four load, a dictionary that saves the same
// bytes. On the files of a grown dictionary damaged in turn: bytes changed, a file cut short,
// one delivering fewer bytes than its size or missing, free ids that entries hold.
TEST(dictionary_files, reading_idiom_and_word_files_at_once_matches_reading_them_in_order) {
  dic_t grown(150);
  learn_corpus(grown, 80);
  const files saved = files_of(grown);
  std::mt19937 random(20261211);
  for (int round = 0; round < 180; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::array<bytes, 4> contents{saved.idiom_hdid, saved.idiomdic, saved.hdid, saved.dic};
    std::array<std::size_t, 4> deliver{SIZE_MAX, SIZE_MAX, SIZE_MAX, SIZE_MAX};
    bytes& file = contents[random() % 4];
    const std::size_t at = random() % (file.size() + 1);
    if (round % 5 == 0 && at < file.size()) file[at] = static_cast<std::uint8_t>(random());
    if (round % 5 == 1) file.resize(at);
    if (round % 5 == 2) deliver[random() % 4] = at;  // 0 for a file that cannot be opened
    for (const std::uint8_t id : {0, 1, 2, 3})       // round % 5 == 3: taken ids said free
      for (const std::size_t free_ids : {0, 2})
        if (round % 5 == 3) contents[free_ids].insert(contents[free_ids].begin(), {id, 0, 0, 0});
    const auto open = [&](dictionary_file f) {
      const auto i = static_cast<std::size_t>(f);
      if (deliver[i] == 0 && !contents[i].empty()) return data_stream();
      return data_stream(std::make_unique<tsugihagi::memory_device>(
                             contents[i], std::min(deliver[i], contents[i].size())),
                         data_stream::mode::read);
    };
    dic_t in_order, at_once;
    dropped_counts dropped[2]{};
    bool read_error[2] = {false, true};
    const auto failed = read_dictionary_in_order(in_order, open, &dropped[0], &read_error[0]);
    EXPECT_EQ(failed, read_dictionary(at_once, open, &dropped[1], &read_error[1], 0));
    EXPECT_EQ(read_error[0], read_error[1]);
    EXPECT_EQ(dropped[0], dropped[1]);
    if (failed) continue;
    const files x = files_of(in_order), y = files_of(at_once);
    EXPECT_EQ(std::tie(x.idiom_hdid, x.idiomdic, x.hdid, x.dic),
              std::tie(y.idiom_hdid, y.idiomdic, y.hdid, y.dic));
  }
}

}  // namespace
}  // namespace strmorph
