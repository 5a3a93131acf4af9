// tsugihagi-cli's command line and outcomes through pipes: --help and --version, wrong usage,
// the window's folder and the first-run memory, load and save failures, --learn, the check
// box, invalid input, signals and a reader that goes away.
#include <gtest/gtest.h>

#include <fstream>

#include "core/io/data_stream.h"
#include "core/memory/conversation_log.h"
#include "tests/cli_driver.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using testing::cli_process;
using testing::cli_result;
using testing::logged_lines;
using testing::read_file;
using testing::run_cli_with;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every line on standard error carries the program's name.
void expect_prefixed(const std::string& err) {
  std::size_t start = 0;
  while (start < err.size()) {
    const std::size_t end = err.find('\n', start);
    EXPECT_EQ(err.compare(start, 15, "tsugihagi-cli: "), 0) << err;
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

std::vector<std::string> in_dir(const testing::temp_dir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {"--dir", dir.path().string()});
  return args;
}

// The text with every run of decimal digits (and points between them) written as "9".
std::string digits_as_nine(const std::string& text) {
  std::string shape;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    const bool point = text[i] == '.' && !shape.empty() && shape.back() == '9' &&
                       i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9';
    if (digit || point) {
      if (shape.empty() || shape.back() != '9') shape += '9';
    } else {
      shape += text[i];
    }
  }
  return shape;
}

TEST(command_line, help_is_one_line_per_option_on_standard_output) {
  const cli_result r = run_cli_with({"--help"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.err.empty());
  for (const std::string option :
       {"--dir DIR", "--seed N", "--no-save", "--learn FILE", "--max-entries N", "--stats [WORD]",
        "--export FILE", "--version", "-h,--help"}) {
    // "  OPTION   Description" on a line of its own.
    const std::size_t at = r.out.find("\n  " + option + " ");
    ASSERT_NE(at, std::string::npos) << option << "\n" << r.out;
    const std::size_t end = r.out.find('\n', at + 1);
    const std::string rest = r.out.substr(at + 3 + option.size(), end - at - 3 - option.size());
    const std::size_t text = rest.find_first_not_of(' ');
    ASSERT_NE(text, std::string::npos) << option;
    EXPECT_GE(text, 2u) << option << ": the description in its column";
    EXPECT_TRUE(rest[text] >= 'A' && rest[text] <= 'Z') << option << ": " << rest;
  }
}

TEST(command_line, version_is_the_name_and_the_project_version) {
  const cli_result r = run_cli_with({"--version"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(digits_as_nine(r.out), "tsugihagi-cli 9\n") << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '.'), 2) << r.out;
  EXPECT_TRUE(r.err.empty());
}

TEST(command_line, wrong_usage_names_the_option_or_value_exits_two_and_touches_nothing) {
  const struct {
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {{"--seed", "5abc"}, "\"5abc\""},
      {{"--seed", "-1"}, "\"-1\""},
      {{"--seed", "4294967296"}, "\"4294967296\""},
      {{"--seed", " 5"}, "\" 5\""},
      {{"--seed=0x10"}, "\"0x10\""},
      {{"--max-entries", "0"}, "\"0\""},
      {{"--max-entries", "16777216"}, "\"16777216\""},
      {{"--colour"}, "--colour"},
      {{"--learn"}, "--learn"},
      {{"stray"}, "stray"},
      {{"--learn", "x", "--stats"}, "--stats"},
  };
  for (const auto& c : cases) {
    testing::temp_dir dir;
    const cli_result r = run_cli_with(in_dir(dir, c.args), "hello\n");
    EXPECT_EQ(r.status, 2) << c.named;
    EXPECT_TRUE(contains(r.err, c.named)) << r.err;
    EXPECT_TRUE(contains(r.err, "Try --help")) << r.err;
    expect_prefixed(r.err);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << c.named;
  }
}

TEST(command_line, seed_takes_zero_to_the_largest_value_in_either_form) {
  const std::string input = "今日は雨ですね\n今日はいい天気ですね\n雨ですね\n";
  const auto run = [&](std::vector<std::string> args) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    const cli_result r = run_cli_with(in_dir(dir, args), input);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  EXPECT_EQ(run({"--seed", "4294967295"}), run({"--seed=4294967295"}));
  EXPECT_EQ(run({"--seed", "0"}), run({"--seed=0"}));
  EXPECT_EQ(run({"--max-entries=16777215", "--seed=7"}), run({"--seed", "7"}));
}

TEST(working_folder, is_the_windows_folder_and_starts_as_an_empty_memory) {
  testing::temp_dir home;
  const std::filesystem::path xdg = home.path() / "xdg";
  const std::filesystem::path work = xdg / "tsugihagi";
  const testing::env_changes env{{"XDG_DATA_HOME", xdg.string()}};
  cli_result r = run_cli_with({"--seed", "1"}, "こんにちは\n", env);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "created " + (work / "data").string())) << r.err;
  expect_prefixed(r.err);
  EXPECT_EQ(logged_lines(work), std::vector<std::string>{"こんにちは"});
  EXPECT_EQ(read_file(work / "config"), bytes{1});
  for (const char* name : {"dic.data", "hdid.data", "idiom_hdid.data", "idiomdic.data"})
    EXPECT_TRUE(std::filesystem::is_regular_file(work / "data" / name)) << name;

  r = run_cli_with({"--seed", "1"}, "さようなら\n", env);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(contains(r.err, "created")) << r.err;
  EXPECT_EQ(logged_lines(work), (std::vector<std::string>{"さようなら", "こんにちは"}));

  // Without XDG_DATA_HOME, or with a relative one, the folder is under HOME.
  for (const std::optional<std::string>& value : {std::optional<std::string>(), {"relative"}}) {
    testing::temp_dir other;
    r = run_cli_with({}, "", {{"XDG_DATA_HOME", value}, {"HOME", other.path().string()}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_directory(other.path() / ".local/share/tsugihagi/data"));
  }
}

