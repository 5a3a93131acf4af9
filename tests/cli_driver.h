// Drives the real tsugihagi-cli binary for the end-to-end tests: through pipes (standard
// input, output and error each a pipe) or on a pseudo-terminal, with a chosen environment,
// and reports how it ended. Header-only; POSIX.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/memory/conversation_log.h"
#include "tests/support/test_support.h"

namespace tsugihagi::testing {

// Environment changes for the child: a value sets the variable, nothing unsets it.
using env_changes = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct cli_result {
  int status = -1;  // the exit status, or -1 when a signal ended the process
  int signal = 0;   // that signal
  std::string out;
  std::string err;
};

namespace driver_detail {

inline constexpr auto patience = std::chrono::seconds(60);

[[noreturn]] inline void exec_cli(const std::vector<std::string>& args, const env_changes& env) {
  for (const auto& [name, value] : env) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  std::vector<char*> argv;
  std::string program = TSUGIHAGI_CLI;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

inline void decode_status(int raw, cli_result& r) {
  if (WIFEXITED(raw)) {
    r.status = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    r.signal = WTERMSIG(raw);
  }
}

// Reads what is there on fd (non-blocking) into `sink`; false once it has closed.
inline bool drain(int fd, std::string& sink) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      sink.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    return false;  // end of file, or EIO on a pseudo-terminal whose other side closed
  }
}

}  // namespace driver_detail

// The program with three pipes, fed and read at the same time.
class cli_process {
 public:
  explicit cli_process(const std::vector<std::string>& args, const env_changes& env = {}) {
    ::signal(SIGPIPE, SIG_IGN);  // the tests close pipes under the program
    int in[2], out[2], err[2];
    // Close-on-exec: a program started later must not hold these pipes open.
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
        ::close(fd);
      driver_detail::exec_cli(args, env);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    for (int fd : {in_, out_, err_})
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  ~cli_process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_})
      if (fd >= 0) ::close(fd);
  }
  cli_process(const cli_process&) = delete;
  cli_process& operator=(const cli_process&) = delete;

  pid_t pid() const { return pid_; }

  // Queues bytes for standard input; they are written while the tests wait for output.
  void write(const std::string& bytes) { pending_ += bytes; }
  void close_stdin() { close_in_ = true; }
  // Closes the reading end of standard output, so the program's next write fails.
  void close_stdout() {
    ::close(out_);
    out_ = -1;
  }
  void send(int signal) { ::kill(pid_, signal); }

  // Pumps the pipes until standard output holds `lines` line feeds (counting from the start).
  const std::string& wait_for_output_lines(std::size_t lines) {
    pump_until([&] {
      return static_cast<std::size_t>(std::count(result_.out.begin(), result_.out.end(), '\n')) >=
             lines;
    });
    return result_.out;
  }
  // Pumps the pipes until standard error holds `text`.
  const std::string& wait_for_error_text(const std::string& text) {
    pump_until([&] { return result_.err.find(text) != std::string::npos; });
    return result_.err;
  }
  // Pumps until the queued input has all been written (not necessarily read).
  void flush_input() {
    pump_until([&] { return pending_.empty(); });
  }
  // Pumps until the program has read everything written to its standard input.
  void wait_until_input_read() {
    flush_input();
    pump_until([&] {
      int unread = 0;
      return in_ < 0 || (::ioctl(in_, FIONREAD, &unread) == 0 && unread == 0);
    });
  }

  // Feeds the rest, closes standard input when asked, and waits for the end.
  cli_result finish() {
    close_in_ = true;
    pump_until([&] { return out_ < 0 && err_ < 0; });
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    pid_ = -1;
    driver_detail::decode_status(raw, result_);
    return result_;
  }

 private:
  template <typename Done>
  void pump_until(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + driver_detail::patience;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("cli timed out");
      if (in_ >= 0 && !pending_.empty()) {
        const ssize_t n = ::write(in_, pending_.data(), pending_.size());
        if (n > 0) pending_.erase(0, static_cast<std::size_t>(n));
        if (n < 0 && errno == EPIPE) pending_.clear();
      }
      if (in_ >= 0 && pending_.empty() && close_in_) {
        ::close(in_);
        in_ = -1;
      }
      pollfd fds[3];
      nfds_t count = 0;
      for (int fd : {out_, err_})
        if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
      if (in_ >= 0 && !pending_.empty()) fds[count++] = {in_, POLLOUT, 0};
      ::poll(fds, count, 20);
      if (out_ >= 0 && !driver_detail::drain(out_, result_.out)) {
        ::close(out_);
        out_ = -1;
      }
      if (err_ >= 0 && !driver_detail::drain(err_, result_.err)) {
        ::close(err_);
        err_ = -1;
      }
    }
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string pending_;
  bool close_in_ = false;
  cli_result result_;
};

