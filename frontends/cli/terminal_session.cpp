#include "frontends/cli/terminal_session.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "core/app/conversation_turn.h"
#include "core/app/session.h"
#include "core/io/utf8.h"
#include "core/memory/learning.h"

namespace tsugihagi {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) {
  interrupted = 1;
}

// Ctrl-C ends the session like the end of input: reads are interrupted, not restarted, and
// the session saves as usual. A second Ctrl-C ends the process at once.
void catch_interrupt() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool read_line(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while (!interrupted && (c = std::fgetc(in)) != EOF) {
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
  return !interrupted && !line.empty();
}

std::u16string_view strip_cr(std::u16string_view line) {
  if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
  return line;
}

void print_error(std::u16string_view message) {
  std::cerr << utf16_to_utf8(message) << std::endl;
}

void learn_file(session& s, const std::filesystem::path& file) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (in == nullptr) {
    std::cerr << "cannot open " << file << std::endl;
    return;
  }
  const bool show_progress = ::isatty(STDERR_FILENO) != 0;
  const auto start = std::chrono::steady_clock::now();
  std::string raw;
  long learned = 0;
  while (read_line(in, raw)) {
    const std::u16string text = utf8_to_utf16(raw);
    const std::u16string_view line = cut_line(strip_cr(text));
    if (line.empty()) continue;
    learn_line(s.state.dic, s.state.log, s.state.patterns, line);
    ++learned;
    if (show_progress && learned % 50 == 0) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\r%ld lines learned, %.0f lines/s   ", learned,
                   seconds > 0 ? learned / seconds : 0.0);
    }
  }
  std::fclose(in);
  if (show_progress) std::fprintf(stderr, "\r%ld lines learned.            \n", learned);
}

void converse_on_stdin(session& s) {
  const bool interactive = ::isatty(STDIN_FILENO) != 0;
  std::string raw;
  for (;;) {
    if (interactive) std::cout << "user > " << std::flush;
    if (!read_line(stdin, raw)) break;
    const std::u16string text = utf8_to_utf16(raw);
    const std::optional<exchange> e = submit_line(s, strip_cr(text));
    if (!e) continue;
    if (interactive) std::cout << "hagi > ";
    std::cout << utf16_to_utf8(e->reply) << '\n' << std::flush;
  }
  if (interactive) std::cout << std::endl;
}

}  // namespace

int run_terminal(const terminal_options& options) {
  clock_fn clock = system_clock_seconds;
  if (options.seed) clock = [seed = *options.seed] { return std::int64_t{seed}; };
  session s(options.dir, clock, options.entry_limit);
  const startup_status status = start_session(s);
  if (status == startup_status::settings_aborted) {
    std::cerr << "\"config\" could not be opened in " << options.dir << std::endl;
    return 1;
  }
  if (const auto message = startup_message(status)) {
    print_error(*message);
    return 1;
  }
  catch_interrupt();
  if (options.learn) {
    learn_file(s, *options.learn);
  } else {
    converse_on_stdin(s);
  }
  if (options.save) save_learned_state(s);
  finish_session(s);
  return 0;
}

}  // namespace tsugihagi
