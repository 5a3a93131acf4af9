// End-to-end checks on real text: what must hold after any sequence of turns, and the data
// files surviving a save and a load unchanged.
#include <gtest/gtest.h>

#include "core/app/conversation_turn.h"
#include "core/app/session.h"
#include "core/memory/learning.h"
#include "tests/support/invariants.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

constexpr auto fixed_clock = [] { return std::int64_t{20261209}; };

class corpus_learning : public ::testing::Test {
 protected:
  // Learning 2,000 lines takes a while; the tests share one bot.
  static void SetUpTestSuite() {
    learned_ = new bot(fixed_clock);
    for (const std::u16string& line : testing::corpus_lines(2000)) {
      learn_line(learned_->dic, learned_->log, learned_->patterns, line);
    }
  }
  static void TearDownTestSuite() {
    delete learned_;
    learned_ = nullptr;
  }
  static bot* learned_;
};

bot* corpus_learning::learned_ = nullptr;

TEST_F(corpus_learning, two_thousand_lines_keep_every_invariant) {
  ASSERT_EQ(learned_->log.line_count(), log_capacity);
  EXPECT_EQ(testing::dictionary_violation(learned_->dic), "");
  EXPECT_EQ(testing::log_violation(*learned_), "");
}

TEST_F(corpus_learning, saved_files_load_into_an_equal_state_and_save_to_the_same_bytes) {
  testing::temp_dir first;
  testing::temp_dir second;
  std::filesystem::create_directories(first.path() / "data");
  std::filesystem::create_directories(second.path() / "data");
  ASSERT_TRUE(save_data_files(*learned_, first.path()));
  bot reloaded(fixed_clock);
  ASSERT_EQ(load_data_files(reloaded, first.path()), startup_status::ready);
  EXPECT_EQ(testing::state_difference(*learned_, reloaded), "");
  ASSERT_TRUE(save_data_files(reloaded, second.path()));
  for (const char* file :
       {"dic.data", "hdid.data", "idiom_hdid.data", "idiomdic.data", "log.data"}) {
    EXPECT_EQ(testing::read_file(first.path() / "data" / file),
              testing::read_file(second.path() / "data" / file))
        << file;
  }
}

TEST(conversation, keeps_every_invariant_after_each_turn) {
  bot b(fixed_clock);
  for (const std::u16string& line : testing::corpus_lines(150)) {
    ASSERT_TRUE(converse(b, line).has_value());
    ASSERT_EQ(testing::dictionary_violation(b.dic), "");
    ASSERT_EQ(testing::log_violation(b), "");
  }
}

TEST(conversation, two_bots_fed_the_same_lines_with_the_same_seed_reply_alike) {
  bot first(fixed_clock);
  bot second(fixed_clock);
  for (const std::u16string& line : testing::corpus_lines(120)) {
    EXPECT_EQ(converse(first, line), converse(second, line));
  }
}

}  // namespace
}  // namespace tsugihagi