// Runs the program to its end with `input` on standard input.
inline cli_result run_cli_with(const std::vector<std::string>& args, const std::string& input,
                               const env_changes& env = {}) {
  cli_process p(args, env);
  p.write(input);
  return p.finish();
}

// The program on a pseudo-terminal of 80 columns: standard input, output and error are all
// the terminal, and the program leads its own session, as in a terminal window.
class pty_process {
 public:
  explicit pty_process(const std::vector<std::string>& args, const env_changes& env = {}) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    env_changes terminal_env{{"TERM", "xterm"}};  // as a terminal window sets it
    terminal_env.insert(terminal_env.end(), env.begin(), env.end());
    pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error("forkpty");
    if (pid_ == 0) driver_detail::exec_cli(args, terminal_env);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~pty_process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }
  pty_process(const pty_process&) = delete;
  pty_process& operator=(const pty_process&) = delete;

  pid_t pid() const { return pid_; }

  void type(const std::string& keys) {
    std::size_t done = 0;
    while (done < keys.size()) {
      const ssize_t n = ::write(master_, keys.data() + done, keys.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) throw std::runtime_error("pty write");
      pump(std::chrono::milliseconds(1));
    }
  }

  // Types `keys` once the program reads the terminal key by key (canonical mode off), as a
  // line editor does while it waits for a line; keys typed earlier would be cooked by the
  // terminal itself.
  void type_when_editing(const std::string& keys) {
    const auto deadline = std::chrono::steady_clock::now() + driver_detail::patience;
    termios mode{};
    while (::tcgetattr(master_, &mode) != 0 || (mode.c_lflag & ICANON) != 0) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("pty: no editor");
      pump(std::chrono::milliseconds(5));
    }
    type(keys);
  }

  // Everything the terminal showed so far.
  const std::string& screen() const { return output_; }

  // Waits until the terminal has shown `text` `times` times in all; returns the output.
  const std::string& wait_for(const std::string& text, std::size_t times = 1) {
    const auto deadline = std::chrono::steady_clock::now() + driver_detail::patience;
    while (occurrences(text) < times) {
      if (std::chrono::steady_clock::now() > deadline || master_ < 0)
        throw std::runtime_error("pty: no \"" + text + "\" in: " + output_);
      pump(std::chrono::milliseconds(20));
    }
    return output_;
  }

  // Resizes the terminal, as dragging the window's edge does (the program gets SIGWINCH).
  void resize(unsigned short columns) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    ::ioctl(master_, TIOCSWINSZ, &size);
  }

  // Puts the terminal in its usual mode (lines cooked and echoed), as a shell does while the
  // program is stopped.
  void use_usual_mode() {
    termios mode{};
    ::tcgetattr(master_, &mode);
    mode.c_lflag |= ICANON | ECHO;
    ::tcsetattr(master_, TCSANOW, &mode);
  }

  // Hangs up: closes the terminal, as closing the window of a terminal emulator does.
  void hang_up() {
    ::close(master_);
    master_ = -1;
  }

  cli_result finish() {
    const auto deadline = std::chrono::steady_clock::now() + driver_detail::patience;
    cli_result r;
    int raw = 0;
    for (;;) {
      if (master_ >= 0) pump(std::chrono::milliseconds(20));
      const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
      if (done == pid_) break;
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("pty timed out");
      if (master_ < 0) ::usleep(20000);
    }
    pid_ = -1;
    if (master_ >= 0) pump(std::chrono::milliseconds(0));
    driver_detail::decode_status(raw, r);
    r.out = output_;
    return r;
  }

 private:
  std::size_t occurrences(const std::string& text) const {
    std::size_t n = 0;
    for (std::size_t at = output_.find(text); at != std::string::npos;
         at = output_.find(text, at + text.size()))
      ++n;
    return n;
  }

  void pump(std::chrono::milliseconds wait) {
    pollfd fd{master_, POLLIN, 0};
    ::poll(&fd, 1, static_cast<int>(wait.count()));
    if (!driver_detail::drain(master_, output_)) {
      // EIO: every slave side is closed; keep the master open for the status.
    }
  }

  pid_t pid_ = -1;
  int master_ = -1;
  std::string output_;
};

// The texts of the lines in "data/log.data" under `dir`, newest first.
inline std::vector<std::string> logged_lines(const std::filesystem::path& dir) {
  conversation_log log;
  EXPECT_TRUE(load_log(log, dir / "data" / "log.data"));
  std::vector<std::string> lines;
  for (const text_entry& e : log.line_texts)
    lines.push_back(u8(e.text));
  return lines;
}

}  // namespace tsugihagi::testing
