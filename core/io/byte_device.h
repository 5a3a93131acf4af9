// A raw byte source or sink under a data_stream: a file (one implementation per platform,
// file_device.h) or memory (memory_device.h, for tests and fuzzing). Unbuffered contract;
// implementations may buffer internally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tsugihagi {

class byte_device {
 public:
  virtual ~byte_device() = default;

  // Reads up to n bytes into dst; returns how many were read (fewer at the end or on error).
  virtual std::size_t read(void* dst, std::size_t n) = 0;
  // Writes n bytes; false on any failure (the device may then hold a part of them).
  virtual bool write(const void* src, std::size_t n) = 0;
  // The total size in bytes of a device opened for reading; none when it cannot be taken
  // (a pipe, a device, a failed query), which makes the stream on it a failed open.
  virtual std::optional<std::uint64_t> size() = 0;
  // Pushes buffered writes to the file.
  virtual bool flush() = 0;
  // Pushes buffered writes to the file and makes them durable, keeping the device open.
  virtual bool sync() { return flush(); }
  // Pushes buffered writes to the file and starts making them durable without waiting, so
  // that a later sync or commit waits for less.
  virtual bool start_sync() { return flush(); }
  // Ends a write: makes the written bytes durable and, for a replacing file, puts them in
  // place of the old file. False on failure; the old file is then left as it was.
  virtual bool commit() = 0;
};

}  // namespace tsugihagi
