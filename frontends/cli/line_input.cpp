#include "frontends/cli/line_input.h"

#include <histedit.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <cwchar>

#include "core/io/utf8.h"
#include "frontends/cli/interruption.h"
#include "frontends/cli/text_checks.h"

namespace tsugihagi {
namespace {

void drop_cr(std::u16string& text) {
  if (!text.empty() && text.back() == u'\r') text.pop_back();
}

void append_code_point(std::u16string& text, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    text.push_back(static_cast<char16_t>(c));
  }
}

// libedit converts what it shows with the C library's multibyte functions: they must speak
// UTF-8 whatever the environment's locale, as the rest of the program does.
void use_utf8_ctype() {
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(::nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

// Drops a UTF-8 sequence that a cut left incomplete at the end of `bytes`.
void drop_cut_sequence(std::string& bytes) {
  std::size_t lead = bytes.size();
  while (lead > 0 && bytes.size() - lead < 4 &&
         (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead == 0) return;
  const auto first = static_cast<unsigned char>(bytes[lead - 1]);
  const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
  if (bytes.size() - (lead - 1) < length) bytes.resize(lead - 1);
}

}  // namespace

bool piped_lines::next(input_line_t& line) {
  raw_.clear();
  const bool at_start = bytes_ == 0;
  bool ended = false;
  bool cut = false;
  for (;;) {
    if (interrupted()) return false;
    errno = 0;
    const int c = std::fgetc(in_);
    if (c == EOF) {
      if (std::ferror(in_) != 0 && !interrupted()) error_ = errno != 0 ? errno : EIO;
      ended = true;
      break;
    }
    ++bytes_;
    const bool second_half_of_crlf = c == '\n' && after_cr_;
    after_cr_ = c == '\r';
    if (second_half_of_crlf) continue;
    if (c == '\n' || c == '\r') break;
    if (raw_.size() < max_line_bytes) {
      raw_.push_back(static_cast<char>(c));
    } else {
      cut = true;
    }
  }
  if (ended && ((raw_.empty() && !cut) || interrupted())) return false;
  if (at_start && raw_.starts_with("\xEF\xBB\xBF")) raw_.erase(0, 3);
  if (cut) drop_cut_sequence(raw_);
  line.cut = cut;
  line.valid_utf8 = is_valid_utf8(raw_);
  line.looks_like_shift_jis = !line.valid_utf8 && tsugihagi::looks_like_shift_jis(raw_);
  line.text = utf8_to_utf16(raw_);
  return true;
}

struct line_editor::state {
  EditLine* editor = nullptr;
  std::FILE* display = nullptr;
  HistoryW* history = nullptr;
  std::wstring prompt;
  int pending = -1;      // a byte read ahead that did not continue a UTF-8 sequence
  bool invalid = false;  // an invalid sequence in the current line
  std::string raw;       // the bytes typed for the current line, keys included
};

namespace {

// What the terminal did while a line is being typed; the handlers only note it, and the
// reader answers once the read they interrupted has returned.
volatile std::sig_atomic_t resized = 0;
volatile std::sig_atomic_t stop_asked = 0;  // Ctrl-Z
volatile std::sig_atomic_t continued = 0;   // `fg`, or SIGCONT after any stop

void on_terminal_signal(int signal) {
  if (signal == SIGWINCH) {
    resized = 1;
  } else if (signal == SIGTSTP) {
    stop_asked = 1;
  } else {
    continued = 1;
  }
}

constexpr int terminal_signals[] = {SIGWINCH, SIGTSTP, SIGCONT};

// The handlers, installed while a line is typed only: elsewhere a stop stops at once, and no
// other read or write is interrupted. No SA_RESTART: a blocked read returns with EINTR.
class terminal_signal_handlers {
 public:
  terminal_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = on_terminal_signal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(terminal_signals); ++i)
      sigaction(terminal_signals[i], &action, &previous_[i]);
  }
  ~terminal_signal_handlers() {
    for (std::size_t i = 0; i < std::size(terminal_signals); ++i)
      sigaction(terminal_signals[i], &previous_[i], nullptr);
  }
  terminal_signal_handlers(const terminal_signal_handlers&) = delete;
  terminal_signal_handlers& operator=(const terminal_signal_handlers&) = delete;

 private:
  struct sigaction previous_[std::size(terminal_signals)]{};
};

// Draws the prompt and the line anew from the start of the cursor's row.
void redraw(line_editor::state& s) {
  std::fputc('\r', s.display);
  el_set(s.editor, EL_REFRESH);
}

// Answers what the terminal did: a stop gives the terminal back in its usual mode and stops;
// a continue takes the editor's mode again; both it and a resize redraw the line.
void answer_terminal_signals(line_editor::state& s) {
  if (stop_asked != 0) {
    stop_asked = 0;
    el_set(s.editor, EL_PREP_TERM, 0);
    struct sigaction stop {
    }, handler{};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTSTP, &stop, &handler);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);  // blocked while the reader is not waiting
    std::raise(SIGTSTP);                       // returns once continued
    sigprocmask(SIG_BLOCK, &tstp, nullptr);
    sigaction(SIGTSTP, &handler, nullptr);
    continued = 1;
  }
  if (continued != 0) {
    continued = 0;
    // Whoever stopped the program may have changed the terminal's mode meanwhile (a shell
    // does): the editor's mode is set again in full, which it does only from the usual mode.
    el_set(s.editor, EL_PREP_TERM, 0);
    el_set(s.editor, EL_PREP_TERM, 1);
    redraw(s);
  }
  if (resized != 0) {
    resized = 0;
    el_resize(s.editor);
    redraw(s);
  }
}

