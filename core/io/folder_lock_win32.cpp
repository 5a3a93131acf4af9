// The folder lock on Windows: LockFileEx on the first byte of the lock file. The file is
// opened with every sharing mode, so only the byte lock excludes; locks of two handles
// conflict even inside one process, as locks of two processes do.
#include <windows.h>

#include "core/io/folder_lock.h"

namespace tsugihagi {
namespace {

HANDLE native(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

void folder_lock::release() {
  if (handle_ != -1) CloseHandle(native(handle_));  // closing the handle drops the lock
  handle_ = -1;
  status_ = folder_lock_status::failed;
}

folder_lock lock_folder(const std::filesystem::path& dir) {
  folder_lock lock;
  const std::filesystem::path path = dir / folder_lock_file_name;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lock;
  OVERLAPPED first_byte{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                  &first_byte)) {
    const DWORD error = GetLastError();
    lock.status_ = error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION
                       ? folder_lock_status::in_use
                       : folder_lock_status::failed;
    CloseHandle(file);
    return lock;
  }
  lock.handle_ = reinterpret_cast<std::intptr_t>(file);
  lock.status_ = folder_lock_status::acquired;
  return lock;
}

}  // namespace tsugihagi
