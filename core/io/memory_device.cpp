#include "core/io/memory_device.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tsugihagi {

memory_device::memory_device(std::vector<std::uint8_t> bytes)
    : bytes_(std::move(bytes)), size_(bytes_.size()) {}

memory_device::memory_device(std::vector<std::uint8_t> bytes, std::size_t deliver)
    : bytes_(std::move(bytes)), size_(bytes_.size()) {
  bytes_.resize(std::min(deliver, bytes_.size()));
}

memory_device::memory_device(std::vector<std::uint8_t>* sink, std::size_t fail_after,
                             bool* committed)
    : sink_(sink), fail_after_(fail_after), committed_(committed) {
  if (committed_ != nullptr) *committed_ = false;
}

std::size_t memory_device::read(void* dst, std::size_t n) {
  const std::size_t count = std::min(n, bytes_.size() - position_);
  if (count > 0) std::memcpy(dst, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

bool memory_device::write(const void* src, std::size_t n) {
  if (sink_ == nullptr) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(src);
  const std::size_t room = fail_after_ - std::min(fail_after_, sink_->size());
  const std::size_t count = std::min(n, room);
  sink_->insert(sink_->end(), bytes, bytes + count);
  if (count < n) write_failed_ = true;
  return !write_failed_;
}

bool memory_device::commit() {
  if (write_failed_) return false;
  if (committed_ != nullptr) *committed_ = true;
  return true;
}

}  // namespace tsugihagi
