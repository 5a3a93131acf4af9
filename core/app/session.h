// One run of the program, shared by every front-end: start-up (settings read, transcript
// opened, an interrupted save finished, data files loaded in their fixed order, the journal
// replayed), conversation turns, and exit (data files saved when enabled, transcript closed,
// "config" written). Front-ends only draw windows.
//
// Nothing learned is lost. The five data files are always replaced together, as one set
// (file_set.h). While saving is on, every learned line goes to the journal of the set
// (journal.h) before its reply is shown; the journal holds what replaying needs, and a start
// replays it. The invariant, kept by every operation here while `set_current` holds:
//   the saved set, then the journal (on disk when open, else `pending` in memory) replayed
//   on it from `journal_start`, give exactly the state in memory.
// A set save (at exit, and a checkpoint after checkpoint_turns journaled lines) starts over
// with an empty journal. Chat turns are synced one by one; taught lines every 100 ms.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/bot.h"
#include "core/app/forgetting.h"
#include "core/app/journal.h"
#include "core/app/settings.h"
#include "core/app/transcript.h"
#include "core/app/user_texts.h"

namespace tsugihagi {

enum class startup_status {
  ready,              // every file loaded: run the conversation
  settings_aborted,   // "config" could not be opened: end silently
  dictionary_failed,  // show dictionary_failed_message and end
  log_failed,         // show log_failed_message and end
};

// The message a front-end shows before ending for `status`: dictionary_failed_message or
// log_failed_message, or nothing for ready and settings_aborted (which ends silently).
std::optional<std::u16string_view> startup_message(startup_status status);

// The five data files in data/, in the order they are loaded and saved.
inline constexpr std::array<const char*, 5> data_file_names{"idiom_hdid.data", "idiomdic.data",
                                                            "hdid.data", "dic.data", "log.data"};

// When a session saves: as the window's check box ("config") says, always (teaching from a
// file), or never (nothing is written to data/).
enum class save_mode { config, always, never };

// Journaled lines after which a set save starts the journal over: replaying them after a
// crash takes a few seconds at most.
inline constexpr std::int64_t default_checkpoint_turns = 10000;

// What loading the five data files found: the file that could not be opened or read whole
// (empty when none failed; `read_failed` when it opened but a read failed or it ended before
// its size), the records each reader dropped as damaged, in loading order (idiom_hdid,
// idiomdic, hdid, dic, log), and the turns replayed from the journal.
struct load_report {
  std::filesystem::path failed_file;
  bool read_failed = false;
  std::array<std::int64_t, 5> dropped{};
  std::int64_t replayed = 0;
  // Where the journal replayed began: the generator then, and the length of its readable part.
  std::optional<random_source> journal_start;
  std::uint64_t journal_bytes = 0;
  std::string recovery_error;  // an interrupted save that could not be finished
  bool damaged() const;
};

// The state of one run. Construction reads "config" and opens (truncates) "log.txt" in
// `dir`, as the program does before its window exists (unless `keep_transcript` is false).
// `entry_limit` bounds the word map and the idiom set (pruned when they reach it). Not copyable.
// REQUIRES: 1 <= entry_limit <= strmorph::default_entry_limit.
struct session {
  explicit session(std::filesystem::path dir, clock_fn clock = system_clock_seconds,
                   std::int32_t entry_limit = strmorph::default_entry_limit,
                   save_mode mode = save_mode::config, bool keep_transcript = true);
  ~session();  // runs finish_session when the front-end has not
  session(const session&) = delete;
  session& operator=(const session&) = delete;

  std::filesystem::path dir;
  bot state;
  settings config;
  transcript record;
  bool loaded = false;    // start_session returned ready
  load_report loading;    // filled by start_session
  bool finished = false;  // finish_session has run

