// Helpers shared by the tests: memory streams, temporary working folders, file access and
// the paths of the shared reference data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/io/data_stream.h"

namespace tsugihagi::testing {

using bytes = std::vector<std::uint8_t>;

// A write stream into `sink` that fails once `fail_after` bytes have been written.
data_stream memory_writer(bytes& sink, std::size_t fail_after = SIZE_MAX);
data_stream memory_reader(bytes content);

// Writes with `write` into memory and returns the bytes.
template <typename Writer>
bytes written_by(Writer write) {
  bytes sink;
  data_stream s = memory_writer(sink);
  write(s);
  s.close();
  return sink;
}

// A fresh empty folder under the system's temporary folder, removed on destruction.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Creates `dir`/data with the five data files, empty.
void make_empty_data(const std::filesystem::path& dir);

bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const bytes& content);

// Every string over `alphabet` of length 1..max_length, shorter ones first.
std::vector<std::u16string> all_strings(std::u16string_view alphabet, std::size_t max_length);

// UTF-8 <-> UTF-16 for test texts.
std::u16string u16(std::string_view utf8);
std::string u8(std::u16string_view utf16);

// The shared reference data: ../shared beside the repository, or TSUGIHAGI_SHARED_DIR.
// Throws, failing the test with a message naming the folder, when it or its corpus/ or
// golden/ folder is missing.
std::filesystem::path shared_dir();
// The first `count` lines of the Japanese corpus, as UTF-16. Throws when the corpus cannot
// be read or holds fewer lines.
std::vector<std::u16string> corpus_lines(std::size_t count);

#ifndef _WIN32
// Runs `check` as a user without privileges, so that file permissions apply: directly when
// the tests already run as one, else (as root) in a child process that has switched to the
// user "nobody". The files it touches must be reachable by that user. Returns `check`'s
// result; false when the child could not switch.
bool as_unprivileged_user(const std::function<bool()>& check);
#endif

}  // namespace tsugihagi::testing