TEST(load_failure, a_partial_data_folder_names_the_file_and_the_reason) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  std::filesystem::remove(dir.path() / "data" / "hdid.data");
  cli_result r = run_cli_with(in_dir(dir, {}), "こんにちは\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "辞書の読み込みに失敗しました...\n")) << r.err;
  EXPECT_TRUE(contains(
      r.err, (dir.path() / "data" / "hdid.data").string() + ": No such file or directory\n"))
      << r.err;
  expect_prefixed(r.err);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "data" / "hdid.data"));
  EXPECT_TRUE(read_file(dir.path() / "data" / "log.data").empty());

  testing::make_empty_data(dir.path());
  std::filesystem::remove(dir.path() / "data" / "log.data");
  r = run_cli_with(in_dir(dir, {}), "こんにちは\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "ログの読み込みに失敗しました...\n")) << r.err;
  EXPECT_TRUE(contains(r.err, "log.data: No such file or directory")) << r.err;

  r = run_cli_with({"--dir", (dir.path() / "missing").string()}, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "missing: No such file or directory")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST(working_folder, a_second_program_on_it_is_refused_and_the_first_runs_as_if_alone) {
  testing::temp_dir alone;
  testing::make_empty_data(alone.path());
  const std::vector<std::string> lines{"こんにちは\n", "今日はいい天気ですね\n"};
  ASSERT_EQ(run_cli_with(in_dir(alone, {"--seed", "3"}), lines[0] + lines[1]).status, 0);

  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  cli_process first(in_dir(dir, {"--seed", "3"}));
  first.write(lines[0]);
  first.wait_for_output_lines(1);  // answered: it holds the folder
  for (const std::vector<std::string>& args : {in_dir(dir, {}), in_dir(dir, {"--learn", "-"})}) {
    const cli_result second = run_cli_with(args, "さようなら\n");
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(contains(second.err, dir.path().string() + " is in use by another tsugihagi"))
        << second.err;
    EXPECT_TRUE(second.out.empty()) << second.out;
  }
  first.write(lines[1]);
  const cli_result r = first.finish();
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* file : {"config", "log.txt", "data/dic.data", "data/hdid.data",
                           "data/idiom_hdid.data", "data/idiomdic.data", "data/log.data"}) {
    EXPECT_EQ(read_file(dir.path() / file), read_file(alone.path() / file)) << file;
  }
}

