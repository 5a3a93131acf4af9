#include "core/app/transcript.h"

#include <gtest/gtest.h>

#include "core/app/cp932.h"
#include "core/io/memory_device.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

std::string as_text(const testing::bytes& b) {
  return {b.begin(), b.end()};
}

TEST(cp932, encodes_ascii_kana_and_kanji_as_the_code_page_does) {
  EXPECT_EQ(encode_cp932(u"user > "), "user > ");
  EXPECT_EQ(encode_cp932(u"あ"), "\x82\xA0");
  EXPECT_EQ(encode_cp932(u"ｱ"), "\xB1");  // half-width katakana: one byte
  EXPECT_EQ(encode_cp932(u"日本"), "\x93\xFA\x96\x7B");
  EXPECT_EQ(encode_cp932(u"、"), "\x81\x41");
  EXPECT_EQ(encode_cp932(u"①髙"), "\x87\x40\xFB\xFC");  // NEC and IBM extensions
  EXPECT_EQ(encode_cp932(std::u16string_view(u"a\0b\r\n", 5)), std::string("a\0b\r\n", 5));
}

TEST(cp932, keeps_what_converts_around_characters_outside_the_code_page) {
  EXPECT_EQ(encode_cp932(u"a€한b"), "a??b");
}

TEST(cp932, writes_one_question_mark_per_character_without_a_form) {
  EXPECT_EQ(encode_cp932(u"絵文字😀も"), encode_cp932(u"絵文字") + "?" + encode_cp932(u"も"));
  const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
  EXPECT_EQ(encode_cp932(lone_high), "a?b");
  const char16_t lone_low[] = {0xDE00, 0};
  EXPECT_EQ(encode_cp932(lone_low), "?");
  EXPECT_EQ(encode_cp932(u"😀😀"), "??");
}

#ifndef _WIN32
TEST(cp932, without_the_converter_keeps_ascii_and_says_so_once) {
  const char* missing = "NO-SUCH-CONVERTER-FOR-TSUGIHAGI";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(encode_cp932_with(missing, u"user > こんにちは 😀!\n"), "user > ????? ?!\n");
  const char16_t lone_high[] = {u'a', 0xD83D, u'~', 0};
  EXPECT_EQ(encode_cp932_with(missing, lone_high), "a?~");
  const std::string said = ::testing::internal::GetCapturedStderr();
  const std::string notice = "the transcript converter is missing";
  ASSERT_NE(said.find(notice), std::string::npos) << said;
  EXPECT_EQ(said.find(notice, said.find(notice) + 1), std::string::npos) << "said once: " << said;
  EXPECT_EQ(encode_cp932_with("CP932", u"aあ"), "a\x82\xA0");
}
#endif

TEST(transcript, stores_each_exchange_with_cr_lf_and_nothing_else) {
  testing::bytes sink;
  {
    transcript t(std::make_unique<memory_device>(&sink, SIZE_MAX));
    t.append_exchange(u"こんにちは", u"（特に言う事はないみたいです...）");
    t.append_exchange(u"a\nb", u"c");
  }
  const std::string expected = "user > " + encode_cp932(u"こんにちは") + "\r\nhagi > " +
                               encode_cp932(u"（特に言う事はないみたいです...）") +
                               "\r\nuser > a\r\nb\r\nhagi > c\r\n";
  EXPECT_EQ(as_text(sink), expected);
}

TEST(transcript, goes_on_after_a_character_without_a_form) {
  testing::bytes sink;
  transcript t(std::make_unique<memory_device>(&sink, SIZE_MAX));
  t.append_exchange(u"😀", u"x");
  t.append_exchange(u"y", u"z");
  EXPECT_EQ(as_text(sink), "user > ?\r\nhagi > x\r\nuser > y\r\nhagi > z\r\n");
}

TEST(transcript, is_truncated_when_opened_and_silent_when_it_cannot_be) {
  testing::temp_dir dir;
  const auto file = dir.path() / "log.txt";
  testing::write_file(file, {'o', 'l', 'd'});
  {
    transcript t = transcript::open(file);
    EXPECT_TRUE(t.is_open());
    EXPECT_TRUE(testing::read_file(file).empty());
    t.append_exchange(u"a", u"b");
    EXPECT_EQ(as_text(testing::read_file(file)), "user > a\r\nhagi > b\r\n");  // flushed
  }
  transcript missing = transcript::open(dir.path() / "no-such-folder" / "log.txt");
  EXPECT_FALSE(missing.is_open());
  missing.append_exchange(u"a", u"b");  // dropped, no crash
}

}  // namespace
}  // namespace tsugihagi
