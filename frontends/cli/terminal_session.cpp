#include "frontends/cli/terminal_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "core/app/conversation_turn.h"
#include "core/app/home_folder.h"
#include "core/app/session.h"
#include "core/dict/dictionary_files.h"
#include "core/io/folder_lock.h"
#include "core/io/utf8.h"
#include "core/memory/learning.h"
#include "frontends/cli/data_folder.h"
#include "frontends/cli/inspection.h"
#include "frontends/cli/interruption.h"
#include "frontends/cli/line_input.h"
#include "frontends/cli/progress.h"
#include "frontends/cli/text_checks.h"
#include "frontends/cli/translation.h"

namespace tsugihagi {
namespace {

void say(const std::string& text) {
  std::fprintf(stderr, "tsugihagi-cli: %s\n", text.c_str());
  std::fflush(stderr);
}

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

const char* signal_name(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
  }
  return tr("a signal");
}

// Warns about the first line of an input that is not valid UTF-8, and about the first line
// that was too long to keep whole.
class input_warnings {
 public:
  explicit input_warnings(std::string source) : source_(std::move(source)) {}

  void check(const input_line_t& line, std::int64_t number) {
    if (line.cut && !cut_warned_) {
      cut_warned_ = true;
      say(formatted(tr("line %lld of %s is longer than %lld bytes: only its start is read (later "
                       "long lines are cut without a word)"),
                    static_cast<long long>(number), source_.c_str(),
                    static_cast<long long>(max_line_bytes)));
    }
    if (line.valid_utf8 || utf8_warned_) return;
    utf8_warned_ = true;
    const char* text =
        line.looks_like_shift_jis
            ? tr("line %lld of %s is not valid UTF-8; its invalid bytes are read as U+FFFD. It "
                 "looks like Shift_JIS (CP932): convert it first, for example with iconv -f CP932 "
                 "-t UTF-8 (later lines are not checked)")
            : tr("line %lld of %s is not valid UTF-8; its invalid bytes are read as U+FFFD (later "
                 "lines are not checked)");
    say(formatted(text, static_cast<long long>(number), source_.c_str()));
  }

 private:
  std::string source_;
  bool utf8_warned_ = false;
  bool cut_warned_ = false;
};

// The file a --learn run reads, opened before anything else happens.
struct learn_source {
  std::FILE* file = nullptr;
  std::string name;                   // as the user gave it, or "standard input"
  std::optional<std::uint64_t> size;  // bytes, when it is a regular file
  bool owned = false;

