// The folder lock on POSIX systems: open-file-description locks (fcntl F_OFD_SETLK) on bytes
// of the lock file. Like flock they belong to the open file, so locks of two descriptors
// conflict even inside one process, as locks of two processes do; unlike flock they lock
// byte ranges, and the owner and set bytes are locked apart.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/io/folder_lock.h"

namespace tsugihagi {
namespace {

constexpr off_t owner_byte = 0;
constexpr off_t set_byte = 1;

// 0 when the byte was locked (or unlocked), else the errno of the refusal. `wait` waits for
// a conflicting lock to go; an interrupted wait is tried again when `retry_interrupted`.
int lock_byte(int fd, off_t byte, short type, bool wait, bool retry_interrupted) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = byte;
  range.l_len = 1;
  for (;;) {
    if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) == 0) return 0;
    if (errno != EINTR || !retry_interrupted) return errno;
  }
}

bool refused(int error) {
  return error == EAGAIN || error == EACCES || error == EINTR;
}

}  // namespace

void folder_lock::release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing the file drops the locks
  handle_ = -1;
  status_ = folder_lock_status::failed;
}

void folder_lock::let_readers_in() {
  if (handle_ >= 0) lock_byte(static_cast<int>(handle_), set_byte, F_UNLCK, false, true);
}

void folder_lock::keep_readers_out() {
  if (handle_ >= 0) lock_byte(static_cast<int>(handle_), set_byte, F_WRLCK, true, true);
}

folder_lock lock_folder(const std::filesystem::path& dir, folder_lock_mode mode, bool wait) {
  folder_lock lock;
  const std::filesystem::path path = dir / folder_lock_file_name;
  const bool shared = mode == folder_lock_mode::shared;
  int fd = ::open(path.c_str(), O_RDWR | (shared ? 0 : O_CREAT) | O_CLOEXEC, 0644);
  if (fd < 0 && shared && errno != ENOENT) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return lock;
  const int error = shared ? lock_byte(fd, set_byte, F_RDLCK, wait, false)
                           : lock_byte(fd, owner_byte, F_WRLCK, false, true);
  if (error == 0 && !shared) lock_byte(fd, set_byte, F_WRLCK, true, true);
  if (error != 0) {
    lock.status_ = refused(error) ? folder_lock_status::in_use : folder_lock_status::failed;
    ::close(fd);
    return lock;
  }
  lock.handle_ = fd;
  lock.status_ = folder_lock_status::acquired;
  return lock;
}

}  // namespace tsugihagi
