// Steps shared by the loader fuzz targets: a read stream over the fuzzer's bytes, writing
// the loaded state back to memory, a save-load-save check, and conversation turns on the
// loaded state so that damage the reader let through is touched by learning and replies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/app/bot.h"
#include "core/app/conversation_turn.h"
#include "core/dict/dictionary_files.h"
#include "core/io/data_stream.h"
#include "core/io/memory_device.h"
#include "core/memory/conversation_log.h"

namespace tsugihagi::fuzz {

using bytes = std::vector<std::uint8_t>;

inline data_stream reader(const bytes& content) {
  return data_stream(std::make_unique<memory_device>(content), data_stream::mode::read);
}

inline data_stream reader(const std::uint8_t* data, std::size_t size) {
  return reader(bytes(data, data + size));
}

// What `write(stream)` puts into a memory device.
template <typename Writer>
bytes written(Writer write) {
  bytes sink;
  data_stream s(std::make_unique<memory_device>(&sink, SIZE_MAX), data_stream::mode::write);
  write(s);
  if (!s.close()) {
    std::fprintf(stderr, "writing to memory failed\n");
    std::abort();
  }
  return sink;
}

// The four dictionary files, as the program saves them, in their order.
using dic_files = std::array<bytes, strmorph::dictionary_file_order.size()>;

inline dic_files save_dic_files(const strmorph::dic_t& d) {
  dic_files files;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const strmorph::dictionary_file f = strmorph::dictionary_file_order[i];
    files[i] = written([&](data_stream& s) { strmorph::write_dictionary_file(d, f, s); });
  }
  return files;
}

// REQUIRES: d freshly constructed.
inline void load_dic_files(strmorph::dic_t& d, const dic_files& files) {
  strmorph::read_dictionary(
      d, [&](strmorph::dictionary_file f) { return reader(files[static_cast<std::size_t>(f)]); });
}

inline void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// Saving, loading the saved files and saving again must give the same bytes: whatever a
// damaged file held, what the program writes is a fixed point of its reader.
inline void check_round_trip(const bot& b) {
  const dic_files first = save_dic_files(b.dic);
  strmorph::dic_t reloaded;
  load_dic_files(reloaded, first);
  if (save_dic_files(reloaded) != first) fail("dictionary files change after save and load");

  const bytes log_file = written([&](data_stream& s) { write_log(b.log, s); });
  conversation_log log;
  data_stream s = reader(log_file);
  read_log(log, s);
  if (written([&](data_stream& t) { write_log(log, t); }) != log_file)
    fail("log file changes after save and load");
}

// Lines learnt here are kept short: learning a line costs time quadratic in its length, and
// a fuzzer needs many runs per second.
inline constexpr std::size_t max_probe_units = 48;

inline std::u16string shortened(std::u16string line) {
  if (line.size() > max_probe_units) line.resize(max_probe_units);
  return line;
}

// A line made of the loaded words: the first and the last few entries of the word map, so
// that segmenting it finds loaded words and learning updates their lists.
inline std::u16string line_of_loaded_words(const strmorph::dic_t& d) {
  std::u16string line;
  int taken = 0;
  for (auto it = d.wordmap.begin(); it != d.wordmap.end() && taken < 4; ++it, ++taken)
    line += it->first.text().substr(0, 8);
  taken = 0;
  for (auto it = d.wordmap.rbegin(); it != d.wordmap.rend() && taken < 4; ++it, ++taken)
    line += it->first.text().substr(0, 8);
  return shortened(std::move(line));
}

// A few turns on the loaded state, then pruning as a full dictionary would, saving and the
// round trip check again.
inline void exercise(bot& b) {
  check_round_trip(b);
  const std::u16string from_words = line_of_loaded_words(b.dic);
  const std::u16string from_log =
      b.log.line_count() > 0 ? shortened(b.log.line_texts[0].text) : std::u16string();
  converse(b, u"今日はいい天気ですね。");
  converse(b, from_words);
  converse(b, from_log);
  converse(b, shortened(from_words + u"、" + from_log));
  converse(b, u"今日はいい天気ですね。");
  check_round_trip(b);
  strmorph::prune_idioms(b.dic);
  strmorph::prune_words(b.dic);
  converse(b, from_words);
  check_round_trip(b);
}

}  // namespace tsugihagi::fuzz
