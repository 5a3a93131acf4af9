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

data_stream::data_stream(data_stream&& other) noexcept
    : device_(std::move(other.device_)),
      mode_(other.mode_),
      failed_(other.failed_),
      read_error_(other.read_error_),
      size_(other.size_),
      position_(other.position_),
      read_ahead_(std::move(other.read_ahead_)),
      next_(other.next_),
      end_(other.end_) {
  other.failed_ = true;
  other.next_ = other.end_ = nullptr;
}

data_stream& data_stream::operator=(data_stream&& other) noexcept {
  if (this != &other) {
    close();
    device_ = std::move(other.device_);
    mode_ = other.mode_;
    failed_ = other.failed_;
    read_error_ = other.read_error_;
    size_ = other.size_;
    position_ = other.position_;
    read_ahead_ = std::move(other.read_ahead_);
    next_ = other.next_;
    end_ = other.end_;
    other.failed_ = true;
    other.next_ = other.end_ = nullptr;
  }
  return *this;
}

void data_stream::read_through(void* dst, std::size_t n) {
  if (failed_ || mode_ != mode::read) {
    fail();
    return;
  }
  auto* out = static_cast<std::uint8_t*>(dst);
  const auto held = static_cast<std::size_t>(end_ - next_);
  if (held > 0) std::memcpy(out, next_, held);
  out += held;
  n -= held;
  position_ += held;
  next_ = end_;
  if (n >= read_ahead_bytes) {  // a long field goes straight to its place
    const std::size_t got = device_->read(out, n);
    position_ += got;
    if (got < n) fail_short_read();
    return;
  }
  if (read_ahead_ == nullptr)
    read_ahead_ = std::make_unique_for_overwrite<std::uint8_t[]>(read_ahead_bytes);
  const std::size_t got = device_->read(read_ahead_.get(), read_ahead_bytes);
  next_ = read_ahead_.get();
  end_ = next_ + got;
  const std::size_t take = got < n ? got : n;
  if (take > 0) std::memcpy(out, next_, take);
  next_ += take;
  position_ += take;
  if (take < n) fail_short_read();
}

void data_stream::fail_short_read() {
  // The device's read delivers fewer bytes only at its end or on an error; every byte before
  // the size taken at open should have been there.
  if (position_ < size_) read_error_ = true;
  fail();
}

void data_stream::write_bytes(const void* src, std::size_t n) {
  if (failed_ || mode_ != mode::write) {
    failed_ = true;
    return;
  }
  if (!device_->write(src, n)) failed_ = true;
}

bool data_stream::sync() {
  if (failed_ || mode_ != mode::write) return false;
  if (!device_->sync()) failed_ = true;
  return !failed_;
}

bool data_stream::start_sync() {
  if (failed_ || mode_ != mode::write) return false;
  if (!device_->start_sync()) failed_ = true;
  return !failed_;
}

bool data_stream::close() {
  if (device_ == nullptr) return false;
  bool committed = false;
  if (mode_ == mode::write && !failed_) committed = device_->commit();
  device_.reset();
  fail();
  return committed;
}

data_stream open_read(const std::filesystem::path& path) {
  return data_stream(open_file_for_reading(path), data_stream::mode::read);
}

data_stream open_write(const std::filesystem::path& path) {
  return data_stream(open_file_for_replacing(path), data_stream::mode::write);
}

}  // namespace tsugihagi

namespace tsugihagi {

data_stream open_create(const std::filesystem::path& path, unsigned permissions) {
  return data_stream(open_file_for_creating(path, permissions), data_stream::mode::write);
}

data_stream open_append(const std::filesystem::path& path, std::uint64_t keep) {
  return data_stream(open_file_for_appending(path, keep), data_stream::mode::write);
}

}  // namespace tsugihagi
