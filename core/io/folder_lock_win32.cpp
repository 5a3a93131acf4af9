// The folder lock on Windows: LockFileEx on bytes of the lock file. The file is opened with
// every sharing mode, so only the byte locks exclude; locks of two handles conflict even
// inside one process, as locks of two processes do.
#include <windows.h>

#include "core/io/folder_lock.h"

namespace tsugihagi {
namespace {

constexpr DWORD owner_byte = 0;
constexpr DWORD set_byte = 1;

HANDLE native(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// Locks one byte; `flags` as LockFileEx takes them. Returns 0 or the system's error.
DWORD lock_byte(HANDLE file, DWORD byte, DWORD flags) {
  OVERLAPPED at{};
  at.Offset = byte;
  return LockFileEx(file, flags, 0, 1, 0, &at) ? 0 : GetLastError();
}

}  // namespace

void folder_lock::release() {
  if (handle_ != -1) CloseHandle(native(handle_));  // closing the handle drops the locks
  handle_ = -1;
  status_ = folder_lock_status::failed;
}

void folder_lock::let_readers_in() {
  if (handle_ == -1) return;
  OVERLAPPED at{};
  at.Offset = set_byte;
  UnlockFileEx(native(handle_), 0, 1, 0, &at);
}

void folder_lock::keep_readers_out() {
  if (handle_ != -1) lock_byte(native(handle_), set_byte, LOCKFILE_EXCLUSIVE_LOCK);
}

folder_lock lock_folder(const std::filesystem::path& dir, folder_lock_mode mode, bool wait) {
  folder_lock lock;
  const std::filesystem::path path = dir / folder_lock_file_name;
  const bool shared = mode == folder_lock_mode::shared;
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, sharing, nullptr,
                            shared ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && shared && GetLastError() != ERROR_FILE_NOT_FOUND) {
    file = CreateFileW(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return lock;
  const DWORD error =
      shared ? lock_byte(file, set_byte, wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY)
             : lock_byte(file, owner_byte, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY);
  if (error == 0 && !shared) lock_byte(file, set_byte, LOCKFILE_EXCLUSIVE_LOCK);
  if (error != 0) {
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