  learn_source() = default;
  learn_source(const learn_source&) = delete;
  learn_source& operator=(const learn_source&) = delete;
  ~learn_source() {
    if (owned && file != nullptr) std::fclose(file);
  }
};

// Opens the --learn file; an error text when it cannot be read.
std::optional<std::string> open_learn_source(const std::string& path, learn_source& source) {
  if (path == "-") {
    source.file = stdin;
    source.name = tr("standard input");
  } else {
    source.file = std::fopen(path.c_str(), "rb");
    source.name = path;
    if (source.file == nullptr) return path + ": " + std::strerror(errno);
    source.owned = true;
  }
  struct stat info {};
  if (::fstat(::fileno(source.file), &info) != 0) return source.name + ": " + std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return source.name + ": " + std::strerror(EISDIR);
  if (S_ISREG(info.st_mode)) source.size = static_cast<std::uint64_t>(info.st_size);
  return std::nullopt;
}

// What was dropped from each data file, in loading order: singular and plural.
constexpr std::array<std::array<const char*, 2>, 5> damage_reports{
    {{NN_("%s: %lld damaged free phrase id dropped", "%s: %lld damaged free phrase ids dropped")},
     {NN_("%s: %lld damaged phrase dropped", "%s: %lld damaged phrases dropped")},
     {NN_("%s: %lld damaged free word id dropped", "%s: %lld damaged free word ids dropped")},
     {NN_("%s: %lld damaged word dropped", "%s: %lld damaged words dropped")},
     {NN_("%s: %lld damaged log line dropped", "%s: %lld damaged log lines dropped")}}};

// Says which data files had damaged records dropped while loading, in what they held.
void report_damage(const std::filesystem::path& dir, const load_report& report) {
  for (std::size_t i = 0; i < data_file_names.size(); ++i) {
    const std::int64_t n = report.dropped[i];
    if (n == 0) continue;
    const std::string file = shown(dir, std::filesystem::path("data") / data_file_names[i]);
    say(formatted(trn(damage_reports[i][0], damage_reports[i][1], static_cast<unsigned long>(n)),
                  file.c_str(), static_cast<long long>(n)));
  }
}

void report_load_failure(const std::filesystem::path& dir, startup_status status,
                         const load_report& report) {
  if (const auto message = startup_message(status)) say(utf16_to_utf8(*message));
  if (!report.recovery_error.empty()) {
    say(formatted(tr("an interrupted save could not be finished: %s"),
                  report.recovery_error.c_str()));
    return;
  }
  const std::filesystem::path relative = report.failed_file.lexically_relative(dir);
  say(shown(dir, relative) + ": " +
      (report.read_failed
           ? std::string(tr("a read failed or the file ended before its size: it was not loaded"))
           : open_failure_reason(report.failed_file)));
}

// What start-up did besides loading: lines recovered from the journal, and their save.
void report_recovery(const session& s) {
  if (s.loading.replayed == 0) return;
  const std::int64_t n = s.loading.replayed;
  say(formatted(trn("recovered %lld line that the last run learned but did not save",
                    "recovered %lld lines that the last run learned but did not save",
                    static_cast<unsigned long>(n)),
                static_cast<long long>(n)));
  if (!s.save_error.empty())
    say(formatted(tr("could not save them yet: %s"),
                  translated_core_message(s.save_error).c_str()));
}

// Says once, before the first line is read, what a folder that cannot be written will lose:
// otherwise the transcript is dropped silently and the saves fail only at the end.
void report_unwritable(const session& s) {
  std::optional<std::string> reason = write_failure_reason(s.dir);
  std::string where = s.dir.string();
  if (!reason && saving(s)) {
    reason = write_failure_reason(s.dir / "data");
    where = shown(s.dir, "data");
  }
  const bool unsaved = reason && saving(s);
  if (s.record.is_open() && !unsaved) return;
  const std::string transcript = shown(s.dir, "log.txt");
  const std::string lost_text =
      s.record.is_open() ? tr("nothing learned in this session can be saved")
      : unsaved          ? formatted(tr("the transcript %s is not written and nothing learned in "
                                                 "this session can be saved"),
                                     transcript.c_str())
                         : formatted(tr("the transcript %s is not written"), transcript.c_str());
  say(reason ? formatted(tr("cannot create files in %s (%s): %s"), where.c_str(), reason->c_str(),
                         lost_text.c_str())
             : formatted(tr("%s cannot be written: %s"), transcript.c_str(), lost_text.c_str()));
}

// A set save of the five data files; names what failed. Returns whether it saved.
bool save_state(session& s) {
  if (save_session(s)) {
    if (!s.damaged_copy.empty()) {
      say(formatted(tr("the damaged data files as they were found are kept in %s"),
                    s.damaged_copy.lexically_relative(s.dir).string().c_str()));
    }
    return true;
  }
  const std::string error = translated_core_message(s.save_error);
  say(formatted(s.journal.is_open()
                    ? tr("could not save: %s; the previous data files are kept, and what was "
                         "learned is kept in the journal for the next start")
                    : tr("could not save: %s; the previous data files are kept"),
                error.c_str()));
  return false;
}

// Says once that the journal stopped working.
void report_journal(const session& s, bool& said) {
  if (said || s.journal_error.empty()) return;
  said = true;
  say(formatted(tr("%s: from here on what is learned is kept only until the save at the end"),
                translated_core_message(s.journal_error).c_str()));
}

// Writes all of `text` to standard output; false with errno set when it could not.
bool write_out(const std::string& text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) return false;
  return std::fflush(stdout) == 0;
}

