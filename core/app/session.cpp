#include "core/app/session.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>

#include "core/app/conversation_turn.h"
#include "core/dict/dictionary_files.h"
#include "core/io/durable_steps.h"
#include "core/io/file_set.h"
#include "core/io/side_job.h"
#include "core/memory/learning.h"

namespace tsugihagi {
namespace {

namespace fs = std::filesystem;

fs::path data_file(const fs::path& dir, const char* name) {
  return dir / "data" / name;
}

fs::path journal_path(const fs::path& dir) {
  return data_file(dir, journal_file_name);
}

file_set data_set(const fs::path& dir) {
  std::vector<std::string> owned(data_file_names.begin(), data_file_names.end());
  owned.emplace_back(journal_file_name);
  return file_set(dir / "data", std::move(owned));
}

// "data.damaged-YYYYMMDD-HHMMSS" beside data/, at local time `seconds`, made unique.
fs::path damaged_copy_path(const fs::path& dir, std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  fs::path path = dir / (std::string("data.damaged-") + stamp);
  std::error_code ignored;
  for (int n = 2; fs::exists(fs::symlink_status(path, ignored)); ++n)
    path = dir / (std::string("data.damaged-") + stamp + "-" + std::to_string(n));
  return path;
}

// Copies the set as it was found aside; an error text when it could not.
std::optional<std::string> copy_damaged_set(session& s) {
  const fs::path copy = damaged_copy_path(s.dir, s.state.clock());
  std::error_code error;
  durable_step("mkdir");
  fs::create_directory(copy, error);
  for (const char* name : data_file_names) {
    if (error) break;
    const fs::path file = data_file(s.dir, name);
    if (!fs::exists(file, error)) continue;
    durable_step("write");
    fs::copy_file(file, copy / name, error);
  }
  if (error) return copy.string() + ": " + error.message();
  s.damaged_copy = copy;
  s.damage_pending = false;
  return std::nullopt;
}

// The set and memory agree from here on: a new journal starts from this generator state.
void mark_set_current(session& s) {
  s.set_current = true;
  s.journal_start = s.state.rng;
  s.pending.clear();
}

// Opens the journal when saving is on, writing the lines kept in memory while it was off.
// Returns whether the coming line can be journaled.
bool journal_ready(session& s) {
  if (!s.set_current) return false;
  if (!saving(s)) return true;  // kept in `pending`
  if (s.journal.is_open()) return true;
  bool ok = s.journal.start(journal_path(s.dir), s.journal_start);
  for (const journal_entry& e : s.pending) {
    if (!ok) break;
    ok = s.journal.append(e, false);
  }
  ok = ok && s.journal.sync();
  if (!ok) {
    s.journal_error = journal_path(s.dir).string() + " could not be written";
    s.set_current = false;
    return false;
  }
  s.pending.clear();
  s.last_sync = std::chrono::steady_clock::now();
  return true;
}

// Records a learned line; checkpoints when the journal has grown long.
void journal_line(session& s, journal_entry entry, bool journaled, bool sync_now) {
  if (!journaled) {
    s.set_current = false;
    return;
  }
  if (!saving(s)) {
    s.pending.push_back(std::move(entry));
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  sync_now = sync_now || now - s.last_sync >= s.sync_interval;
  if (!s.journal.append(entry, sync_now)) {
    s.journal_error = journal_path(s.dir).string() + " could not be written";
    s.set_current = false;
    return;
  }
  if (sync_now) s.last_sync = now;
  if (s.journal.records() >= s.checkpoint_turns) save_session(s);
}

}  // namespace

bool load_report::damaged() const {
  return std::any_of(dropped.begin(), dropped.end(), [](std::int64_t n) { return n > 0; });
}

session::session(fs::path working_dir, clock_fn clock, std::int32_t entry_limit, save_mode m,
                 bool keep_transcript)
    : dir(std::move(working_dir)), state(std::move(clock), entry_limit), mode(m) {
  load_settings(config, dir / "config");
  if (keep_transcript) record = transcript::open(dir / "log.txt");
}

session::~session() {
  finish_session(*this);
}

std::optional<std::string> create_empty_memory(const fs::path& dir) {
  std::error_code error;
  durable_step("mkdir");
  fs::create_directory(dir / "data", error);
  if (error) return (dir / "data").string() + ": " + error.message();
  for (const char* name : data_file_names) {
    data_stream file = open_create(data_file(dir, name), 0644);
    if (!file.close()) return data_file(dir, name).string() + ": could not be created";
  }
  return std::nullopt;
}

std::optional<std::string> recover_data_folder(const fs::path& dir) {
  file_set set = data_set(dir);
  if (set.recover()) return std::nullopt;
  return set.error();
}

startup_status load_data_files(bot& b, const fs::path& dir, load_report* report) {
  load_report ignored;
  load_report& r = report != nullptr ? *report : ignored;
  strmorph::dropped_counts dropped{};
  bool read_error = false;
  const auto failed = strmorph::load_dictionary(b.dic, dir / "data", &dropped, &read_error);
  std::copy(dropped.begin(), dropped.end(), r.dropped.begin());
  if (failed) {
    r.failed_file = data_file(dir, strmorph::file_name(*failed));
    r.read_failed = read_error;
    return startup_status::dictionary_failed;
  }
  if (!load_log(b.log, data_file(dir, "log.data"), &r.dropped[4], &read_error)) {
    r.failed_file = data_file(dir, "log.data");
    r.read_failed = read_error;
    return startup_status::log_failed;
  }
  if (const std::optional<journal_contents> journal = read_journal(journal_path(dir))) {
    replay_journal(b, *journal);
    r.replayed = static_cast<std::int64_t>(journal->entries.size());
    r.journal_start = journal->start;
    r.journal_bytes = journal->valid_bytes;
  }
  return startup_status::ready;
}

namespace {

// Whether the file at `path` is exactly what save_settings would write.
bool holds_settings(const settings& config, const fs::path& path) {
  data_stream in = open_read(path);
  if (in.failed() || in.file_size() != 1) return false;
  std::uint8_t byte = 0;
  in.read_bytes(&byte, 1);
  return !in.failed() && byte == config.save_on_exit;
}

}  // namespace

bool save_data_files(const bot& b, const fs::path& dir, std::string* error,
                     std::size_t parallel_min_words) {
  file_set set = data_set(dir);
  // Each file's failure, in data_file_names order: empty while it did not fail.
  std::array<std::string, data_file_names.size()> failures;
  // Notes file i's failure; returns false.
  const auto failed = [&](std::size_t i) {
    const int reason = errno;
    failures[i] = (set.live() / data_file_names[i]).string() + ": " +
                  (reason != 0 ? std::generic_category().message(reason) : "could not be written");
    return false;
  };
  // Writes file i into `stream` and starts its disk writes.
  const auto write_file = [&](std::size_t i, data_stream& stream) {
    errno = 0;
    stream = set.create(data_file_names[i]);
    if (i < strmorph::dictionary_file_order.size()) {
      strmorph::write_dictionary_file(b.dic, strmorph::dictionary_file_order[i], stream);
    } else {
      write_log(b.log, stream);
    }
    return stream.start_sync() || failed(i);
  };
  // Writes the files given, in order, up to the first that fails, and then closes them, which
  // makes them durable: every file's disk writes start before the first close waits for its
  // own, so that the files become durable together (on Linux, each close's wait for the disk
  // then finds most of the work done by the closes before it).
  const auto write_files = [&](std::initializer_list<std::size_t> files) {
    std::array<data_stream, data_file_names.size()> streams;
    bool ok = true;
    for (const std::size_t i : files) {
      if (ok) ok = write_file(i, streams[i]);
    }
    for (const std::size_t i : files) {
      errno = 0;
      if (!ok) {
        streams[i].fail();  // dropped unclosed: the set is abandoned
      } else if (!streams[i].close()) {
        ok = failed(i);
      }
    }
    return ok;
  };
  constexpr std::size_t dic = 3;
  bool ok = set.begin();
  std::string failure = ok ? std::string() : set.error();
  if (ok && b.dic.wordmap.size() >= parallel_min_words) {
    // dic.data, most of the bytes, on this thread; the four others on a second one.
    bool others_ok = false;
    tsugihagi::run_beside(
        [&] {
          others_ok = write_files({0, 1, 2, 4});
        },
        [&] { ok = write_files({dic}); });
    ok = ok && others_ok;
  } else if (ok) {
    ok = write_files({0, 1, 2, dic, 4});
  }
  // The first file in order that failed is the one reported, as one by one.
  for (const std::string& f : failures) {
    if (failure.empty()) failure = f;
  }
  if (ok && !set.commit()) {
    ok = false;
    failure = set.error();
  }
  if (!ok) {
    set.abandon();
    if (error != nullptr) *error = failure;
  }
  return ok;
}

std::optional<std::u16string_view> startup_message(startup_status status) {
  switch (status) {
    case startup_status::dictionary_failed:
      return dictionary_failed_message;
    case startup_status::log_failed:
      return log_failed_message;
    case startup_status::ready:
    case startup_status::settings_aborted:
      break;
  }
  return std::nullopt;
}

startup_status start_session(session& s) {
  if (s.config.settings_abort) return startup_status::settings_aborted;
  if (std::optional<std::string> error = recover_data_folder(s.dir)) {
    s.loading.recovery_error = std::move(*error);
    s.loading.failed_file = s.dir / "data";
    return startup_status::dictionary_failed;
  }
  const startup_status status = load_data_files(s.state, s.dir, &s.loading);
  s.loaded = status == startup_status::ready;
  if (!s.loaded) return status;
  s.damage_pending = s.loading.damaged();
  if (s.mode == save_mode::never) return status;  // nothing is journaled or written
  s.set_current = true;
  if (s.loading.journal_start) {
    // The generator before the replay: the journal's lines extend the set from there.
    s.journal_start = *s.loading.journal_start;
    if (!save_session(s)) {
      // The lines stay in the journal, which goes on after them.
      if (s.journal.resume(journal_path(s.dir), s.loading.journal_bytes)) {
        s.journal.set_records(s.loading.replayed);
      } else {
        s.set_current = false;
      }
    }
  } else {
    mark_set_current(s);
    std::error_code ignored;
    if (fs::exists(journal_path(s.dir), ignored)) {
      durable_step("remove");  // begun by a crash before it held anything
      fs::remove(journal_path(s.dir), ignored);
    }
  }
  return status;
}

std::u16string exchange::output_text() const {
  std::u16string text = u"user > ";
  text += line;
  text += u"\r\nhagi > ";
  text += reply;
  return text;
}

std::optional<exchange> submit_line(session& s, std::u16string_view box_text) {
  const std::u16string_view line = cut_line(box_text);
  if (line.empty()) return std::nullopt;
  const bool journaled = journal_ready(s);
  journal_entry entry{journal_kind::converse, std::nullopt, std::u16string(line)};
  if (!s.state.rng.seeded) {
    entry.seed = static_cast<std::uint32_t>(s.state.clock());
    seed_random(s.state.rng, *entry.seed);
  }
  std::optional<std::u16string> reply = converse(s.state, box_text);
  exchange e{std::move(entry.line), std::move(*reply)};
  entry.line = e.line;
  journal_line(s, std::move(entry), journaled, true);
  s.record.append_exchange(e.line, e.reply);
  return e;
}

bool learn_text_line(session& s, std::u16string_view text) {
  const std::u16string_view line = cut_line(text);
  if (line.empty()) return false;
  const bool journaled = journal_ready(s);
  learn_line(s.state.dic, s.state.log, s.state.patterns, line);
  journal_line(s, {journal_kind::learn, std::nullopt, std::u16string(line)}, journaled, false);
  return true;
}

forget_report forget_in_session(session& s, std::u16string_view text, bool dry_run) {
  if (dry_run) return forget_text(s.state, text, true);
  const bool journaled = journal_ready(s);
  forget_report report = forget_text(s.state, text);
  journal_line(s, {journal_kind::forget, std::nullopt, std::u16string(text)}, journaled, true);
  return report;
}

void sync_journal(session& s) {
  if (s.journal.is_open() && !s.journal.sync()) {
    s.journal_error = journal_path(s.dir).string() + " could not be written";
    s.set_current = false;
  }
  s.last_sync = std::chrono::steady_clock::now();
}

void toggle_save_on_exit(session& s) {
  s.config.save_on_exit = s.config.save_on_exit == 0 ? 1 : 0;
  if (!s.loaded || s.mode != save_mode::config || !s.set_current) return;
  if (save_on_exit(s)) {
    if (!s.pending.empty()) journal_ready(s);
    return;
  }
  // Off: the journal's lines move to memory and the file goes.
  if (!s.journal.is_open()) return;
  s.journal.close();
  std::optional<journal_contents> journal = read_journal(journal_path(s.dir));
  if (!journal) {
    s.set_current = false;
    return;
  }
  s.pending = std::move(journal->entries);
  std::error_code ignored;
  durable_step("remove");
  fs::remove(journal_path(s.dir), ignored);
}

bool save_on_exit(const session& s) {
  return s.config.save_on_exit != 0;
}

bool saving(const session& s) {
  if (!s.loaded) return false;
  switch (s.mode) {
    case save_mode::always:
      return true;
    case save_mode::never:
      return false;
    case save_mode::config:
      break;
  }
  return save_on_exit(s);
}

bool save_session(session& s) {
  if (!s.loaded || s.mode == save_mode::never) return false;
  const bool had_journal = s.journal.is_open();
  const std::uint64_t journal_bytes = s.journal.size();
  const std::int64_t journal_records = s.journal.records();
  s.journal.close();  // a folder with an open file cannot be renamed everywhere
  s.save_error.clear();
  if (s.damage_pending) {
    if (std::optional<std::string> error = copy_damaged_set(s)) s.save_error = *error;
  }
  if (s.save_error.empty() && save_data_files(s.state, s.dir, &s.save_error)) {
    mark_set_current(s);
    s.journal_error.clear();
    return true;
  }
  if (had_journal) {
    if (s.journal.resume(journal_path(s.dir), journal_bytes)) {
      s.journal.set_records(journal_records);
    } else {
      s.set_current = false;
    }
  }
  return false;
}

bool save_learned_state(session& s) {
  if (!saving(s)) return true;
  return save_session(s);
}

void finish_session(session& s) {
  if (s.finished) return;
  s.finished = true;
  s.journal.close();
  s.record.close();
  // Rewriting the file costs two waits for the disk; one that holds the byte already stays.
  if (!holds_settings(s.config, s.dir / "config")) save_settings(s.config, s.dir / "config");
}

}  // namespace tsugihagi
