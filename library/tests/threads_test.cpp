// Two bots in two threads answer as each would alone (run under ThreadSanitizer by the test
// command): no state is shared between bots but what is locked.
#include <gtest/gtest.h>

#include <thread>

#include "library/tests/opened_bot.h"

namespace tsugihagi {
namespace {

TEST(library, two_bots_in_two_threads_answer_as_each_would_alone) {
  const std::vector<std::string> lines = lines_of(60);
  const auto talk = [&](const std::filesystem::path& dir, std::uint32_t seed) {
    opened b(dir, seed);
    std::vector<std::string> replies;
    for (const std::string& line : lines)
      replies.push_back(b.converse(line));
    return replies;
  };
  testing::temp_dir alone1, alone2, together1, together2;
  const auto expected1 = talk(alone1.path(), 1);
  const auto expected2 = talk(alone2.path(), 2);
  std::vector<std::string> replies1, replies2;
  std::thread first([&] { replies1 = talk(together1.path(), 1); });
  std::thread second([&] { replies2 = talk(together2.path(), 2); });
  first.join();
  second.join();
  EXPECT_EQ(replies1, expected1);
  EXPECT_EQ(replies2, expected2);
}

}  // namespace
}  // namespace tsugihagi
