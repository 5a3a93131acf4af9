// tsugihagi-cli in Japanese: in ja_JP.UTF-8 its help, usage errors, load failures, --learn
// summary and --stats come from the build's catalogue; in the C locale they stay English
// whatever LANGUAGE says. The real binary through pipes.
#include <gtest/gtest.h>

#include <clocale>
#include <fstream>

#include "tests/cli_driver.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::cli_result;
using testing::env_changes;
using testing::run_cli_with;

const env_changes japanese{{"LANG", "ja_JP.UTF-8"},
                           {"LC_ALL", std::nullopt},
                           {"LC_MESSAGES", std::nullopt},
                           {"LANGUAGE", std::nullopt}};
const env_changes c_locale{{"LANG", "C"}, {"LC_ALL", "C"}, {"LANGUAGE", "ja"}};

TEST(terminal_japanese, speaks_japanese_in_a_japanese_locale_and_english_in_c) {
  if (std::setlocale(LC_MESSAGES, "ja_JP.UTF-8") == nullptr)
    FAIL() << "the locale ja_JP.UTF-8 is missing (scripts/install-deps.sh test makes it)";
  std::setlocale(LC_MESSAGES, "C");
  testing::temp_dir work;
  const std::filesystem::path dir = work.path() / "memory";
  const std::filesystem::path lines = work.path() / "lines.txt";
  std::ofstream(lines) << "今日はいい天気ですね\nいい天気なので散歩します\n";
  const std::filesystem::path broken = work.path() / "broken";
  testing::make_empty_data(broken);
  std::filesystem::remove(broken / "data" / "log.data");
  std::filesystem::create_directory(broken / "data" / "log.data");

  const std::string d = dir.string();
  const struct {
    std::vector<std::string> args;
    int status;
    std::string japanese;  // in standard output and error
    std::string english;
  } cases[] = {
      {{"--help"},
       0,
       "使い方: tsugihagi-cli [オプション]\n\nオプション:\n  --version ",
       "Usage: tsugihagi-cli [OPTIONS]\n\nOptions:\n  --version "},
      {{"--nope"},
       2,
       "tsugihagi-cli: 次の引数は受け付けません: --nope。--help を参照してください。\n",
       "tsugihagi-cli: The following argument was not expected: --nope. Try --help.\n"},
      {{"--dir"},
       2,
       "tsugihagi-cli: --dir: DIR が 1 つ必要ですが、ありません。",
       "tsugihagi-cli: --dir: 1 required DIR missing. Try --help.\n"},
      {{"--dir", broken.string(), "--stats"},
       1,
       "tsugihagi-cli: ログの読み込みに失敗しました...\ntsugihagi-cli: " +
           (broken / "data" / "log.data").string() + ": 開けませんでした\n",
       "tsugihagi-cli: ログの読み込みに失敗しました...\ntsugihagi-cli: " +
           (broken / "data" / "log.data").string() + ": could not be opened\n"},
      {{"--dir", d, "--learn", lines.string()},
       0,
       "tsugihagi-cli: 2 行を ",
       "tsugihagi-cli: learned 2 lines in "},
      {{"--dir", d, "--stats"}, 0, "単語: ", "words: "},
      {{"--dir", d, "--forget", "散歩", "--dry-run"},
       0,
       "行を忘れます。何も変更していません (--dry-run)\n",
       " holding \"散歩\"; nothing changed (--dry-run)\n"},
  };
  std::filesystem::create_directory(dir);
  for (const auto& c : cases) {
    const std::string shown = c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : "");
    const cli_result ja = run_cli_with(c.args, "", japanese);
    EXPECT_EQ(ja.status, c.status) << shown << ja.err;
    EXPECT_NE((ja.out + ja.err).find(c.japanese), std::string::npos) << shown << ja.out << ja.err;
    const cli_result en = run_cli_with(c.args, "", c_locale);
    EXPECT_EQ(en.status, c.status) << shown << en.err;
    EXPECT_NE((en.out + en.err).find(c.english), std::string::npos) << shown << en.out << en.err;
  }
}

}  // namespace
}  // namespace tsugihagi
