// One run of the program, shared by every front-end: start-up (settings read, transcript
// opened, data files loaded in their fixed order), conversation turns, and exit (data files
// saved when enabled, transcript closed, "config" written). Front-ends only draw windows.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/app/bot.h"
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

// What loading the five data files found: the file that could not be opened (empty when
// none failed) and the records each reader dropped as damaged, in loading order
// (idiom_hdid, idiomdic, hdid, dic, log).
struct load_report {
  std::filesystem::path failed_file;
  std::array<std::int64_t, 5> dropped{};
};

// The state of one run. Construction reads "config" and opens (truncates) "log.txt" in
// `dir`, as the program does before its window exists. `entry_limit` bounds the word map and
// the idiom set (pruned when they reach it). Not copyable.
// REQUIRES: 1 <= entry_limit <= strmorph::default_entry_limit.
struct session {
  explicit session(std::filesystem::path dir, clock_fn clock = system_clock_seconds,
                   std::int32_t entry_limit = strmorph::default_entry_limit);
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
};

// Loads "data/idiom_hdid.data", "data/idiomdic.data", "data/hdid.data", "data/dic.data" and
// then "data/log.data", stopping at the first that cannot be opened.
// REQUIRES: called once, on a fresh session.
startup_status start_session(session& s);

// The five data files of a bot under `dir`/data, in their fixed order. Loading stops at the
// first file that cannot be opened; `report`, when given, records it and the damage found.
// REQUIRES for loading: a freshly constructed bot.
startup_status load_data_files(bot& b, const std::filesystem::path& dir,
                               load_report* report = nullptr);
// Returns whether every file was replaced; a file whose save failed keeps its old content.
bool save_data_files(const bot& b, const std::filesystem::path& dir);

// One submitted line and its answer.
struct exchange {
  std::u16string line;   // what was learned from: cut at a NUL and to 1022 units
  std::u16string reply;  // the bot's answer
  // The output box's text: "user > ", line, "\r\nhagi > ", reply.
  std::u16string output_text() const;
};

// The user pressed Enter on `box_text`: runs the turn, appends the record to "log.txt" and
// returns the exchange, or nothing (no turn, no record) when the cut line is empty.
// REQUIRES: start_session returned ready.
std::optional<exchange> submit_line(session& s, std::u16string_view box_text);

// The check box was clicked: save_on_exit becomes 1 if it was 0, else 0.
void toggle_save_on_exit(session& s);
bool save_on_exit(const session& s);

// The window is being destroyed: writes the five data files when save_on_exit is set and the
// files were loaded. Errors are not reported; a failed save leaves the previous files intact.
void save_learned_state(session& s);

// Process exit: closes "log.txt" and writes "config". Runs once; later calls do nothing.
void finish_session(session& s);

}  // namespace tsugihagi
