// Byte devices in memory, for tests and fuzzing: a readable buffer, which can be told to
// deliver only its first bytes while its size counts them all (a read error, a file cut
// short while it is read), and a writable one that can be told to fail after a number of
// bytes (a full disk, a pulled cable). Reads and writes cost a copy.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/io/byte_device.h"

namespace tsugihagi {

class memory_device final : public byte_device {
 public:
  // A device to read `bytes` from.
  explicit memory_device(std::vector<std::uint8_t> bytes = {});
  // A device to read `bytes` from whose reads end after the first `deliver` of them, while
  // size() still counts them all.
  memory_device(std::vector<std::uint8_t> bytes, std::size_t deliver);
  // A device to write into `*sink`; writes beyond `fail_after` bytes in all fail (the bytes
  // up to the limit are kept, as a disk would keep them). Commit copies nothing: the sink
  // receives bytes as they are written, and `*committed` is set on success.
  memory_device(std::vector<std::uint8_t>* sink, std::size_t fail_after, bool* committed = nullptr);

  std::size_t read(void* dst, std::size_t n) override;
  bool write(const void* src, std::size_t n) override;
  std::optional<std::uint64_t> size() override { return size_; }
  bool flush() override { return !write_failed_; }
  bool commit() override;

 private:
  std::vector<std::uint8_t> bytes_;  // the bytes reads deliver
  std::size_t size_ = 0;             // what size() reports
  std::size_t position_ = 0;
  std::vector<std::uint8_t>* sink_ = nullptr;
  std::size_t fail_after_ = std::numeric_limits<std::size_t>::max();
  bool* committed_ = nullptr;
  bool write_failed_ = false;
};

}  // namespace tsugihagi
