// The C interface under stress: every allocation failure becomes a status, bytes that are not
// UTF-8 teach nothing, and two bots in two threads answer as they would one at a time (run
// under ThreadSanitizer by the test command).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "include/tsugihagi.h"
#include "tests/support/test_support.h"

namespace {

// Allocations left before operator new fails; negative: no limit.
std::atomic<long> allocations_left{-1};

}  // namespace

// The replacements pair malloc with free; GCC cannot see that new and delete both are.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (allocations_left.load(std::memory_order_relaxed) >= 0 &&
      allocations_left.fetch_sub(1, std::memory_order_relaxed) <= 0) {
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace tsugihagi {
namespace {

struct opened {
  tsugihagi_bot* bot = nullptr;
  explicit opened(const std::filesystem::path& dir, std::uint32_t seed = 1,
                  tsugihagi_save_mode save = TSUGIHAGI_SAVE_CONFIG) {
    testing::make_empty_data(dir);
    tsugihagi_options o;
    tsugihagi_options_init(&o);
    o.use_seed = 1;
    o.seed = seed;
    o.save = save;
    EXPECT_EQ(tsugihagi_open(dir.string().c_str(), &o, &bot), TSUGIHAGI_OK);
  }
  ~opened() { tsugihagi_close(bot); }
  std::string converse(const std::string& line) {
    char* reply = nullptr;
    std::size_t length = 0;
    if (tsugihagi_converse(bot, line.data(), line.size(), &reply, &length) != TSUGIHAGI_OK)
      return "";
    std::string text(reply, length);
    tsugihagi_free(reply);
    return text;
  }
};

std::vector<std::string> lines_of(std::size_t n) {
  std::vector<std::string> lines;
  for (const std::u16string& line : testing::corpus_lines(n))
    lines.push_back(testing::u8(line));
  return lines;
}

TEST(library, running_out_of_memory_anywhere_in_a_turn_is_a_status_and_never_a_crash) {
  const std::vector<std::string> lines = lines_of(20);
  bool completed = false;
  for (long budget = 0; !completed; budget += budget < 200 ? 1 : 97) {
    testing::temp_dir dir;
    opened b(dir.path(), 1, TSUGIHAGI_SAVE_NEVER);  // no journal: no disk waits
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
      b.converse(lines[i]);
    char* reply = nullptr;
    std::size_t length = 0;
    allocations_left = budget;
    const tsugihagi_status status =
        tsugihagi_converse(b.bot, lines.back().data(), lines.back().size(), &reply, &length);
    allocations_left = -1;
    ASSERT_TRUE(status == TSUGIHAGI_OK || status == TSUGIHAGI_NO_MEMORY) << status;
    completed = status == TSUGIHAGI_OK;
    tsugihagi_free(reply);
    if (!completed) {
      EXPECT_EQ(tsugihagi_learn(b.bot, "x", 1), TSUGIHAGI_NO_MEMORY)
          << "a bot out of memory stays so";
    }
  }
}

TEST(library, bytes_that_are_not_utf8_are_refused_and_teach_nothing) {
  testing::temp_dir dir;
  opened b(dir.path());
  b.converse("今日はいい天気");
  tsugihagi_statistics before{}, after{};
  tsugihagi_stats(b.bot, &before);
  for (const std::string bad : {"\xff", "\xe3\x81", "\xed\xa0\x80", "ok\xc0\xaf"}) {
    char* reply = nullptr;
    EXPECT_EQ(tsugihagi_converse(b.bot, bad.data(), bad.size(), &reply, nullptr),
              TSUGIHAGI_INVALID_UTF8);
    EXPECT_EQ(tsugihagi_learn(b.bot, bad.data(), bad.size()), TSUGIHAGI_INVALID_UTF8);
    EXPECT_STRNE(tsugihagi_last_error(b.bot), "");
  }
  tsugihagi_stats(b.bot, &after);
  EXPECT_EQ(after.words, before.words);
  EXPECT_EQ(after.log_lines, before.log_lines);
}

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