TEST(learn, a_file_that_cannot_be_read_fails_before_anything_happens) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  testing::write_file(dir.path() / "log.txt", bytes{'o', 'l', 'd'});
  for (const auto& [file, reason] :
       {std::pair<std::string, std::string>{"no-such-file.txt", "No such file or directory"},
        {dir.path().string(), "Is a directory"}}) {
    const cli_result r = run_cli_with(in_dir(dir, {"--learn", file}), "");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, file + ": " + reason)) << r.err;
    expect_prefixed(r.err);
    EXPECT_EQ(read_file(dir.path() / "log.txt"), (bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "config"));
  }
}

TEST(learn, a_read_that_fails_midway_names_the_reason_and_exits_one) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  // Opens as a regular file; its first read fails with EIO.
  const cli_result r = run_cli_with(in_dir(dir, {"--learn", "/proc/self/mem"}), "");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "reading /proc/self/mem after line 0: Input/output error")) << r.err;
  expect_prefixed(r.err);
}

TEST(learn, saves_even_with_the_check_box_off_and_summarises_on_standard_error) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  testing::write_file(dir.path() / "config", bytes{0});
  const cli_result r =
      run_cli_with(in_dir(dir, {"--learn", "-"}), "今日は晴れ\n\n明日は雨\r\n今日は雨");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_TRUE(contains(digits_as_nine(r.err), "learned 9 lines in 9 s (9 lines/s); saved in " +
                                                  digits_as_nine((dir.path() / "data").string()) +
                                                  "\n"))
      << r.err;
  EXPECT_TRUE(contains(r.err, "learned 3 lines")) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress bar off a terminal";
  EXPECT_EQ(logged_lines(dir.path()),
            (std::vector<std::string>{"今日は雨", "明日は雨", "今日は晴れ"}));
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{0});

  const cli_result kept = run_cli_with(in_dir(dir, {"--learn", "-", "--no-save"}), "新しい行\n");
  EXPECT_EQ(kept.status, 0);
  EXPECT_TRUE(contains(kept.err, "learned 1 lines")) << kept.err;
  EXPECT_TRUE(contains(kept.err, "not saved (--no-save)")) << kept.err;
  EXPECT_EQ(logged_lines(dir.path()).size(), 3u);
}

TEST(conversation, follows_the_check_box_and_says_once_when_saving_is_off) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  testing::write_file(dir.path() / "config", bytes{0});
  const cli_result r = run_cli_with(in_dir(dir, {"--seed", "3"}), "一行目\n二行目\n三行目\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
  EXPECT_TRUE(contains(r.err, "saving is off")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_TRUE(read_file(dir.path() / "data" / "log.data").empty());
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{0});

  const cli_result no_save = run_cli_with(in_dir(dir, {"--no-save"}), "一行目\n");
  EXPECT_TRUE(contains(no_save.err, "--no-save")) << no_save.err;
}

TEST(conversation, a_failed_save_names_the_file_and_the_reason_and_exits_one) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  cli_process p(in_dir(dir, {"--seed", "1"}));
  p.write("こんにちは\n");
  p.wait_for_output_lines(1);
  // The log's place is taken by a folder while the session runs: its save must fail.
  const std::filesystem::path log = dir.path() / "data" / "log.data";
  std::filesystem::remove(log);
  std::filesystem::create_directory(log);
  testing::write_file(log / "keep", bytes{1});
  const cli_result r = p.finish();
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "could not save: " + log.string() + ": not a regular file")) << r.err;
  expect_prefixed(r.err);
  // The five files are one set: none of them changes, and the journal keeps the turn.
  EXPECT_TRUE(read_file(dir.path() / "data" / "dic.data").empty()) << "no mixed set";
  EXPECT_FALSE(read_file(dir.path() / "data" / "turns.journal").empty());
}

