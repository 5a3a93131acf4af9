// Where the lines come from. Piped input and files are read byte by byte (stdio-buffered) so
// that an interrupting signal ends the wait; a line feed, a carriage return or both end a
// line, and a UTF-8 byte-order mark at the start is dropped. A line keeps at most its first
// max_line_bytes bytes (the rest is read and skipped), so memory stays bounded whatever the
// input: a file without line feeds, /dev/zero. A terminal gets libedit's line editing, which
// knows the width of Japanese characters, moves with the arrow keys and keeps the lines of
// this session as history; a resize redraws the line being typed, and a stop (Ctrl-Z) gives
// the terminal back in its usual mode until the program continues. Either way a line comes
// back as UTF-16, with a note whether its bytes were valid UTF-8 (invalid sequences become
// U+FFFD).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tsugihagi {

// The bytes of a line that are kept: far more than a turn uses (1,022 UTF-16 units).
inline constexpr std::size_t max_line_bytes = 64 * 1024;

struct input_line_t {
  std::u16string text;  // without the line end
  bool valid_utf8 = true;
  bool looks_like_shift_jis = false;  // only when not valid UTF-8
  bool cut = false;                   // longer than max_line_bytes: only its start is in text
};

// Lines from a file or a pipe. Not copyable.
class piped_lines {
 public:
  explicit piped_lines(std::FILE* in) : in_(in) {}
  piped_lines(const piped_lines&) = delete;
  piped_lines& operator=(const piped_lines&) = delete;

  // The next line; false at the end of input, on a read error or once interrupted.
  bool next(input_line_t& line);
  std::uint64_t bytes_read() const { return bytes_; }
  // The errno of a read that failed, or 0 when the input ended normally or was interrupted.
  int read_error() const { return error_; }

 private:
  std::FILE* in_;
  std::string raw_;
  std::uint64_t bytes_ = 0;
  int error_ = 0;
  bool after_cr_ = false;  // the last line ended with a carriage return: skip a line feed
};

// Line editing on the terminal of standard input, with `prompt`. Not copyable.
class line_editor {
 public:
  line_editor(const char* prompt, std::FILE* display);
  ~line_editor();
  line_editor(const line_editor&) = delete;
  line_editor& operator=(const line_editor&) = delete;

  // The next line typed; false on Ctrl-D at an empty line, an error or once interrupted.
  bool next(input_line_t& line);

  struct state;

 private:
  std::unique_ptr<state> state_;
};

}  // namespace tsugihagi
