#include "core/io/folder_lock.h"

namespace tsugihagi {

folder_lock::~folder_lock() {
  release();
}

folder_lock::folder_lock(folder_lock&& other) noexcept
    : handle_(other.handle_), status_(other.status_) {
  other.handle_ = -1;
  other.status_ = folder_lock_status::failed;
}

folder_lock& folder_lock::operator=(folder_lock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = other.handle_;
    status_ = other.status_;
    other.handle_ = -1;
    other.status_ = folder_lock_status::failed;
  }
  return *this;
}

}  // namespace tsugihagi
