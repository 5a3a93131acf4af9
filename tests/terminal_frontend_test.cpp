// The terminal front-end driven as a user would: the real binary, piped lines, exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

struct run_result {
  int status;
  std::string out;
  std::string err;
};

run_result run_cli(const std::filesystem::path& dir, const std::string& args,
                   const std::string& input) {
  const std::filesystem::path in = dir / "stdin.txt";
  const std::filesystem::path err = dir / "stderr.txt";
  std::ofstream(in, std::ios::binary) << input;
  const std::string command = std::string("'") + TSUGIHAGI_CLI + "' --dir '" + dir.string() + "' " +
                              args + " < '" + in.string() + "' 2> '" + err.string() + "'";
  run_result result{-1, {}, {}};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const testing::bytes e = testing::read_file(err);
  result.err.assign(e.begin(), e.end());
  return result;
}

std::size_t count_lines(const std::string& s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

TEST(terminal_frontend, answers_each_piped_line_with_one_line_and_skips_empty_ones) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  const run_result r = run_cli(dir.path(), "--seed 5", "こんにちは\n\n今日はいい天気\r\n最後の行");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count_lines(r.out), 3u) << r.out;
  EXPECT_EQ(r.out.find("user > "), std::string::npos);
  EXPECT_GT(testing::read_file(dir.path() / "data" / "log.data").size(), 4u);
  EXPECT_EQ(testing::read_file(dir.path() / "config"), testing::bytes{1});
}

TEST(terminal_frontend, the_same_seed_gives_the_same_session) {
  const std::string input = "今日は雨ですね\n今日はいい天気ですね\n雨ですね\n天気\n";
  std::string outputs[2];
  for (std::string& out : outputs) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    out = run_cli(dir.path(), "--seed 42", input).out;
  }
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_EQ(count_lines(outputs[0]), 4u);
}

TEST(terminal_frontend, no_save_keeps_the_data_files_but_writes_config) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  const run_result r = run_cli(dir.path(), "--seed 1 --no-save", "こんにちは\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(testing::read_file(dir.path() / "data" / "log.data").empty());
  EXPECT_EQ(testing::read_file(dir.path() / "config"), testing::bytes{1});
}

TEST(terminal_frontend, a_missing_data_file_gives_the_message_and_status_one) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  std::filesystem::remove(dir.path() / "data" / "hdid.data");
  const run_result r = run_cli(dir.path(), "--seed 1", "こんにちは\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("辞書の読み込みに失敗しました..."), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_TRUE(testing::read_file(dir.path() / "data" / "dic.data").empty());
}

TEST(terminal_frontend, learns_a_text_file_without_replying_and_saves) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  std::ofstream(dir.path() / "lesson.txt", std::ios::binary)
      << "今日は晴れ\n明日は雨\n\n今日は雨\n";
  const run_result r =
      run_cli(dir.path(), "--learn '" + (dir.path() / "lesson.txt").string() + "'", "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.empty());
  const testing::bytes log = testing::read_file(dir.path() / "data" / "log.data");
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], 3);  // three lines learned, the empty one skipped
}

TEST(terminal_frontend, a_full_standard_output_is_a_failure_and_the_session_still_saves) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  const run_result r = run_cli(dir.path(), "--seed 1 > /dev/full", "こんにちは\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tsugihagi-cli: standard output: No space left on device"),
            std::string::npos)
      << r.err;
  EXPECT_GT(testing::read_file(dir.path() / "data" / "log.data").size(), 4u);
}

}  // namespace
}  // namespace tsugihagi

namespace tsugihagi {
namespace {

TEST(terminal_frontend, replays_the_small_reference_session_byte_for_byte) {
  const std::filesystem::path golden = testing::shared_dir() / "golden" / "small";
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  const testing::bytes input = testing::read_file(golden / "input.txt");
  const testing::bytes seed = testing::read_file(golden / "seed");
  const std::string seed_text(seed.begin(), seed.end());
  const run_result r = run_cli(dir.path(), "--seed " + seed_text.substr(0, seed_text.find('\n')),
                               std::string(input.begin(), input.end()));
  ASSERT_EQ(r.status, 0) << r.err;
  const testing::bytes replies = testing::read_file(golden / "expected" / "replies.txt");
  EXPECT_EQ(r.out, std::string(replies.begin(), replies.end()));
  for (const char* file : {"log.txt", "config", "data/dic.data", "data/log.data"}) {
    EXPECT_EQ(testing::read_file(dir.path() / file), testing::read_file(golden / "expected" / file))
        << file;
  }
}

}  // namespace
}  // namespace tsugihagi
