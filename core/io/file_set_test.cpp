#include "core/io/file_set.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

namespace fs = std::filesystem;
using testing::bytes;
using testing::read_file;
using testing::write_file;

// Saves a set of the files "a" and "b", each holding `content`, into `folder`.
bool save_set(const fs::path& folder, std::uint8_t content, std::string* error = nullptr) {
  file_set set(folder, {"a", "b", "journal"});
  bool ok = set.begin();
  for (const char* name : {"a", "b"}) {
    if (!ok) break;
    data_stream s = set.create(name);
    s.write_bytes(&content, 1);
    ok = s.close();
  }
  ok = ok && set.commit();
  if (!ok && error != nullptr) *error = set.error();
  return ok;
}

void make_set(const fs::path& folder, std::uint8_t content) {
  fs::create_directories(folder);
  write_file(folder / "a", bytes{content});
  write_file(folder / "b", bytes{content});
}

bool holds_set(const fs::path& folder, std::uint8_t content) {
  return read_file(folder / "a") == bytes{content} && read_file(folder / "b") == bytes{content};
}

TEST(file_set, a_save_replaces_the_set_drops_old_only_files_and_keeps_the_users_own) {
  testing::temp_dir dir;
  const fs::path data = dir.path() / "data";
  make_set(data, 1);
  write_file(data / "journal", bytes{9});
  write_file(data / "notes.txt", bytes{7});
  ASSERT_TRUE(save_set(data, 2));
  EXPECT_TRUE(holds_set(data, 2));
  EXPECT_FALSE(fs::exists(data / "journal"));
  EXPECT_EQ(read_file(data / "notes.txt"), bytes{7});
  EXPECT_FALSE(fs::exists(dir.path() / "data.new"));
  EXPECT_FALSE(fs::exists(dir.path() / "data.old"));
  // A first save, into a folder that holds none of the files yet, or none at all.
  for (const fs::path& fresh : {dir.path() / "empty", dir.path() / "missing"}) {
    if (fresh.filename() == "empty") fs::create_directory(fresh);
    ASSERT_TRUE(save_set(fresh, 3));
    EXPECT_TRUE(holds_set(fresh, 3));
  }
}

// What a crash can leave: which of data, data.new and data.old exist (and which set each
// holds), and the set recovery must make live.
TEST(file_set, recovery_finishes_or_undoes_an_interrupted_swap) {
  struct left {
    int live, staged, retired;  // the set each folder holds, 0: none
    int expected;
  };
  for (const left c : {left{0, 2, 1, 2}, left{0, 0, 1, 1}, left{1, 2, 0, 1}, left{2, 1, 0, 2},
                       left{2, 0, 1, 2}, left{1, 0, 0, 1}}) {
    SCOPED_TRACE(std::to_string(c.live) + std::to_string(c.staged) + std::to_string(c.retired));
    testing::temp_dir dir;
    const fs::path data = dir.path() / "data";
    if (c.live != 0) make_set(data, static_cast<std::uint8_t>(c.live));
    if (c.staged != 0) make_set(dir.path() / "data.new", static_cast<std::uint8_t>(c.staged));
    if (c.retired != 0) make_set(dir.path() / "data.old", static_cast<std::uint8_t>(c.retired));
    file_set set(data, {"a", "b"});
    ASSERT_TRUE(set.recover()) << set.error();
    EXPECT_TRUE(holds_set(data, static_cast<std::uint8_t>(c.expected)));
    EXPECT_FALSE(fs::exists(dir.path() / "data.new"));
    EXPECT_FALSE(fs::exists(dir.path() / "data.old"));
  }
}

