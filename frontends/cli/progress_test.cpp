#include "frontends/cli/progress.h"

#include <gtest/gtest.h>

namespace tsugihagi {
namespace {

TEST(progress, shows_the_share_read_lines_rate_and_time_left) {
  EXPECT_EQ(progress_text(250, 1000, 40, 120.4, 50),
            "[######------------------]  25%  40 lines  120 lines/s  0:15 left");
  EXPECT_EQ(progress_text(0, 7200000, 0, 0, 1000).substr(26),
            "   0%  0 lines  0 lines/s  2:00:00 left");
  EXPECT_EQ(progress_text(1000, 1000, 90, 10, 5),
            "[########################] 100%  90 lines  10 lines/s");
}

TEST(progress, without_a_size_shows_lines_and_rate_only) {
  EXPECT_EQ(progress_text(5000, std::nullopt, 12, 3, 100), "12 lines  3 lines/s");
}

}  // namespace
}  // namespace tsugihagi