  save_mode mode;
  std::int64_t checkpoint_turns = default_checkpoint_turns;
  // Taught lines are synced when this much time has passed since the last sync.
  std::chrono::milliseconds sync_interval{100};
  // Whether the saved set plus the journal hold everything learned (see the invariant).
  bool set_current = false;
  random_source journal_start;         // the generator when the set was saved or loaded
  journal_writer journal;              // open while saving is on and a line was journaled
  std::vector<journal_entry> pending;  // the journal while saving is off
  std::chrono::steady_clock::time_point last_sync{};
  std::string journal_error;  // why journaling stopped (a failed write); empty while it works
  std::string save_error;     // why the last save failed; empty after a success
  // A set that loaded with damage is copied aside before the first save replaces it.
  bool damage_pending = false;
  std::filesystem::path damaged_copy;  // where it was copied, once it was
};

// Creates `dir`/data with the five data files, empty: a new, empty memory. Returns an error
// text, or nothing on success. REQUIRES: nothing exists at `dir`/data.
std::optional<std::string> create_empty_memory(const std::filesystem::path& dir);

// Finishes or undoes a set save that a crash interrupted in `dir`/data, so that data/ holds
// one whole set. Returns an error text when it could not.
std::optional<std::string> recover_data_folder(const std::filesystem::path& dir);

// Finishes an interrupted save, loads "data/idiom_hdid.data", "data/idiomdic.data",
// "data/hdid.data", "data/dic.data" and then "data/log.data", stopping at the first that
// cannot be opened or read, and replays the journal. When it replayed lines and the mode
// allows saving, saves the set at once, which makes them part of it.
// REQUIRES: called once, on a fresh session.
startup_status start_session(session& s);

// The five data files of a bot under `dir`/data, in their fixed order, then the journal
// replayed on them (changing no file). Loading stops at the first file that cannot be opened
// or read; `report`, when given, records it, the damage found and the lines replayed.
// REQUIRES for loading: a freshly constructed bot.
startup_status load_data_files(bot& b, const std::filesystem::path& dir,
                               load_report* report = nullptr);
// Replaces the five data files under `dir`/data as one set (dropping any journal). Returns
// whether it did; otherwise the old set stays and `error`, when given, says why (the first
// file in order that failed). A dictionary of `parallel_min_words` words or more has its
// dic.data written on this thread while a second one writes the four other files, each
// with its sync: the same bytes, in about the time of dic.data alone.
inline constexpr std::size_t parallel_save_min_words = 4096;
bool save_data_files(const bot& b, const std::filesystem::path& dir, std::string* error = nullptr,
                     std::size_t parallel_min_words = parallel_save_min_words);

// One submitted line and its answer.
struct exchange {
  std::u16string line;   // what was learned from: cut at a NUL and to 1022 units
  std::u16string reply;  // the bot's answer
  // The output box's text: "user > ", line, "\r\nhagi > ", reply.
  std::u16string output_text() const;
};

// The user pressed Enter on `box_text`: runs the turn, journals it, appends the record to
// "log.txt" and returns the exchange, or nothing (no turn, no record) when the cut line is
// empty. REQUIRES: start_session returned ready.
std::optional<exchange> submit_line(session& s, std::u16string_view box_text);

// Learns the line cut from `text` without answering, journaled like a turn; returns whether
// there was a line to learn. REQUIRES: start_session returned ready.
bool learn_text_line(session& s, std::u16string_view text);

// The check box was clicked: save_on_exit becomes 1 if it was 0, else 0. Turning it off
// drops the journal from disk (its lines are kept in memory); turning it on writes them to a
// new journal, so the journal is always consistent with the saved set.
void toggle_save_on_exit(session& s);
bool save_on_exit(const session& s);
// Whether this session saves at its end: loaded, and the mode (or the check box) says so.
bool saving(const session& s);

// A set save now, whatever the mode but never: the journal starts over. Returns whether it
// saved; otherwise s.save_error says why and the journal goes on.
bool save_session(session& s);

// Forgets what holds `text` (forgetting.h), journaled like a turn; with `dry_run` only says
// what would go. REQUIRES: start_session returned ready; 1 <= text.size() <= max_line_units.
forget_report forget_in_session(session& s, std::u16string_view text, bool dry_run);

// Makes every journaled line durable (the end of a burst of taught lines).
void sync_journal(session& s);

// The window is being destroyed: saves the set when the session saves (see `saving`) and the
// files were loaded. Returns false when that save failed (the previous set stays intact, and
// so does the journal, which the next start replays).
bool save_learned_state(session& s);

// Process exit: closes "log.txt" and writes "config". Runs once; later calls do nothing.
void finish_session(session& s);

}  // namespace tsugihagi
