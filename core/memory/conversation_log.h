// The memory of what the user said: the last lines, newest first, each as text and as the
// word ids it was split into. Adding a line is O(1) and never moves the other entries.
// Saved as "data/log.data"; loading and saving cost time in proportion to the file.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "core/io/data_stream.h"
#include "core/memory/id_screen.h"
#include "core/memory/lcsubsequence.h"
#include "core/memory/substring_index.h"

namespace tsugihagi {

inline constexpr std::size_t log_capacity = 511;  // add_line keeps at most this many lines

struct text_entry {
  std::u16string text;  // without the terminating NUL (std::u16string keeps one)
  // Names this text for word discovery's index: entries with the same serial hold the same
  // text, so a line's text is never changed in place. 0: not indexed.
  std::uint64_t serial = 0;
  std::int32_t length() const { return static_cast<std::int32_t>(text.size()); }
};

struct word_entry {
  std::vector<std::int32_t> ids;  // word ids in line order, as segmented
  bool used = false;              // a phrase reply has drawn on this line; not saved
  // 1 + the dictionary's removed_words when every id was seen live (0: not seen so): while
  // no word is removed they all stay live, and the line needs no filtering.
  std::uint64_t all_live_since = 0;
  // While screen_known, `screen` is id_screen(ids): pattern learning sets both for the newest
  // line each time it runs and for an older line the first time it screens it, so code that
  // changes the ids of an older line must clear screen_known. Not saved.
  id_screen screen;
  bool screen_known = false;
  std::int32_t count() const { return static_cast<std::int32_t>(ids.size()); }
};

struct conversation_log {
  std::deque<text_entry> line_texts;  // [0] is the newest line
  std::deque<word_entry> line_words;  // parallel to line_texts
  block_index finder;                 // word discovery's index of the older lines
  lcsubsequence<std::int32_t, std::int32_t> matcher;

  std::size_t line_count() const { return line_texts.size(); }
};

// A serial not handed out before in this process (never 0).
std::uint64_t new_line_serial();

// Puts the line (up to its first NUL) at the front with no words, after dropping the oldest
// lines until log_capacity - 1 remain when log_capacity or more are held (a log read from a
// file may hold more). O(1) but for the lines dropped.
void add_line(conversation_log& log, std::u16string_view text);

// Reads the records of "data/log.data" from the stream, stopping at the first field that
// fails or is impossible and keeping the records read so far. `dropped`, when given, grows by
// the number of log lines the file announces in its count and that were not read; a count
// that cannot be one (negative, or cut short in a file of under four bytes) counts as one
// line. A damaged count makes this the number it claims.
void read_log(conversation_log& log, data_stream& s, std::int64_t* dropped = nullptr);
void write_log(const conversation_log& log, data_stream& s);

// Reads the log from `s` (see read_log). False when the stream has failed already (its file
// could not be opened) or meets a read error (data_stream::read_error: the bytes read are
// not the whole file); the log and `dropped` are then left as they were. `read_error`, when
// given, is set to whether the load failed with a read error.
bool load_log(conversation_log& log, data_stream& s, std::int64_t* dropped = nullptr,
              bool* read_error = nullptr);
// The same from the file at `path`.
bool load_log(conversation_log& log, const std::filesystem::path& path,
              std::int64_t* dropped = nullptr, bool* read_error = nullptr);
// Replaces the file; returns whether it was written (callers may ignore it).
bool save_log(const conversation_log& log, const std::filesystem::path& path);

}  // namespace tsugihagi
