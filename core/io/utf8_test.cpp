#include "core/io/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tsugihagi {
namespace {

constexpr char16_t fffd = 0xFFFD;

std::u16string units(std::initializer_list<char16_t> list) {
  return std::u16string(list);
}

TEST(utf8, round_trips_latin_kana_kanji_and_astral_text) {
  const std::string text = "a\xE3\x81\x82\xE6\xBC\xA2\xF0\x9F\x98\x80";  // a, あ, 漢, U+1F600
  const std::u16string wide = utf8_to_utf16(text);
  EXPECT_EQ(wide, units({u'a', 0x3042, 0x6F22, 0xD83D, 0xDE00}));
  EXPECT_EQ(utf16_to_utf8(wide), text);
}

TEST(utf8, encodes_each_sequence_length_at_its_limits) {
  const std::pair<char32_t, std::string> cases[] = {
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& [code_point, encoded] : cases) {
    const std::u16string decoded = utf8_to_utf16(encoded);
    EXPECT_EQ(utf16_to_utf8(decoded), encoded)
        << std::hex << static_cast<std::uint32_t>(code_point);
    EXPECT_EQ(decoded.size(), code_point < 0x10000 ? 1u : 2u)
        << std::hex << static_cast<std::uint32_t>(code_point);
  }
  EXPECT_EQ(utf8_to_utf16(std::string("a\0b", 3)), units({u'a', 0, u'b'}));
}

TEST(utf8, invalid_bytes_decode_to_one_replacement_per_maximal_invalid_part) {
  EXPECT_EQ(utf8_to_utf16("\xFF"), units({fffd}));
  EXPECT_EQ(utf8_to_utf16("a\x80"
                          "b"),
            units({u'a', fffd, u'b'}));
  EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), units({fffd, fffd})) << "overlong";
  EXPECT_EQ(utf8_to_utf16("\xE3\x81"), units({fffd})) << "cut at the end";
  EXPECT_EQ(utf8_to_utf16("\xE3\x81"
                          "a"),
            units({fffd, u'a'}));
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), units({fffd, fffd, fffd})) << "encoded surrogate";
  EXPECT_EQ(utf8_to_utf16("\xF4\x90\x80\x80"), units({fffd, fffd, fffd, fffd})) << "above U+10FFFF";
}

TEST(utf8, lone_surrogates_encode_as_replacement_characters) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(utf16_to_utf8(units({u'a', 0xD800})), "a" + replacement);
  EXPECT_EQ(utf16_to_utf8(units({0xDC00, u'a'})), replacement + "a");
  EXPECT_EQ(utf16_to_utf8(units({0xDC00, 0xD800})), replacement + replacement)
      << "a reversed pair is two lone surrogates";
  EXPECT_EQ(utf16_to_utf8(units({0xD800, 0xD800, 0xDC00})), replacement + "\xF0\x90\x80\x80");
}

}  // namespace
}  // namespace tsugihagi