// A commit whose undo failed leaves the set in data.old only, and the run goes on; its next
// save must make that set live first: a crash during the save would otherwise leave an
// unfinished data.new beside data.old, which recovery takes for a new set.
TEST(file_set, a_save_begun_while_only_the_old_folder_holds_the_set_makes_it_live_first) {
  testing::temp_dir dir;
  const fs::path data = dir.path() / "data";
  make_set(dir.path() / "data.old", 1);
  file_set set(data, {"a", "b"});
  ASSERT_TRUE(set.begin()) << set.error();
  EXPECT_TRUE(set.create("a").close());  // the process dies here, before "b"
  file_set restarted(data, {"a", "b"});
  ASSERT_TRUE(restarted.recover()) << restarted.error();
  EXPECT_TRUE(holds_set(data, 1));
}

TEST(file_set, a_file_of_the_set_that_is_no_regular_file_stops_the_save_before_anything_changes) {
  for (const bool link : {false, true}) {
    testing::temp_dir dir;
    const fs::path data = dir.path() / "data";
    make_set(data, 1);
    fs::remove(data / "b");
    if (link) {
#ifndef _WIN32
      write_file(dir.path() / "real-b", bytes{1});
      fs::create_symlink(dir.path() / "real-b", data / "b");  // its target would go stale
#else
      continue;
#endif
    } else {
      fs::create_directory(data / "b");
    }
    std::string error;
    EXPECT_FALSE(save_set(data, 2, &error));
    EXPECT_NE(error.find((data / "b").string()), std::string::npos) << error;
    EXPECT_EQ(read_file(data / "a"), bytes{1});
    EXPECT_FALSE(fs::exists(dir.path() / "data.new"));
  }
}

#ifndef _WIN32
TEST(file_set, a_linked_folder_stays_a_link_and_the_new_set_lands_in_its_target) {
  testing::temp_dir dir;
  const fs::path target = dir.path() / "elsewhere" / "memory";
  make_set(target, 1);
  fs::create_directory_symlink(target, dir.path() / "data");
  ASSERT_TRUE(save_set(dir.path() / "data", 2));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "data"));
  EXPECT_TRUE(holds_set(target, 2));
}

TEST(file_set, permission_bits_of_the_folder_and_its_files_carry_over) {
  testing::temp_dir dir;
  const fs::path data = dir.path() / "data";
  make_set(data, 1);
  ::chmod(data.c_str(), 0750);
  ::chmod((data / "a").c_str(), 0600);
  ::chmod((data / "b").c_str(), 0666);  // more than the umask lets a new file have
  ASSERT_TRUE(save_set(data, 2));
  const auto mode = [](const fs::path& p) {
    struct stat info {};
    ::stat(p.c_str(), &info);
    return info.st_mode & 07777;
  };
  EXPECT_EQ(mode(data), 0750u);
  EXPECT_EQ(mode(data / "a"), 0600u);
  EXPECT_EQ(mode(data / "b"), 0666u);
}

TEST(file_set, leftovers_at_the_new_folders_name_are_removed_and_never_followed) {
  testing::temp_dir dir;
  const fs::path data = dir.path() / "data";
  const fs::path outside = dir.path() / "outside";
  make_set(outside, 5);
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    make_set(data, 1);
    const fs::path leftover = dir.path() / "data.new";
    if (kind == 0) {
      ASSERT_EQ(::mkfifo(leftover.c_str(), 0600), 0);
    }
    if (kind == 1) fs::create_directory_symlink(outside, leftover);
    if (kind == 2) fs::create_symlink(outside / "a", leftover);
    ASSERT_TRUE(save_set(data, 2));
    EXPECT_TRUE(holds_set(data, 2));
    EXPECT_TRUE(holds_set(outside, 5));
  }
}

TEST(file_set, a_file_the_user_made_read_only_is_never_replaced) {
  testing::temp_dir dir;
  const fs::path data = dir.path() / "data";
  make_set(data, 1);
  ::chmod(dir.path().c_str(), 0777);
  ::chmod(data.c_str(), 0777);
  ::chmod((data / "a").c_str(), 0666);
  ::chmod((data / "b").c_str(), 0444);
  EXPECT_TRUE(testing::as_unprivileged_user([&] { return !save_set(data, 2); }));
  EXPECT_TRUE(holds_set(data, 1));
}
#endif

}  // namespace
}  // namespace tsugihagi
