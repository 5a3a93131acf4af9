#include "core/app/conversation_turn.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

TEST(conversation_turn, a_line_that_only_follows_itself_gets_a_reply_that_ends) {
  bot b([] { return std::int64_t{3}; });
  ASSERT_TRUE(converse(b, u"えっと、"));
  const std::optional<std::u16string> reply = converse(b, u"えっと、えっと、");
  ASSERT_TRUE(reply);
  ASSERT_FALSE(reply->empty());
  std::u16string_view rest = *reply;
  while (rest.starts_with(u"えっと、"))
    rest.remove_prefix(4);
  EXPECT_TRUE(rest.empty()) << testing::u8(*reply);
}

}  // namespace
}  // namespace tsugihagi
