// The C interface under stress: every allocation failure becomes a status, and bytes that are
// not UTF-8 teach nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "include/tsugihagi.h"
#include "library/tests/opened_bot.h"
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
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size) {
  return ::operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace tsugihagi {
namespace {

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

}  // namespace
}  // namespace tsugihagi
