#include "core/memory/conversation_log.h"

#include <algorithm>
#include <atomic>

#include "core/io/primitives.h"

namespace tsugihagi {

std::uint64_t new_line_serial() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

void add_line(conversation_log& log, std::u16string_view text) {
  // A log read from a file may hold more lines than the capacity: it is cut back too.
  while (log.line_texts.size() >= log_capacity) {
    log.line_texts.pop_back();
    log.line_words.pop_back();
  }
  const std::size_t nul = text.find(u'\0');
  log.line_texts.push_front({std::u16string(text.substr(0, nul)), new_line_serial()});
  log.line_words.push_front({});
}

void read_log(conversation_log& log, data_stream& s, std::int64_t* dropped) {
  if (s.file_size() <= 4) {
    // No line is read from so short a file; its count still says how many are lost.
    if (dropped == nullptr || s.file_size() == 0) return;
    if (s.file_size() < 4) {
      ++*dropped;
      return;
    }
    const std::int32_t n = read_i32(s);
    if (!s.failed()) *dropped += n < 0 ? 1 : n;
    return;
  }
  const std::int32_t n = read_i32(s);
  if (s.failed()) return;
  if (n < 0 && dropped != nullptr) ++*dropped;
  std::u16string text;
  std::vector<std::int32_t> ids;
  for (std::int32_t i = 0; i < n; ++i) {
    read_wide_counted(s, text);
    if (!s.failed()) read_i32_array(s, ids);
    if (s.failed()) {
      if (dropped != nullptr) *dropped += n - i;  // the announced records not read
      return;
    }
    text.resize(std::min(text.size(), text.find(u'\0')));
    log.line_texts.push_back({std::move(text), new_line_serial()});
    word_entry& words = log.line_words.emplace_back();
    words.ids = std::move(ids);
    text.clear();
    ids.clear();
  }
}

void write_log(const conversation_log& log, data_stream& s) {
  write_i32(s, static_cast<std::int32_t>(log.line_texts.size()));
  for (std::size_t i = 0; i < log.line_texts.size(); ++i) {
    write_wide_counted(s, log.line_texts[i].text);
    const std::vector<std::int32_t>& ids = log.line_words[i].ids;
    write_i32_array(s, ids.data(), ids.size());
  }
}

bool load_log(conversation_log& log, data_stream& s, std::int64_t* dropped, bool* read_error) {
  if (read_error != nullptr) *read_error = false;
  if (s.failed()) return false;
  const std::size_t lines_before = log.line_count();
  std::int64_t log_dropped = 0;
  read_log(log, s, &log_dropped);
  if (s.read_error()) {
    if (read_error != nullptr) *read_error = true;
    log.line_texts.resize(lines_before);
    log.line_words.resize(lines_before);
    return false;
  }
  if (dropped != nullptr) *dropped += log_dropped;
  return true;
}

bool load_log(conversation_log& log, const std::filesystem::path& path, std::int64_t* dropped,
              bool* read_error) {
  data_stream s = open_read(path);
  return load_log(log, s, dropped, read_error);
}

bool save_log(const conversation_log& log, const std::filesystem::path& path) {
  data_stream s = open_write(path);
  write_log(log, s);
  return s.close();
}

}  // namespace tsugihagi
