// tsugihagi-cli on a pseudo-terminal, as a user in a terminal window meets it: line editing
// of Japanese text with the keys, history, replies made safe for the terminal, Ctrl-C, Ctrl-D
// and hanging up, and the progress bar of --learn.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>

#include "core/memory/conversation_log.h"
#include "tests/cli_driver.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::cli_result;
using testing::logged_lines;
using testing::pty_process;

// The text after the n-th (from 1) "hagi > " up to the end of its line.
std::string nth_reply(const std::string& screen, std::size_t n) {
  std::size_t at = std::string::npos;
  for (std::size_t i = 0; i < n; ++i) {
    at = screen.find("hagi > ", at == std::string::npos ? 0 : at + 1);
    if (at == std::string::npos) return "(none)";
  }
  at += 7;
  return screen.substr(at, screen.find("\r\n", at) - at);
}

constexpr const char* backspace = "\x7f";
constexpr const char* left = "\x1b[D";
constexpr const char* up = "\x1b[A";
constexpr const char* ctrl_c = "\x03";
constexpr const char* ctrl_d = "\x04";

TEST(terminal, keys_edit_japanese_text_as_shown_and_recall_earlier_lines) {
  // Also where TERM names a terminal without cursor keys: the ANSI keys still edit.
  for (const char* term : {"xterm", "dumb"}) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    pty_process p({"--dir", dir.path().string(), "--seed", "1"}, {{"TERM", term}});
    p.wait_for("user > ");
    p.type_when_editing(std::string("あいう") + backspace + "え\r");
    p.wait_for("hagi > ");
    p.type_when_editing(std::string("かき") + left + "X\r");
    p.wait_for("hagi > ", 2);
    p.type_when_editing(std::string(up) + up + "\r");  // two lines back: 「あいえ」
    p.wait_for("hagi > ", 3);
    p.type_when_editing(ctrl_d);
    const cli_result r = p.finish();
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(logged_lines(dir.path()), (std::vector<std::string>{"あいえ", "かXき", "あいえ"}))
        << term;
    EXPECT_EQ(r.out.find("^["), std::string::npos) << "no key is learned or shown as text";
  }
}

TEST(terminal, control_characters_in_a_reply_are_shown_as_replacement_characters) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  // Taught through a pipe; the same line typed on the terminal with Ctrl-V before each
  // control character brings the learned line back as the reply.
  const std::string red = "赤い\x1b[31m花\x07です\n";
  const std::string blue = "青い\x1b[31m花\x07です\n";
  testing::run_cli_with({"--dir", dir.path().string(), "--learn", "-"}, red + blue + red);
  pty_process p({"--dir", dir.path().string(), "--seed", "1"});
  p.wait_for("user > ");
  p.type_when_editing("青い\x16\x1b[31m花\x16\x07です\r");
  p.wait_for("hagi > ");
  p.type_when_editing("青い\x16\x1b[31m花\x16\x07です\r");
  p.wait_for("hagi > ", 2);
  p.type_when_editing(ctrl_d);
  const cli_result r = p.finish();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(logged_lines(dir.path()).front(), blue.substr(0, blue.size() - 1));
  const std::string reply = nth_reply(r.out, 2);
  EXPECT_NE(reply.find("\uFFFD[31m"), std::string::npos) << reply;
  EXPECT_EQ(reply.find_first_of("\x1b\x07"), std::string::npos) << reply;
}

TEST(terminal, ctrl_c_ends_the_conversation_and_saves) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  pty_process p({"--dir", dir.path().string(), "--seed", "1"});
  p.wait_for("user > ");
  p.type_when_editing("こんにちは\r");
  p.wait_for("user > ", 2);
  p.type_when_editing(ctrl_c);
  const cli_result r = p.finish();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(logged_lines(dir.path()), std::vector<std::string>{"こんにちは"});
}

TEST(terminal, closing_the_terminal_ends_the_conversation_and_saves) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  pty_process p({"--dir", dir.path().string(), "--seed", "1"});
  p.wait_for("user > ");
  p.type_when_editing("さようなら\r");
  p.wait_for("user > ", 2);
  p.hang_up();
  const cli_result r = p.finish();
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(logged_lines(dir.path()), std::vector<std::string>{"さようなら"});
}

TEST(terminal, a_resize_redraws_the_line_and_after_a_stop_the_editor_takes_the_terminal_again) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  pty_process p({"--dir", dir.path().string(), "--seed", "1"});
  p.wait_for("user > ");
  p.type_when_editing("あい");
  p.wait_for("user > あい");
  p.resize(40);
  p.wait_for("\ruser > あい");
  // Stopped and continued from a shell, which uses the terminal in its own mode meanwhile.
  ::kill(p.pid(), SIGSTOP);
  int stopped = 0;  // as a shell sees the stop before it takes the terminal
  ASSERT_EQ(::waitpid(p.pid(), &stopped, WUNTRACED), p.pid());
  ASSERT_TRUE(WIFSTOPPED(stopped));
  p.use_usual_mode();
  ::kill(p.pid(), SIGCONT);
  p.type_when_editing("う\r");  // waits until the editor has taken the terminal again
  p.wait_for("hagi > ");
  p.type_when_editing(ctrl_d);
  const cli_result r = p.finish();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(logged_lines(dir.path()), std::vector<std::string>{"あいう"});
}

TEST(terminal, learn_shows_a_progress_bar_and_ends_with_a_summary) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  const std::filesystem::path lesson = dir.path() / "lesson.txt";
  {
    std::ofstream out(lesson, std::ios::binary);
    for (const std::u16string& line : testing::corpus_lines(150))
      out << testing::u8(line) << '\n';
  }
  pty_process p({"--dir", dir.path().string(), "--learn", lesson.string()});
  const cli_result r = p.finish();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\r["), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("%  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" lines/s"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("learned 150 lines in "), std::string::npos) << r.out;
  EXPECT_EQ(logged_lines(dir.path()).size(), 150u);
}

}  // namespace
}  // namespace tsugihagi
