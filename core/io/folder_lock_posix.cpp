// The folder lock on POSIX systems: flock on an open descriptor of the lock file. Locks of
// two descriptors conflict even inside one process, as locks of two processes do.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "core/io/folder_lock.h"

namespace tsugihagi {

void folder_lock::release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing the file drops the lock
  handle_ = -1;
  status_ = folder_lock_status::failed;
}

folder_lock lock_folder(const std::filesystem::path& dir) {
  folder_lock lock;
  const std::filesystem::path path = dir / folder_lock_file_name;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return lock;
  int result = 0;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    lock.status_ = errno == EWOULDBLOCK ? folder_lock_status::in_use : folder_lock_status::failed;
    ::close(fd);
    return lock;
  }
  lock.handle_ = fd;
  lock.status_ = folder_lock_status::acquired;
  return lock;
}

}  // namespace tsugihagi
