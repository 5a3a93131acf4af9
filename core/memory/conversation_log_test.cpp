#include "core/memory/conversation_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/io/memory_device.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using ids = std::vector<std::int32_t>;

// Builds the bytes of a log file field by field, little-endian.
struct log_bytes {
  bytes b;
  log_bytes& i32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int shift = 0; shift < 32; shift += 8)
      b.push_back(static_cast<std::uint8_t>(u >> shift));
    return *this;
  }
  log_bytes& units(std::u16string_view text) {
    for (const char16_t c : text) {
      b.push_back(static_cast<std::uint8_t>(c & 0xFF));
      b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return *this;
  }
  // One whole record: the counted text, then the counted ids.
  log_bytes& record(std::u16string_view text, const ids& words) {
    i32(static_cast<std::int32_t>(text.size())).units(text);
    i32(static_cast<std::int32_t>(words.size()));
    for (const std::int32_t id : words)
      i32(id);
    return *this;
  }
};

void read_from(conversation_log& log, bytes content) {
  data_stream s = testing::memory_reader(std::move(content));
  read_log(log, s);
}

void add_with_words(conversation_log& log, std::u16string_view text, const ids& words) {
  add_line(log, text);
  log.line_words[0].ids = words;
}

void expect_lines(const conversation_log& log, const std::vector<std::u16string>& texts,
                  const std::vector<ids>& words) {
  ASSERT_EQ(log.line_texts.size(), texts.size());
  ASSERT_EQ(log.line_words.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(log.line_texts[i].text, texts[i]) << "line " << i;
    EXPECT_EQ(log.line_words[i].ids, words[i]) << "line " << i;
    EXPECT_FALSE(log.line_words[i].used) << "line " << i;
  }
}

TEST(conversation_log, add_line_puts_the_new_line_first_with_no_words) {
  conversation_log log;
  add_line(log, u"きょう");
  add_line(log, u"あした");
  expect_lines(log, {u"あした", u"きょう"}, {{}, {}});
}

TEST(conversation_log, add_line_cuts_the_text_at_its_first_nul) {
  conversation_log log;
  add_line(log, std::u16string_view(u"ab\0cd", 5));
  EXPECT_EQ(log.line_texts[0].text, u"ab");
  EXPECT_EQ(log.line_texts[0].length(), 2);
}

TEST(conversation_log, add_line_drops_the_oldest_line_of_a_full_log) {
  conversation_log log;
  for (std::int32_t i = 0; i < 511; ++i)
    add_with_words(log, u"line" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)), {i});
  log.line_words[5].used = true;
  ASSERT_EQ(log.line_count(), 511u);
  add_line(log, u"new");
  ASSERT_EQ(log.line_texts.size(), 511u);
  ASSERT_EQ(log.line_words.size(), 511u);
  EXPECT_EQ(log.line_texts[0].text, u"new");
  EXPECT_TRUE(log.line_words[0].ids.empty());
  // The line that had ids {0} is gone; the others moved back one place, still paired.
  EXPECT_EQ(log.line_words.back().ids, ids{1});
  EXPECT_EQ(log.line_texts.back().text, u"line1");
  EXPECT_EQ(log.line_words[1].ids, ids{510});
  EXPECT_TRUE(log.line_words[6].used);
}

TEST(conversation_log_file, writes_the_documented_layout) {
  conversation_log log;
  add_with_words(log, u"a", {7, -2});
  add_with_words(log, u"", {});
  const bytes written = testing::written_by([&](data_stream& s) { write_log(log, s); });
  const bytes expected = log_bytes{}.i32(2).record(u"", {}).record(u"a", {7, -2}).b;
  EXPECT_EQ(written, expected);
  EXPECT_EQ(testing::written_by([](data_stream& s) { write_log(conversation_log{}, s); }),
            (bytes{0, 0, 0, 0}));
}

