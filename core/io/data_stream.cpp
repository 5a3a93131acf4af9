#include "core/io/data_stream.h"

#include <cstring>
#include <utility>

#include "core/io/file_device.h"

namespace tsugihagi {

data_stream::data_stream(std::unique_ptr<byte_device> device, mode m)
    : device_(std::move(device)), mode_(m), failed_(device_ == nullptr) {
  if (device_ == nullptr || mode_ != mode::read) return;
  const std::optional<std::uint64_t> size = device_->size();
  if (!size) {
    device_.reset();
    failed_ = true;
    return;
  }
  size_ = *size;
}

data_stream& data_stream::operator=(data_stream&& other) noexcept {
  if (this != &other) {
    close();
    device_ = std::move(other.device_);
    mode_ = other.mode_;
    failed_ = other.failed_;
    size_ = other.size_;
    position_ = other.position_;
  }
  return *this;
}

void data_stream::read_bytes(void* dst, std::size_t n) {
  if (n == 0) return;
  if (failed_ || mode_ != mode::read) {
    failed_ = true;
    return;
  }
  const std::size_t got = device_->read(dst, n);
  position_ += got;
  if (got < n) failed_ = true;
}

void data_stream::write_bytes(const void* src, std::size_t n) {
  if (failed_ || mode_ != mode::write) {
    failed_ = true;
    return;
  }
  if (!device_->write(src, n)) failed_ = true;
}

bool data_stream::close() {
  if (device_ == nullptr) return false;
  bool committed = false;
  if (mode_ == mode::write && !failed_) committed = device_->commit();
  device_.reset();
  failed_ = true;
  return committed;
}

data_stream open_read(const std::filesystem::path& path) {
  return data_stream(open_file_for_reading(path), data_stream::mode::read);
}

data_stream open_write(const std::filesystem::path& path) {
  return data_stream(open_file_for_replacing(path), data_stream::mode::write);
}

}  // namespace tsugihagi