// The conversation: a line in, the reply out, until the input ends, a signal arrives or
// standard output fails. Readers of the folder are let in while it waits for a line.
// Returns the exit status the conversation itself calls for.
int converse(session& s, folder_lock& lock) {
  const bool typed = ::isatty(STDIN_FILENO) != 0;
  const bool shown_on_terminal = ::isatty(STDOUT_FILENO) != 0;
  std::unique_ptr<line_editor> editor;
  std::FILE* display = shown_on_terminal ? stdout : stderr;
  if (typed) editor = std::make_unique<line_editor>("user > ", display);
  piped_lines piped(stdin);
  input_warnings warning(tr("standard input"));
  input_line_t line;
  std::int64_t number = 0;
  int status = exit_done;
  bool journal_said = false;
  const auto next_line = [&] {
    lock.let_readers_in();
    const bool got = editor ? editor->next(line) : piped.next(line);
    lock.keep_readers_out();
    return got;
  };
  while (next_line()) {
    warning.check(line, ++number);
    const std::optional<exchange> e = submit_line(s, line.text);
    report_journal(s, journal_said);
    if (!e) continue;
    const std::u16string reply = shown_on_terminal ? terminal_safe(e->reply) : e->reply;
    if (!write_out((typed ? "hagi > " : "") + utf16_to_utf8(reply) + "\n")) {
      const int error = errno;
      // A reader that went away (`| head -1`) ends the session like the end of input, and so
      // does a terminal that hung up (the signal has arrived).
      if (error != EPIPE && !interrupted()) {
        say(formatted(tr("standard output: %s"), error_text(error, tr("write failed")).c_str()));
        status = exit_failure;
      }
      break;
    }
  }
  if (typed && !interrupted()) {
    std::fputc('\n', display);
    std::fflush(display);
  }
  return status;
}

struct learn_result {
  std::int64_t learned = 0;    // non-empty lines learned
  std::int64_t last_line = 0;  // number of the last line read
  double seconds = 0;
  int read_error = 0;  // errno of a failed read
};

