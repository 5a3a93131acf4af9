// A byte stream on one data file, open for one load or one save. A stream enters a failed
// state on the first short read or failed write and stays failed: reads then deliver
// nothing, writes do nothing. A short read is either the end of the data (a field that runs
// past the size taken at open: a damaged record at the end) or a read error (the device
// delivered fewer bytes than that size said were there: an I/O error, or a file cut short
// while it was read); read_error() tells them apart. A write stream replaces its file only when it
// closes without having failed, so a save never leaves a half-written file behind. A read stream
// reads ahead from its device in blocks of read_ahead_bytes (allocated at the first read), so that
// reading a small field costs a copy from memory, not a call into the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/io/byte_device.h"

namespace tsugihagi {

class data_stream {
 public:
  enum class mode { read, write };

  data_stream() = default;  // failed, bound to nothing
  // Wraps a device; a null device, or a read device whose size cannot be taken, gives a
  // failed stream.
  data_stream(std::unique_ptr<byte_device> device, mode m);
  data_stream(data_stream&& other) noexcept;
  data_stream& operator=(data_stream&&) noexcept;
  data_stream(const data_stream&) = delete;
  data_stream& operator=(const data_stream&) = delete;
  ~data_stream() { close(); }

  // Reads `n` bytes; when fewer remain it delivers those and the stream fails.
  void read_bytes(void* dst, std::size_t n) {
    if (n <= static_cast<std::size_t>(end_ - next_)) {
      if (n > 0) std::memcpy(dst, next_, n);
      next_ += n;
      position_ += n;
      return;
    }
    read_through(dst, n);
  }
  void write_bytes(const void* src, std::size_t n);
  bool failed() const { return failed_; }
  // Whether the stream failed because its device ended before the size taken at open: the
  // bytes read are not the whole file, so a loader must not take them for it. Sticky; implies
  // failed(). A field running past that size, or a decoder's fail(), is not a read error.
  bool read_error() const { return read_error_; }
  // Enters the failed state: a decoder met data the writer cannot have produced.
  void fail() {
    failed_ = true;
    next_ = end_;
  }
  // The size of the file being read, in bytes.
  std::uint64_t file_size() const { return size_; }
  // Bytes left to read: decoders check counts against it before allocating. Zero once more
  // has been read than the size taken at open (the file grew meanwhile).
  std::uint64_t remaining() const { return position_ < size_ ? size_ - position_ : 0; }
  // Makes what a write stream wrote so far durable, keeping it open; a failure fails the
  // stream. Returns whether the stream has not failed.
  bool sync();
  // Hands what a write stream wrote so far to the system and starts the disk writes without
  // waiting for them, keeping it open: several files written before any is closed then
  // become durable together, in fewer waits for the disk than one after another. A failure
  // fails the stream. Returns whether the stream has not failed.
  bool start_sync();
  // Ends the stream. For a write stream that has not failed this puts the written bytes in
  // place of the file; returns whether it did. Later calls do nothing and return false.
  bool close();

 private:
  static constexpr std::size_t read_ahead_bytes = 64 * 1024;
  // read_bytes when the bytes read ahead do not hold all `n`.
  void read_through(void* dst, std::size_t n);
  // Fails the stream after a device read delivered fewer bytes than a field needed; a read
  // error when the field's bytes so far end before the size taken at open.
  void fail_short_read();

  std::unique_ptr<byte_device> device_;
  mode mode_ = mode::read;
  bool failed_ = true;
  bool read_error_ = false;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;  // bytes delivered to readers
  // Bytes read from the device and not yet delivered: [next_, end_) inside read_ahead_;
  // empty while the stream is failed.
  std::unique_ptr<std::uint8_t[]> read_ahead_;
  const std::uint8_t* next_ = nullptr;
  const std::uint8_t* end_ = nullptr;
};

// A stream reading `path` from its first byte; failed when the file cannot be opened.
data_stream open_read(const std::filesystem::path& path);
// A stream that replaces `path` when closed; failed when the file cannot be created.
data_stream open_write(const std::filesystem::path& path);
// A stream on a new file `path`, created exclusively (see open_file_for_creating); closing it
// makes the file durable. Failed when anything exists at `path`.
data_stream open_create(const std::filesystem::path& path, unsigned permissions = 0666);
// A stream appending to `path` after its first `keep` bytes (see open_file_for_appending).
data_stream open_append(const std::filesystem::path& path, std::uint64_t keep);

}  // namespace tsugihagi