TEST(conversation, invalid_utf8_is_warned_about_once_with_its_line_number) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  // Line 3 is 「こんにちは」 in Shift_JIS; line 4 is not UTF-8 either.
  const std::string input =
      "今日は\n\n\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\nabc\xff\xfe\n晴れ\n";
  cli_result r = run_cli_with(in_dir(dir, {"--seed", "2"}), input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << "every line still answered";
  EXPECT_TRUE(contains(r.err, "line 3 of standard input is not valid UTF-8")) << r.err;
  EXPECT_TRUE(contains(r.err, "Shift_JIS")) << r.err;
  EXPECT_FALSE(contains(r.err, "line 4")) << r.err;
  EXPECT_EQ(logged_lines(dir.path())[1], "abc\uFFFD\uFFFD");

  r = run_cli_with(in_dir(dir, {"--learn", "-"}), "ok\nabc\xff\xfe\n");
  EXPECT_TRUE(contains(r.err, "line 2 of standard input is not valid UTF-8")) << r.err;
  EXPECT_FALSE(contains(r.err, "Shift_JIS")) << r.err;
}

TEST(conversation, piped_replies_keep_control_characters_byte_for_byte) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  const std::string red = "赤い\x1b[31m花\x07です\n";
  const std::string blue = "青い\x1b[31m花\x07です\n";
  const cli_result r = run_cli_with(in_dir(dir, {"--seed", "1"}), red + blue + red + blue);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "\n" + blue)) << r.out;
}

TEST(signals, an_end_signal_saves_and_a_second_one_never_loses_the_answered_turns) {
  for (const int repeats : {1, 2}) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    cli_process p(in_dir(dir, {"--seed", "1"}));
    p.write("こんにちは\n");
    p.wait_for_output_lines(1);
    for (int i = 0; i < repeats; ++i)
      p.send(repeats == 1 ? SIGTERM : SIGINT);
    const cli_result r = p.finish();
    if (repeats == 1 || r.status == 0) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(contains(r.err, "saving…")) << r.err;
    } else {  // the second came before the save began: the next start recovers the turn
      EXPECT_TRUE(contains(run_cli_with(in_dir(dir, {}), "").err, "recovered 1 line"));
    }
    EXPECT_EQ(logged_lines(dir.path()), std::vector<std::string>{"こんにちは"});
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data" / "turns.journal"));
  }
}

TEST(signals, an_interrupted_learn_saves_what_it_learned_and_says_up_to_which_line) {
  for (const int signal : {SIGINT, SIGHUP}) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    cli_process p(in_dir(dir, {"--learn", "-"}));
    for (int i = 0; i < 50; ++i)
      p.write("今日は" + std::to_string(i) + "番目の行です\n");
    p.wait_until_input_read();
    p.send(signal);
    const cli_result r = p.finish();
    EXPECT_EQ(r.status, 130) << r.err;
    const std::size_t at = r.err.find("after line ");
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::size_t last = std::stoul(r.err.substr(at + 11));
    EXPECT_TRUE(contains(r.err, "after line " + std::to_string(last) + " of standard input"));
    EXPECT_EQ(logged_lines(dir.path()).size(), last);
    EXPECT_TRUE(contains(r.err, "saved in")) << r.err;
    expect_prefixed(r.err);
  }
}

TEST(signals, a_reader_that_goes_away_ends_the_session_and_it_saves) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  cli_process p(in_dir(dir, {"--seed", "1"}));
  p.write("一行目\n");
  p.wait_for_output_lines(1);
  p.close_stdout();  // like `| head -1`
  p.write("二行目\n三行目\n");
  const cli_result r = p.finish();
  EXPECT_EQ(r.signal, 0) << "SIGPIPE must not end the program";
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = logged_lines(dir.path());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "一行目");
  EXPECT_EQ(lines[lines.size() - 2], "二行目");
}

}  // namespace
}  // namespace tsugihagi