learn_result learn_lines(session& s, learn_source& source) {
  const bool bar_shown = ::isatty(STDERR_FILENO) != 0;
  progress_bar bar(stderr, source.size);
  piped_lines lines(source.file);
  input_warnings warning(source.name);
  input_line_t line;
  learn_result result;
  const auto start = std::chrono::steady_clock::now();
  bool journal_said = false;
  while (lines.next(line)) {
    warning.check(line, ++result.last_line);
    if (learn_text_line(s, line.text)) ++result.learned;
    report_journal(s, journal_said);
    if (bar_shown) bar.update(lines.bytes_read(), result.learned);
  }
  sync_journal(s);
  if (bar_shown) bar.finish();
  result.read_error = lines.read_error();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

std::string learn_summary(const learn_result& r) {
  // English says "lines" for one too, as it always has.
  return formatted(
      trn("learned %lld lines in %.1f s (%.0f lines/s)",
          "learned %lld lines in %.1f s (%.0f lines/s)", static_cast<unsigned long>(r.learned)),
      static_cast<long long>(r.learned), r.seconds,
      r.seconds > 0 ? static_cast<double>(r.learned) / r.seconds : 0.0);
}

// Ends the output of --stats or --export: a reader that went away (`| head -1`) ends the
// run quietly, as it ends a chat. REQUIRES: errno was cleared before the output began.
int end_output(std::ostream& out, const std::string& name) {
  out.flush();
  if (out || errno == EPIPE) return exit_done;
  say(name + ": " + error_text(errno, tr("could not be written")));
  return exit_failure;
}

int inspect(const terminal_options& options, const std::filesystem::path& dir) {
  bot b(system_clock_seconds, options.entry_limit);
  load_report report;
  std::ostringstream stats;
  const bool to_terminal = ::isatty(STDOUT_FILENO) != 0;
  {
    // A chat in the folder lets readers in between its turns and saves, never during them.
    folder_lock lock = lock_folder(dir, folder_lock_mode::shared);
    if (lock.status() == folder_lock_status::in_use) {
      say(formatted(tr("waiting for the tsugihagi working in %s to finish its turn or save"),
                    dir.string().c_str()));
      lock = lock_folder(dir, folder_lock_mode::shared, true);
      if (interrupted()) return exit_failure;
    }
    const startup_status status = load_data_files(b, dir, &report);
    report_damage(dir, report);
    if (status != startup_status::ready) {
      report_load_failure(dir, status, report);
      return exit_failure;
    }
    if (options.stats && !options.stats_word) print_stats(b, dir, stats, to_terminal);
  }  // the lock ends before the output, which a slow reader may hold up
  errno = 0;
  if (options.stats) {
    if (options.stats_word) {
      if (!print_companions(b, utf8_to_utf16(*options.stats_word), std::cout, to_terminal)) {
        say(formatted(tr("%s is not a word the bot knows"), quoted(*options.stats_word).c_str()));
        return exit_failure;
      }
    } else {
      std::cout << stats.view();
    }
    return end_output(std::cout, tr("standard output"));
  }
  const std::string& file = *options.export_file;
  if (file == "-") {
    export_state(b, std::cout);
    return end_output(std::cout, tr("standard output"));
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    say(file + ": " + std::strerror(errno));
    return exit_failure;
  }
  export_state(b, out);
  out.close();
  if (!out) {
    say(file + ": " + error_text(errno, tr("could not be written")));
    return exit_failure;
  }
  return exit_done;
}

// Ends a --learn or --forget run: saves unless the session may write nothing (then
// `unsaved` says why), says the summary with the outcome and finishes the session. Returns
// `result`, or exit_failure when the save failed.
int save_and_finish(session& s, std::string summary, const std::string& saved_in,
                    const char* unsaved, int result) {
  if (s.mode == save_mode::never) {
    summary = formatted(tr("%s; %s"), summary.c_str(), unsaved);
  } else {
    if (interrupted()) say(tr("saving…"));
    if (save_state(s)) {
      summary = formatted(tr("%s; saved in %s"), summary.c_str(), saved_in.c_str());
    } else {
      summary = formatted(tr("%s; NOT saved in %s (see above)"), summary.c_str(), saved_in.c_str());
      result = exit_failure;
    }
  }
  say(summary);
  finish_session(s);
  return result;
}

// --forget: lists the words that go (or would go) on standard output, one a line, and the
// counts on standard error; saves unless told not to.
int forget(session& s, const std::string& text, bool dry_run, const std::string& saved_in) {
  const forget_report r = forget_in_session(s, utf8_to_utf16(text), dry_run);
  std::string words;
  for (const std::u16string& word : r.words)
    words += utf16_to_utf8(word) + "\n";
  hold_end_signals();
  int result = write_out(words) ? exit_done : exit_failure;
  const auto word_count = static_cast<unsigned long long>(r.words.size());
  const auto phrase_count = static_cast<unsigned long long>(r.phrases);
  const auto line_count = static_cast<unsigned long long>(r.log_lines);
  const std::string words_n = formatted(trn("%llu word", "%llu words", word_count), word_count);
  const std::string phrases_n =
      formatted(trn("%llu phrase", "%llu phrases", phrase_count), phrase_count);
  const std::string lines_n =
      formatted(trn("%llu log line", "%llu log lines", line_count), line_count);
  const std::string summary =
      formatted(dry_run ? tr("would forget %s, %s and %s holding \"%s\"")
                        : tr("forgot %s, %s and %s holding \"%s\""),
                words_n.c_str(), phrases_n.c_str(), lines_n.c_str(), text.c_str());
  return save_and_finish(s, summary, saved_in,
                         dry_run ? tr("nothing changed (--dry-run)") : tr("not saved (--no-save)"),
                         result);
}

// The folder to work in: --dir, which must exist, or the window's folder, made when missing.
std::optional<std::filesystem::path> working_folder(const terminal_options& options,
                                                    bool may_create) {
  if (options.dir) {
    std::error_code error;
    if (std::filesystem::is_directory(*options.dir, error)) return *options.dir;
    struct stat info {};
    const int failed = ::stat(options.dir->c_str(), &info);
    say("--dir " + options.dir->string() + ": " + std::strerror(failed != 0 ? errno : ENOTDIR));
    return std::nullopt;
  }
  const std::optional<std::filesystem::path> folder = home_folder();
  if (!folder) {
    say(tr("no home folder is known: set HOME or XDG_DATA_HOME, or give --dir"));
    return std::nullopt;
  }
  if (may_create) {
    std::error_code error;
    std::filesystem::create_directories(*folder, error);
    if (error) {
      say(folder->string() + ": " + error.message());
      return std::nullopt;
    }
  }
  return folder;
}

// The leak checker's entry point, present only when a leak checker is linked in (as in a
// build whose core alone is instrumented, like the fuzzing build's).
extern "C" void __lsan_do_leak_check() __attribute__((weak));

// Whether the process checks for leaks at exit. The checker cannot follow the pointers held
// in the pooled word map's blocks, so the session is then freed at the end.
bool leaks_checked() {
  return &__lsan_do_leak_check != nullptr;
}

// The session a run ended: its memory, the whole learned state, is left to the process's
// exit, which gives it back at once, instead of being freed block by block (some tens of
// milliseconds for a large state).
session* ended_session = nullptr;

// Ends the run's session as its destructor would (finish_session), keeping its memory.
struct end_session {
  void operator()(session* s) const {
    finish_session(*s);
    if (leaks_checked()) {
      delete s;
    } else {
      ended_session = s;
    }
  }
};

}  // namespace