line_editor::state* state_of(EditLine* el) {
  void* data = nullptr;
  el_wget(el, EL_CLIENTDATA, &data);
  return static_cast<line_editor::state*>(data);
}

// One byte of standard input: 1 read, 0 end of input, -1 error or interrupted. The signals
// that the reader answers stay blocked but while it waits (ppoll unblocks them atomically),
// so that one arriving between its check and its wait is never left unanswered.
int read_byte(line_editor::state& s, unsigned char& byte) {
  if (s.pending >= 0) {
    byte = static_cast<unsigned char>(s.pending);
    s.pending = -1;
    return 1;
  }
  sigset_t answered, waiting;
  sigemptyset(&answered);
  for (const int signal : {SIGWINCH, SIGTSTP, SIGCONT, SIGINT, SIGTERM, SIGHUP})
    sigaddset(&answered, signal);
  sigprocmask(SIG_BLOCK, &answered, &waiting);
  int result = -1;
  for (;;) {
    if (interrupted()) break;
    answer_terminal_signals(s);
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::ppoll(&input, 1, nullptr, &waiting) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
    if (n == 1) {
      s.raw.push_back(static_cast<char>(byte));
      result = 1;
      break;
    }
    if (n == 0) {
      result = 0;
      break;
    }
    if (errno != EINTR) break;
  }
  sigprocmask(SIG_SETMASK, &waiting, nullptr);
  return result;
}

// libedit's character reader: decodes UTF-8 from standard input itself, so that a signal
// ends the read and invalid bytes become U+FFFD (noted for the warning).
int read_wide_char(EditLine* el, wchar_t* out) {
  line_editor::state& s = *state_of(el);
  unsigned char byte;
  const int got = read_byte(s, byte);
  if (got != 1) {
    *out = L'\0';
    return got;
  }
  int follow;
  char32_t c;
  if (byte < 0x80) {
    *out = static_cast<wchar_t>(byte);
    return 1;
  } else if (byte >= 0xC2 && byte <= 0xDF) {
    follow = 1;
    c = byte & 0x1F;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    follow = 2;
    c = byte & 0x0F;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    follow = 3;
    c = byte & 0x07;
  } else {
    s.invalid = true;
    *out = 0xFFFD;
    return 1;
  }
  for (int i = 0; i < follow; ++i) {
    unsigned char next;
    const int more = read_byte(s, next);
    if (more != 1 || (next & 0xC0) != 0x80) {
      if (more == 1) s.pending = next;
      s.invalid = true;
      *out = 0xFFFD;
      return 1;
    }
    c = (c << 6) | (next & 0x3F);
  }
  const bool overlong = (follow == 2 && c < 0x800) || (follow == 3 && c < 0x10000);
  if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    s.invalid = true;
    c = 0xFFFD;
  }
  *out = static_cast<wchar_t>(c);
  return 1;
}

wchar_t* prompt_of(EditLine* el) {
  return state_of(el)->prompt.data();
}

}  // namespace

line_editor::line_editor(const char* prompt, std::FILE* display)
    : state_(std::make_unique<state>()) {
  use_utf8_ctype();
  state_->prompt.assign(prompt, prompt + std::strlen(prompt));
  state_->display = display;
  state_->editor = el_init("tsugihagi-cli", stdin, display, stderr);
  state_->history = history_winit();
  HistEventW event;
  history_w(state_->history, &event, H_SETSIZE, 1000);
  el_wset(state_->editor, EL_CLIENTDATA, state_.get());
  el_wset(state_->editor, EL_EDITOR, L"emacs");
  el_wset(state_->editor, EL_PROMPT, prompt_of);
  el_wset(state_->editor, EL_HIST, history_w, state_->history);
  el_wset(state_->editor, EL_GETCFN, read_wide_char);
}

line_editor::~line_editor() {
  el_end(state_->editor);
  history_wend(state_->history);
}

bool line_editor::next(input_line_t& line) {
  state_->invalid = false;
  state_->raw.clear();
  int count = 0;
  const wchar_t* typed = nullptr;
  {
    const terminal_signal_handlers handlers;
    el_resize(state_->editor);  // the terminal may have changed size since the last line
    typed = el_wgets(state_->editor, &count);
  }
  if (typed == nullptr || count <= 0 || interrupted()) return false;
  std::wstring text(typed, static_cast<std::size_t>(count));
  if (!text.empty() && text.back() == L'\n') text.pop_back();
  if (!text.empty()) {
    HistEventW event;
    history_w(state_->history, &event, H_ENTER, text.c_str());
  }
  line.text.clear();
  for (const wchar_t c : text)
    append_code_point(line.text, static_cast<char32_t>(c));
  drop_cr(line.text);
  line.valid_utf8 = !state_->invalid;
  line.looks_like_shift_jis = state_->invalid && looks_like_shift_jis(state_->raw);
  return true;
}

}  // namespace tsugihagi
