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

}  // namespace
}  // namespace tsugihagi
