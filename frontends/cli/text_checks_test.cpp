#include "frontends/cli/text_checks.h"

#include <gtest/gtest.h>

namespace tsugihagi {
namespace {

TEST(text_checks, utf8_validity_follows_the_unicode_rules) {
  for (const char* valid : {"", "abc", "\u00e9", "\u3042\u3044", "\U0001F600", "\uFFFD",
                            "\xed\x9f\xbf", "\xf4\x8f\xbf\xbf"}) {
    EXPECT_TRUE(is_valid_utf8(valid)) << valid;
  }
  for (const char* invalid :
       {"\x80", "\xc0\xaf", "\xc1\xbf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf0\x8f\xbf\xbf",
        "\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\xe3\x81", "abc\xff", "\xe3\x81\x41"}) {
    EXPECT_FALSE(is_valid_utf8(invalid)) << invalid;
  }
}

TEST(text_checks, shift_jis_is_recognised_by_its_lead_and_trail_bytes) {
  // 「こんにちは」 and 「表示」 (trail byte 0x5C, a backslash in ASCII) in code page 932.
  EXPECT_TRUE(looks_like_shift_jis("\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd"));
  EXPECT_TRUE(looks_like_shift_jis("abc \x95\x5c\x8e\xa6"));
  EXPECT_FALSE(looks_like_shift_jis("\xb1\xb2\xb3")) << "half-width katakana alone";
  EXPECT_FALSE(looks_like_shift_jis("abc\xff\xfe")) << "FF is never a lead byte";
  EXPECT_FALSE(looks_like_shift_jis("\x82")) << "a lead byte without its trail";
  EXPECT_FALSE(looks_like_shift_jis("\x82\x20")) << "a trail byte out of range";
}

TEST(text_checks, terminal_controls_become_replacement_characters_and_nothing_else_changes) {
  using namespace std::string_literals;
  const std::u16string text = u"a\u0000b\u001b[31m\u0007\tc\u007f\u0080\u009f\u00a0\u3042"s;
  EXPECT_EQ(terminal_safe(text), u"a\uFFFDb\uFFFD[31m\uFFFD\tc\uFFFD\uFFFD\uFFFD\u00a0\u3042");
  EXPECT_FALSE(is_terminal_control(u'\t'));
  EXPECT_TRUE(is_terminal_control(u'\n'));
  EXPECT_FALSE(is_terminal_control(0xA0));
}

}  // namespace
}  // namespace tsugihagi