TEST(conversation_log_file, round_trip_keeps_order_texts_and_ids_and_clears_used) {
  conversation_log log;
  add_with_words(log, u"oldest", {3});
  add_with_words(log, u"", {});
  add_with_words(log, u"きょうははれ", {0, 1, 2, 16777215});
  log.line_words[1].used = true;
  const bytes written = testing::written_by([&](data_stream& s) { write_log(log, s); });

  conversation_log loaded;
  read_from(loaded, written);
  expect_lines(loaded, {u"きょうははれ", u"", u"oldest"}, {{0, 1, 2, 16777215}, {}, {3}});
}

TEST(conversation_log_file, save_and_load_through_a_real_file) {
  testing::temp_dir dir;
  const auto path = dir.path() / "log.data";
  conversation_log log;
  add_with_words(log, u"はい", {4});
  add_with_words(log, u"いいえ", {5, 6});
  EXPECT_TRUE(save_log(log, path));

  conversation_log loaded;
  EXPECT_TRUE(load_log(loaded, path));
  expect_lines(loaded, {u"いいえ", u"はい"}, {{5, 6}, {4}});

  // Saving again replaces the file instead of appending to it.
  add_with_words(log, u"x", {});
  EXPECT_TRUE(save_log(log, path));
  conversation_log reloaded;
  EXPECT_TRUE(load_log(reloaded, path));
  EXPECT_EQ(reloaded.line_count(), 3u);
}

TEST(conversation_log_file, short_files_load_as_an_empty_log) {
  testing::temp_dir dir;
  const auto path = dir.path() / "log.data";
  for (const bytes& content : {bytes{}, bytes{0, 0, 0, 0}, bytes{5, 0, 0, 0}, bytes{1, 0}}) {
    testing::write_file(path, content);
    conversation_log log;
    EXPECT_TRUE(load_log(log, path)) << content.size() << " bytes";
    EXPECT_EQ(log.line_count(), 0u) << content.size() << " bytes";
    EXPECT_EQ(log.line_words.size(), 0u);
  }
}

TEST(conversation_log_file, a_missing_file_fails_to_load_and_leaves_the_log_empty) {
  testing::temp_dir dir;
  conversation_log log;
  EXPECT_FALSE(load_log(log, dir.path() / "log.data"));
  EXPECT_EQ(log.line_count(), 0u);
  EXPECT_FALSE(save_log(log, dir.path() / "no such folder" / "log.data"));
}

TEST(conversation_log_file, a_stored_nul_cuts_the_text_but_not_the_ids) {
  conversation_log log;
  read_from(log, log_bytes{}
                     .i32(2)
                     .record(std::u16string_view(u"a\0b", 3), {5, 6})
                     .record(std::u16string_view(u"\0", 1), {7})
                     .b);
  expect_lines(log, {u"a", u""}, {{5, 6}, {7}});
}

TEST(conversation_log_file, more_than_511_lines_load_whole_and_the_next_line_cuts_them_to_511) {
  for (const std::int32_t lines : {512, 600}) {
    log_bytes file;
    file.i32(lines);
    for (std::int32_t i = 0; i < lines; ++i)
      file.record(u"l", {i});
    conversation_log log;
    read_from(log, file.b);
    ASSERT_EQ(log.line_count(), static_cast<std::size_t>(lines));
    EXPECT_EQ(log.line_words[0].ids, ids{0});
    EXPECT_EQ(log.line_words.back().ids, ids{lines - 1});
    add_line(log, u"new");
    EXPECT_EQ(log.line_count(), 511u) << lines;
    EXPECT_EQ(log.line_words.size(), 511u) << lines;
    EXPECT_EQ(log.line_texts[0].text, u"new") << lines;
    EXPECT_EQ(log.line_words[1].ids, ids{0}) << lines;
    EXPECT_EQ(log.line_words.back().ids, ids{509}) << "the 510 newest loaded lines stay";
  }
}

