#include "core/io/data_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/io/primitives.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using testing::memory_reader;
using testing::memory_writer;
using testing::read_file;
using testing::temp_dir;
using testing::write_file;

std::vector<std::string> files_in(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  return names;
}

TEST(data_stream, a_short_read_delivers_what_was_there_and_fails) {
  data_stream s = memory_reader({0x01, 0xAA, 0xBB});
  EXPECT_EQ(s.file_size(), 3u);
  EXPECT_EQ(read_compact_int(s), 0xAAu);
  EXPECT_EQ(s.remaining(), 1u);
  std::uint8_t buffer[3] = {0, 0, 0};
  s.read_bytes(buffer, 3);
  EXPECT_TRUE(s.failed());
  EXPECT_EQ(buffer[0], 0xBB);
  EXPECT_EQ(buffer[1], 0x00);
  EXPECT_EQ(s.file_size(), 3u);
}

TEST(data_stream, a_write_failing_after_n_bytes_keeps_them_and_close_reports_failure) {
  bytes sink;
  data_stream s = memory_writer(sink, 5);
  write_i32(s, 1);
  EXPECT_FALSE(s.failed());
  write_i32(s, 2);
  EXPECT_TRUE(s.failed());
  write_compact_int(s, 0);
  EXPECT_EQ(sink, (bytes{1, 0, 0, 0, 2})) << "a failed stream writes nothing more";
  EXPECT_FALSE(s.close());
}

TEST(data_stream, close_commits_once_and_only_a_write_that_never_failed) {
  bytes sink;
  data_stream s = memory_writer(sink);
  write_i32(s, 7);
  EXPECT_TRUE(s.close());
  EXPECT_FALSE(s.close());
  data_stream told_to_fail = memory_writer(sink);
  told_to_fail.fail();
  EXPECT_FALSE(told_to_fail.close());
  data_stream unbound;
  EXPECT_TRUE(unbound.failed());
  EXPECT_FALSE(unbound.close());
}

TEST(data_file, a_missing_file_or_folder_gives_a_failed_stream) {
  temp_dir dir;
  EXPECT_TRUE(open_read(dir.path() / "missing.data").failed());
  data_stream s = open_write(dir.path() / "no-such-folder" / "dic.data");
  EXPECT_TRUE(s.failed());
  EXPECT_FALSE(s.close());
}

TEST(data_file, reads_a_files_bytes_and_size) {
  temp_dir dir;
  write_file(dir.path() / "five.data", {4, 3, 2, 1, 9});
  data_stream s = open_read(dir.path() / "five.data");
  ASSERT_FALSE(s.failed());
  EXPECT_EQ(s.file_size(), 5u);
  EXPECT_EQ(read_i32(s), 0x01020304);
  EXPECT_EQ(read_i32(s), 9);
  EXPECT_TRUE(s.failed());

  write_file(dir.path() / "empty.data", {});
  data_stream empty = open_read(dir.path() / "empty.data");
  ASSERT_FALSE(empty.failed());
  EXPECT_EQ(empty.file_size(), 0u);
  read_compact_int(empty);
  EXPECT_TRUE(empty.failed());
}

TEST(data_file, a_closed_write_replaces_the_file_and_leaves_no_temporary) {
  temp_dir dir;
  const auto path = dir.path() / "dic.data";
  write_file(path, bytes(100, 0xEE));
  data_stream s = open_write(path);
  write_i32(s, 7);
  EXPECT_EQ(read_file(path), bytes(100, 0xEE)) << "the old file stays until the stream closes";
  EXPECT_TRUE(s.close());
  EXPECT_EQ(read_file(path), (bytes{7, 0, 0, 0}));
  { data_stream nothing = open_write(path); }
  EXPECT_EQ(read_file(path), bytes{}) << "a save that writes nothing still empties the file";
  EXPECT_EQ(files_in(dir.path()), std::vector<std::string>{"dic.data"});
}

TEST(data_file, a_failed_write_leaves_the_old_file_and_no_temporary) {
  temp_dir dir;
  const auto path = dir.path() / "log.data";
  write_file(path, {1, 2, 3});
  {
    data_stream s = open_write(path);
    write_i32(s, 7);
    s.fail();
  }
  EXPECT_EQ(read_file(path), (bytes{1, 2, 3}));
  data_stream s = open_write(path);
  write_i32(s, 7);
  s.fail();
  EXPECT_FALSE(s.close());
  EXPECT_EQ(read_file(path), (bytes{1, 2, 3}));
  EXPECT_EQ(files_in(dir.path()), std::vector<std::string>{"log.data"});
}

TEST(data_file, works_in_a_folder_with_a_japanese_name) {
  temp_dir dir;
  const auto folder = dir.path() / std::filesystem::path(u8"辞書データ");
  std::filesystem::create_directory(folder);
  data_stream out = open_write(folder / "dic.data");
  write_wide_z(out, u"あ");
  ASSERT_TRUE(out.close());
  data_stream in = open_read(folder / "dic.data");
  std::u16string text;
  read_wide_z(in, text);
  EXPECT_EQ(text, u"あ");
  EXPECT_FALSE(in.failed());
}

}  // namespace
}  // namespace tsugihagi
