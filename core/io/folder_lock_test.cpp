#include "core/io/folder_lock.h"

#include <gtest/gtest.h>

#include <utility>

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::temp_dir;

TEST(folder_lock, the_first_owner_acquires_and_a_second_is_refused_until_it_ends) {
  temp_dir dir;
  {
    folder_lock first = lock_folder(dir.path());
    EXPECT_EQ(first.status(), folder_lock_status::acquired);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "tsugihagi.lock"));
    const folder_lock second = lock_folder(dir.path());
    EXPECT_EQ(second.status(), folder_lock_status::in_use);
    EXPECT_FALSE(second.acquired());
    // A refused attempt leaves the holder's lock in place.
    EXPECT_EQ(lock_folder(dir.path()).status(), folder_lock_status::in_use);
    EXPECT_TRUE(first.acquired());
  }
  EXPECT_EQ(lock_folder(dir.path()).status(), folder_lock_status::acquired);
}

TEST(folder_lock, release_ends_the_lock_early_and_a_lock_file_left_behind_does_not_block) {
  temp_dir dir;
  testing::write_file(dir.path() / "tsugihagi.lock", {'x'});
  folder_lock first = lock_folder(dir.path());
  ASSERT_TRUE(first.acquired());
  first.release();
  EXPECT_EQ(first.status(), folder_lock_status::failed);
  first.release();  // twice is harmless
  const folder_lock next = lock_folder(dir.path());
  EXPECT_TRUE(next.acquired());
  EXPECT_EQ(testing::read_file(dir.path() / "tsugihagi.lock"), testing::bytes{'x'});
}

TEST(folder_lock, moving_hands_the_lock_over_and_assignment_releases_the_old_one) {
  temp_dir a, b;
  folder_lock held = lock_folder(a.path());
  folder_lock moved(std::move(held));
  EXPECT_EQ(held.status(), folder_lock_status::failed);
  EXPECT_TRUE(moved.acquired());
  EXPECT_EQ(lock_folder(a.path()).status(), folder_lock_status::in_use);

  folder_lock other = lock_folder(b.path());
  ASSERT_TRUE(other.acquired());
  other = std::move(moved);  // b is given up, a is now held by `other`
  EXPECT_TRUE(other.acquired());
  EXPECT_TRUE(lock_folder(b.path()).acquired());
  EXPECT_EQ(lock_folder(a.path()).status(), folder_lock_status::in_use);

  other = folder_lock();
  EXPECT_EQ(other.status(), folder_lock_status::failed);
  EXPECT_TRUE(lock_folder(a.path()).acquired());
}

TEST(folder_lock, folders_are_locked_apart_and_a_missing_folder_fails) {
  temp_dir a, b;
  const folder_lock first = lock_folder(a.path());
  const folder_lock second = lock_folder(b.path());
  EXPECT_TRUE(first.acquired());
  EXPECT_TRUE(second.acquired());
  const folder_lock missing = lock_folder(a.path() / "no such folder");
  EXPECT_EQ(missing.status(), folder_lock_status::failed);
  EXPECT_FALSE(std::filesystem::exists(a.path() / "no such folder"));
}

TEST(folder_lock, readers_share_the_set_only_while_its_owner_lets_them_in) {
  temp_dir dir;
  const auto reader = [&] { return lock_folder(dir.path(), folder_lock_mode::shared).status(); };
  EXPECT_EQ(reader(), folder_lock_status::failed) << "no lock file, and none is created";
  folder_lock owner = lock_folder(dir.path());
  EXPECT_EQ(reader(), folder_lock_status::in_use) << "the owner may be saving";
  owner.let_readers_in();
  const folder_lock first = lock_folder(dir.path(), folder_lock_mode::shared);
  EXPECT_TRUE(first.acquired());
  EXPECT_EQ(reader(), folder_lock_status::acquired) << "beside another reader";
  EXPECT_EQ(lock_folder(dir.path()).status(), folder_lock_status::in_use);
}

}  // namespace
}  // namespace tsugihagi