// Damaged files keep the whole records before the first bad field.
TEST(conversation_log_file, damaged_files_keep_the_records_read_so_far) {
  constexpr std::int32_t huge = std::numeric_limits<std::int32_t>::max();
  const log_bytes good = log_bytes{}.record(u"ok", {1, 2});
  struct damaged_case {
    const char* what;
    bytes tail;  // after a count of 3 and one good record
  };
  const std::vector<damaged_case> cases{
      {"file ends after one of three records", {}},
      {"negative text length", log_bytes{}.i32(-1).units(u"xx").i32(0).b},
      {"text length beyond the file", log_bytes{}.i32(1000).units(u"xx").i32(0).b},
      {"huge text length", log_bytes{}.i32(huge).units(u"xx").b},
      {"text cut short", log_bytes{}.i32(3).units(u"x").b},
      {"negative word count", log_bytes{}.i32(1).units(u"x").i32(-5).i32(1).b},
      {"word count beyond the file", log_bytes{}.i32(1).units(u"x").i32(3).i32(1).b},
      {"huge word count", log_bytes{}.i32(1).units(u"x").i32(huge).i32(1).b},
      {"word count missing", log_bytes{}.i32(1).units(u"x").b},
      {"partial length field", bytes{1, 0}},
  };
  for (const damaged_case& c : cases) {
    log_bytes file = log_bytes{}.i32(3);
    file.b.insert(file.b.end(), good.b.begin(), good.b.end());
    file.b.insert(file.b.end(), c.tail.begin(), c.tail.end());
    conversation_log log;
    read_from(log, file.b);
    ASSERT_EQ(log.line_texts.size(), 1u) << c.what;
    ASSERT_EQ(log.line_words.size(), 1u) << c.what;
    EXPECT_EQ(log.line_texts[0].text, u"ok") << c.what;
    EXPECT_EQ(log.line_words[0].ids, (ids{1, 2})) << c.what;
  }
}

TEST(conversation_log_file, a_huge_or_negative_count_reads_only_the_records_present) {
  for (const std::int32_t count : {std::numeric_limits<std::int32_t>::max(), -1}) {
    conversation_log log;
    read_from(log, log_bytes{}.i32(count).record(u"a", {}).record(u"b", {9}).b);
    EXPECT_EQ(log.line_count(), count < 0 ? 0u : 2u) << count;
  }
}

TEST(conversation_log_file, load_log_of_a_damaged_file_still_succeeds) {
  testing::temp_dir dir;
  const auto path = dir.path() / "log.data";
  testing::write_file(path, log_bytes{}.i32(2).record(u"a", {1}).i32(-3).b);
  conversation_log log;
  EXPECT_TRUE(load_log(log, path));
  expect_lines(log, {u"a"}, {{1}});
}

}  // namespace
}  // namespace tsugihagi

namespace tsugihagi {
namespace {

TEST(conversation_log_file, counts_the_announced_records_it_could_not_read) {
  const struct {
    const char* what;
    bytes file;
    std::int64_t dropped;
  } cases[] = {
      {"whole", log_bytes{}.i32(2).record(u"a", {1}).record(u"b", {}).b, 0},
      {"two of three missing", log_bytes{}.i32(3).record(u"a", {1}).b, 2},
      {"the last cut in its ids",
       log_bytes{}.i32(2).record(u"a", {}).i32(1).units(u"b").i32(2).i32(7).b, 1},
      {"a negative count", log_bytes{}.i32(-4).record(u"a", {}).b, 1},
      {"a four-byte file announcing three", log_bytes{}.i32(3).b, 3},
      {"a count cut short", bytes{3, 0}, 1},
  };
  for (const auto& c : cases) {
    conversation_log log;
    std::int64_t dropped = 0;
    data_stream s = testing::memory_reader(c.file);
    read_log(log, s, &dropped);
    EXPECT_EQ(dropped, c.dropped) << c.what;
  }
}

// A file whose reads end before its size fails to load, leaving the log as it was.
TEST(conversation_log_file, a_file_delivering_fewer_bytes_than_its_size_fails_to_load) {
  const bytes file = log_bytes{}.i32(2).record(u"a", {1}).record(u"b", {2}).b;
  data_stream s(std::make_unique<memory_device>(file, file.size() - 3), data_stream::mode::read);
  conversation_log log;
  bool read_error = false;
  EXPECT_FALSE(load_log(log, s, nullptr, &read_error));
  EXPECT_TRUE(read_error);
  EXPECT_EQ(log.line_count(), 0u);
}

}  // namespace
}  // namespace tsugihagi
