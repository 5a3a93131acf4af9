#include "frontends/cli/progress.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "frontends/cli/translation.h"

#ifdef TSUGIHAGI_NLS
#include <libintl.h>
#endif

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

TEST(progress, is_cut_to_the_terminal_in_columns_wide_characters_two) {
  const struct {
    const char* text;
    int columns;
    const char* kept;
    int width;  // of the text
  } cases[] = {
      {"12 lines  3 lines/s", 12, "12 lines  3 ", 19},
      {"1 行  2 行/秒", 4, "1 行", 13},
      {"1 行  2 行/秒", 3, "1 ", 13},  // a wide character is kept whole or not at all
      {"ＡＢｃ", 5, "ＡＢ", 6},        // full-width forms
      {"ｱｲｳ", 2, "ｱｲ", 3},             // half-width katakana: one column each
      {"a\xFF"
       "b",
       2, "a\xFF", 3},  // an invalid byte shows as one U+FFFD
  };
  for (const auto& c : cases) {
    EXPECT_EQ(display_width(c.text), c.width) << c.text;
    EXPECT_EQ(fit_columns(c.text, c.columns), c.kept) << c.text;
  }
}

#ifdef TSUGIHAGI_NLS
// The bar as a Japanese user sees it, from the build's catalogue, fits the terminal.
TEST(progress, in_japanese_fits_the_terminal) {
  const std::string messages = std::setlocale(LC_MESSAGES, nullptr);
  if (std::setlocale(LC_MESSAGES, "ja_JP.UTF-8") == nullptr)
    FAIL() << "the locale ja_JP.UTF-8 is missing (scripts/install-deps.sh test makes it)";
  ::bindtextdomain("tsugihagi", TSUGIHAGI_BUILD_LOCALE_DIR);
  ::bind_textdomain_codeset("tsugihagi", "UTF-8");
  const std::string text = progress_text(250, 1000, 40, 120.4, 50);
  std::setlocale(LC_MESSAGES, messages.c_str());
  EXPECT_EQ(text, "[######------------------]  25%  40 行  120 行/秒  残り 0:15");
  EXPECT_EQ(display_width(text), 60);
  for (const int columns : {60, 59, 40, 10}) {
    const std::string cut = fit_columns(text, columns);
    EXPECT_LE(display_width(cut), columns) << cut;
    EXPECT_GE(display_width(cut), columns - 1) << cut;
    EXPECT_EQ(text.rfind(cut, 0), 0u) << cut;
  }
}
#endif

}  // namespace
}  // namespace tsugihagi
