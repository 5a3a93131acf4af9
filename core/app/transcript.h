// The transcript "log.txt": every exchange in code page 932 with CR LF line ends, truncated
// at start-up. Each record is flushed when complete, so a crash loses at most the record
// being written. Conversion costs O(length) per record.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "core/io/byte_device.h"

namespace tsugihagi {

class transcript {
 public:
  transcript() = default;  // closed: records go nowhere
  explicit transcript(std::unique_ptr<byte_device> device);
  transcript(const transcript&) = delete;
  transcript& operator=(const transcript&) = delete;
  transcript(transcript&&) = default;
  transcript& operator=(transcript&&) = default;

  // Creates or truncates the file; a transcript that cannot be opened drops every record.
  static transcript open(const std::filesystem::path& path);

  // Appends "user > " line "\nhagi > " reply "\n", each "\n" stored as CR LF.
  void append_exchange(std::u16string_view line, std::u16string_view reply);
  void close();
  bool is_open() const { return device_ != nullptr; }

 private:
  std::unique_ptr<byte_device> device_;
};

}  // namespace tsugihagi
