// The Linux launcher: it prepares the working folder's data/ on a first run only, so that a
// lost data file stops the program instead of being replaced by an empty one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

const char* const data_files[] = {"dic.data", "hdid.data", "idiom_hdid.data", "idiomdic.data",
                                  "log.data"};

// Runs the launcher in `cwd` with `environment` (shell assignments) and a program that does
// nothing.
int launch_in(const std::filesystem::path& cwd, const std::string& environment) {
  const std::string command = "cd '" + cwd.string() + "' && env " + environment +
                              " TSUGIHAGI_BIN=true sh '" TSUGIHAGI_LAUNCHER "' >/dev/null 2>&1";
  return std::system(command.c_str());
}

// Runs the launcher with XDG_DATA_HOME at `home` and a program that does nothing.
int launch(const std::filesystem::path& home) {
  return launch_in(home, "XDG_DATA_HOME='" + home.string() + "'");
}

std::set<std::string> names_in(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(launcher, prepares_five_empty_files_when_there_is_no_data_folder) {
  testing::temp_dir home;
  ASSERT_EQ(launch(home.path()), 0);
  const auto data = home.path() / "tsugihagi" / "data";
  EXPECT_EQ(names_in(data), std::set<std::string>(std::begin(data_files), std::end(data_files)));
  for (const char* name : data_files)
    EXPECT_EQ(std::filesystem::file_size(data / name), 0u) << name;
  EXPECT_EQ(names_in(home.path() / "tsugihagi"), std::set<std::string>{"data"});
}

TEST(launcher, leaves_a_data_folder_that_lost_a_file_as_it_is) {
  testing::temp_dir home;
  const auto data = home.path() / "tsugihagi" / "data";
  ASSERT_EQ(launch(home.path()), 0);
  testing::write_file(data / "log.data", {1, 0, 0, 0});
  std::filesystem::remove(data / "dic.data");
  ASSERT_EQ(launch(home.path()), 0);
  EXPECT_FALSE(std::filesystem::exists(data / "dic.data")) << "not recreated empty";
  EXPECT_EQ(testing::read_file(data / "log.data"), (testing::bytes{1, 0, 0, 0}));

  std::filesystem::remove_all(data);
  ASSERT_EQ(launch(home.path()), 0);
  EXPECT_EQ(names_in(data).size(), 5u) << "a data folder removed whole is a first run again";
}

TEST(launcher, ignores_a_relative_xdg_data_home_as_the_terminal_program_does) {
  testing::temp_dir home;
  ASSERT_EQ(launch_in(home.path(), "XDG_DATA_HOME=relative HOME='" + home.path().string() + "'"),
            0);
  EXPECT_TRUE(std::filesystem::is_directory(home.path() / ".local/share/tsugihagi/data"));
  EXPECT_FALSE(std::filesystem::exists(home.path() / "relative"));
}

}  // namespace
}  // namespace tsugihagi
