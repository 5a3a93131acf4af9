#include "core/app/settings.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;

struct settings_case {
  std::optional<bytes> stored;  // nothing: no file
  std::uint8_t loaded;
};

TEST(settings, load_as_the_stored_byte_or_on_when_missing_or_empty) {
  const settings_case cases[] = {
      {std::nullopt, 1}, {bytes{}, 1},  {bytes{0}, 0},
      {bytes{1}, 1},     {bytes{5}, 5}, {bytes{0, 1, 1}, 0},
  };
  for (const settings_case& c : cases) {
    testing::temp_dir dir;
    const auto file = dir.path() / "config";
    if (c.stored) testing::write_file(file, *c.stored);
    settings s;
    load_settings(s, file);
    EXPECT_FALSE(s.settings_abort);
    EXPECT_EQ(s.save_on_exit, c.loaded);
    EXPECT_TRUE(std::filesystem::exists(file));
    save_settings(s, file);
    EXPECT_EQ(testing::read_file(file), bytes{c.loaded});  // one byte, stored unchanged
  }
}

TEST(settings, abort_when_the_file_can_never_be_opened) {
  testing::temp_dir dir;
  settings s;
  load_settings(s, dir.path() / "missing-folder" / "config");
  EXPECT_TRUE(s.settings_abort);
  EXPECT_EQ(s.save_on_exit, 0);
}

TEST(settings, a_config_that_is_a_folder_aborts_and_stays_a_folder) {
  testing::temp_dir dir;
  const auto folder = dir.path() / "config";
  std::filesystem::create_directory(folder);
  settings s;
  load_settings(s, folder);
  EXPECT_TRUE(s.settings_abort);
  EXPECT_EQ(s.save_on_exit, 0);
  save_settings(s, folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

#ifndef _WIN32
TEST(settings, a_config_that_can_be_neither_read_nor_written_aborts_and_stays) {
  using std::filesystem::perms;
  testing::temp_dir dir;
  std::filesystem::permissions(dir.path(), perms::all);  // the unprivileged user writes here
  const auto file = dir.path() / "config";
  testing::write_file(file, bytes{0});
  std::filesystem::permissions(file, perms::none);
  EXPECT_TRUE(testing::as_unprivileged_user([&] {
    settings s;
    load_settings(s, file);
    const bool aborted = s.settings_abort && s.save_on_exit == 0;
    s.save_on_exit = 1;
    save_settings(s, file);
    return aborted;
  }));
  EXPECT_EQ(testing::read_file(file), bytes{0}) << "neither replaced at start nor at exit";
  EXPECT_EQ(std::filesystem::status(file).permissions(), perms::none);
}
#endif

}  // namespace
}  // namespace tsugihagi
