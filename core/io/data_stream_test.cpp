#include "core/io/data_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

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

TEST(data_stream, reads_of_any_size_across_its_read_ahead_deliver_the_bytes_in_order) {
  bytes content(300000);
  for (std::size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  // Sizes that end exactly at, just before and just past the 64 KiB read-ahead, and one read
  // longer than it.
  for (const std::size_t step : {1u, 3u, 4096u, 65535u, 65536u, 65537u, 100000u}) {
    data_stream s = memory_reader(content);
    bytes got;
    std::vector<std::uint8_t> part(step);
    while (s.remaining() >= step) {
      const std::uint64_t before = s.remaining();
      s.read_bytes(part.data(), step);
      ASSERT_FALSE(s.failed()) << step;
      ASSERT_EQ(s.remaining(), before - step) << step;
      got.insert(got.end(), part.begin(), part.end());
    }
    const auto left = static_cast<std::size_t>(s.remaining());
    std::fill(part.begin(), part.end(), std::uint8_t{0xEE});
    s.read_bytes(part.data(), step);
    EXPECT_EQ(s.failed(), left < step) << step;
    got.insert(got.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(left));
    EXPECT_EQ(got, content) << step;
    if (left < step) {
      EXPECT_EQ(part[left], 0xEE) << "nothing past the end is delivered";
    }
    EXPECT_EQ(s.remaining(), 0u);
  }
}

TEST(data_stream, a_failed_or_moved_from_stream_delivers_nothing_it_had_read_ahead) {
  data_stream s = memory_reader(bytes(1000, 0x5A));
  std::uint8_t b = 0;
  s.read_bytes(&b, 1);
  ASSERT_EQ(b, 0x5A);
  data_stream moved = std::move(s);
  b = 0;
  moved.read_bytes(&b, 1);
  EXPECT_EQ(b, 0x5A);
  EXPECT_EQ(moved.remaining(), 998u);
  s.read_bytes(&b, 1);  // NOLINT(bugprone-use-after-move): a moved-from stream is failed
  EXPECT_TRUE(s.failed());
  moved.fail();
  b = 0;
  moved.read_bytes(&b, 1);
  EXPECT_EQ(b, 0) << "a decoder's fail() stops the bytes read ahead too";
  EXPECT_EQ(moved.remaining(), 998u);
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

// A read device that cannot tell its size, as a pipe or a failed size query.
class sizeless_device final : public byte_device {
 public:
  std::size_t read(void*, std::size_t) override { return 0; }
  bool write(const void*, std::size_t) override { return false; }
  std::optional<std::uint64_t> size() override { return std::nullopt; }
  bool flush() override { return false; }
  bool commit() override { return false; }
};

TEST(data_stream, a_device_whose_size_cannot_be_taken_gives_a_failed_stream) {
  data_stream s(std::make_unique<sizeless_device>(), data_stream::mode::read);
  EXPECT_TRUE(s.failed());
  EXPECT_EQ(s.remaining(), 0u);
}

TEST(data_file, a_file_that_grew_after_opening_leaves_nothing_remaining_past_its_old_size) {
  temp_dir dir;
  const auto path = dir.path() / "log.data";
  write_file(path, {1, 2});
  data_stream s = open_read(path);
  ASSERT_EQ(s.file_size(), 2u);
  write_file(path, {1, 2, 3, 4, 5, 6, 7, 8});  // same file, rewritten in place
  EXPECT_EQ(read_i32(s), 0x04030201);
  EXPECT_FALSE(s.failed());
  EXPECT_EQ(s.remaining(), 0u) << "not 2 - 4 wrapped round";
  // A count that the bytes left cannot hold is rejected before anything is allocated.
  std::vector<std::int32_t> ids;
  read_i32_array(s, ids);
  EXPECT_TRUE(s.failed());
  EXPECT_TRUE(ids.empty());
}

TEST(data_file, a_folder_in_a_files_place_neither_opens_nor_is_replaced) {
  temp_dir dir;
  const auto folder = dir.path() / "dic.data";
  std::filesystem::create_directory(folder);
  EXPECT_TRUE(open_read(folder).failed());
  data_stream s = open_write(folder);
  EXPECT_TRUE(s.failed());
  EXPECT_FALSE(s.close());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(files_in(dir.path()), std::vector<std::string>{"dic.data"});
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

// Long enough for the disk writes to be started several times while it is written, in
// pieces of odd sizes, some longer than the write buffer.
TEST(data_file, a_long_write_replaces_the_file_with_exactly_its_bytes) {
  temp_dir dir;
  const auto path = dir.path() / "dic.data";
  write_file(path, bytes(100, 0xEE));
  bytes expected;
  data_stream s = open_write(path);
  for (std::size_t piece = 0; expected.size() < 13u * 1024 * 1024; ++piece) {
    bytes b((piece * 7919) % 700001 + 1);
    for (std::size_t i = 0; i < b.size(); ++i)
      b[i] = static_cast<std::uint8_t>((expected.size() + i) * 31 / 7);
    s.write_bytes(b.data(), b.size());
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(read_file(path), bytes(100, 0xEE)) << "the old file stays until the stream closes";
  }
  EXPECT_TRUE(s.close());
  EXPECT_TRUE(read_file(path) == expected);
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

#ifndef _WIN32
std::filesystem::perms permissions_of(const std::filesystem::path& path) {
  return std::filesystem::status(path).permissions();
}

TEST(data_file, a_pipe_in_a_files_place_does_not_open_and_does_not_block) {
  temp_dir dir;
  const auto pipe = dir.path() / "log.data";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_TRUE(open_read(pipe).failed());
}

TEST(data_file, a_save_keeps_the_old_files_permission_bits) {
  using std::filesystem::perms;
  temp_dir dir;
  const auto path = dir.path() / "dic.data";
  for (const perms p : {perms::owner_read | perms::owner_write,
                        perms::owner_read | perms::owner_write | perms::group_read,
                        perms::owner_all | perms::group_all | perms::others_all}) {
    write_file(path, {1});
    std::filesystem::permissions(path, p);
    data_stream s = open_write(path);
    write_i32(s, 7);
    ASSERT_TRUE(s.close());
    EXPECT_EQ(read_file(path), (bytes{7, 0, 0, 0}));
    EXPECT_EQ(permissions_of(path), p);
  }
}

// A link or a pipe left at a save's temporary name "<name>.tmp" is removed, not followed
// or waited on (a reader keeps the pipe from blocking an open of it).
TEST(data_file, a_link_or_pipe_at_the_temporary_name_is_removed_not_followed) {
  temp_dir dir;
  const auto path = dir.path() / "config";
  const auto temp = dir.path() / "config.tmp";
  const auto elsewhere = dir.path() / "elsewhere";
  write_file(elsewhere, {9});
  for (const bool link : {true, false}) {
    write_file(path, {1});
    if (link) {
      std::filesystem::create_symlink(elsewhere, temp);
    } else {
      ASSERT_EQ(::mkfifo(temp.c_str(), 0600), 0);
    }
    const int reader = link ? -1 : ::open(temp.c_str(), O_RDONLY | O_NONBLOCK);
    data_stream s = open_write(path);
    write_i32(s, 7);
    EXPECT_TRUE(s.close()) << link;
    if (reader >= 0) ::close(reader);
    EXPECT_EQ(read_file(path), (bytes{7, 0, 0, 0})) << link;
    EXPECT_FALSE(std::filesystem::is_symlink(path)) << link;
    EXPECT_EQ(read_file(elsewhere), bytes{9}) << link;
  }
}

#if defined(__linux__)
// Bytes that cannot be handed to the system when the disk writes start, every 4 MiB (here a
// file size limit, lifted right after), are lost: the save must fail, not leave a hole.
TEST(data_file, bytes_lost_while_starting_the_disk_writes_fail_the_save) {
  temp_dir dir;
  const auto path = dir.path() / "dic.data";
  write_file(path, {1, 2, 3});
  const bytes piece(4 * 1024 * 1024 - 1000, 0x5A);  // its last 1000 bytes stay buffered
  rlimit unlimited{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  rlimit low = unlimited;
  low.rlim_cur = piece.size() + 999;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
  data_stream s = open_write(path);
  s.write_bytes(piece.data(), piece.size());
  s.write_bytes(piece.data(), 1000);
  ::setrlimit(RLIMIT_FSIZE, &unlimited);
  std::signal(SIGXFSZ, old_handler);
  s.write_bytes(piece.data(), 1000);
  EXPECT_FALSE(s.close());
  EXPECT_EQ(read_file(path), (bytes{1, 2, 3}));
}
#endif

TEST(data_file, a_file_that_cannot_be_written_is_not_replaced) {
  using std::filesystem::perms;
  temp_dir dir;
  std::filesystem::permissions(dir.path(), perms::all);  // the unprivileged user writes here
  const auto read_only = dir.path() / "dic.data";
  const auto no_access = dir.path() / "config";
  write_file(read_only, {1, 2, 3});
  write_file(no_access, {1});
  std::filesystem::permissions(read_only,
                               perms::owner_read | perms::group_read | perms::others_read);
  std::filesystem::permissions(no_access, perms::none);
  EXPECT_TRUE(testing::as_unprivileged_user([&] {
    bool held = true;
    for (const auto& path : {read_only, no_access}) {
      data_stream s = open_write(path);
      write_i32(s, 7);
      held = held && s.failed() && !s.close();
    }
    return held;
  }));
  EXPECT_EQ(read_file(read_only), (bytes{1, 2, 3}));
  EXPECT_EQ(read_file(no_access), (bytes{1}));
  EXPECT_EQ(permissions_of(no_access), perms::none);
  EXPECT_EQ(files_in(dir.path()).size(), 2u) << "no temporary file left behind";
}
#endif

}  // namespace
}  // namespace tsugihagi