int run_terminal(const terminal_options& options) {
  catch_end_signals();
  learn_source source;
  if (options.learn) {
    if (const auto error = open_learn_source(*options.learn, source)) {
      say(formatted(tr("cannot read the file to learn: %s"), error->c_str()));
      return exit_failure;
    }
  }
  const bool inspecting = options.stats || options.export_file;
  const std::optional<std::filesystem::path> folder = working_folder(options, !inspecting);
  if (!folder) return exit_failure;
  const std::filesystem::path& dir = *folder;
  if (inspecting) return inspect(options, dir);

  // One program per folder: a second one would overwrite the first one's learning at its end.
  // The lock is held until this function returns; a folder that cannot be locked (read-only,
  // say) is used unlocked, as the windows do.
  folder_lock lock = lock_folder(dir);
  if (lock.status() == folder_lock_status::in_use) {
    say(formatted(tr("%s is in use by another tsugihagi; nothing was loaded or saved"),
                  dir.string().c_str()));
    return exit_failure;
  }

  // A save that a crash interrupted is finished first: data/ may be in its new place.
  if (const auto failure = recover_data_folder(dir)) {
    say(formatted(tr("an interrupted save could not be finished: %s"), failure->c_str()));
    return exit_failure;
  }
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(dir / "data", error))) {
    if (const auto failure = create_empty_memory(dir)) {
      say(formatted(tr("cannot create an empty memory: %s"), failure->c_str()));
      return exit_failure;
    }
    say(formatted(tr("created %s with five empty files: a new, empty memory"),
                  shown(dir, "data").c_str()));
  }

  clock_fn clock = system_clock_seconds;
  if (options.seed) clock = [seed = *options.seed] { return std::int64_t{seed}; };
  const save_mode mode = !options.save || options.dry_run  ? save_mode::never
                         : options.learn || options.forget ? save_mode::always
                                                           : save_mode::config;
  const std::unique_ptr<session, end_session> run(
      new session(dir, clock, options.entry_limit, mode));
  session& s = *run;
  const startup_status status = start_session(s);
  if (status == startup_status::settings_aborted) {
    say(shown(dir, "config") + ": " + open_failure_reason(dir / "config"));
    return exit_failure;
  }
  report_damage(dir, s.loading);
  if (status != startup_status::ready) {
    report_load_failure(dir, status, s.loading);
    return exit_failure;
  }
  if (s.loading.damaged() && s.mode != save_mode::never) {
    say(tr("the data files as they were found will be kept aside at the first save"));
  }
  report_recovery(s);
  report_unwritable(s);

  const std::string saved_in = shown(dir, "data");
  if (options.forget) return forget(s, *options.forget, options.dry_run, saved_in);
  if (options.learn) {
    const learn_result r = learn_lines(s, source);
    hold_end_signals();
    int result = exit_done;
    if (r.read_error != 0) {
      say(formatted(tr("reading %s after line %lld: %s"), source.name.c_str(),
                    static_cast<long long>(r.last_line), std::strerror(r.read_error)));
      result = exit_failure;
    }
    if (interrupted()) {
      say(formatted(tr("interrupted by %s after line %lld of %s: the lines up to it are learned"),
                    signal_name(interrupting_signal()), static_cast<long long>(r.last_line),
                    source.name.c_str()));
      result = exit_learn_interrupted;
    }
    std::string summary = learn_summary(r);
    return save_and_finish(s, summary, saved_in, tr("not saved (--no-save)"), result);
  }

  if (!options.save) {
    say(tr("--no-save: nothing learned in this session will be saved"));
  } else if (!saving(s)) {
    say(formatted(tr("saving is off (the window's check box \"%s\" is cleared in %s): nothing "
                     "learned in this session will be saved"),
                  utf16_to_utf8(save_checkbox_label).c_str(), shown(dir, "config").c_str()));
  }
  int result = converse(s, lock);
  hold_end_signals();
  if (saving(s)) {
    if (interrupted()) say(tr("saving…"));
    if (!save_state(s)) result = exit_failure;
  }
  finish_session(s);
  return result;
}

}  // namespace tsugihagi
