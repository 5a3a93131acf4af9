// One program per working folder: an exclusive, advisory lock on "tsugihagi.lock" in the
// folder, held from before the first file is read until the owner is destroyed. The lock
// belongs to the open file, so it ends with the process however the process ends (no stale
// lock is left behind); the file itself stays in the folder, empty. flock on POSIX systems
// (folder_lock_posix.cpp), LockFileEx on Windows (folder_lock_win32.cpp); moving and
// destroying the owner are shared (folder_lock.cpp). Taking it costs
// one file open and one system call; it never waits.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tsugihagi {

inline constexpr std::string_view folder_lock_file_name = "tsugihagi.lock";

enum class folder_lock_status {
  acquired,  // this owner holds the folder
  in_use,    // another program (or another owner in this process) holds it
  failed,    // the lock file could not be opened or locked, e.g. a missing or read-only folder
};

// The owner of a folder's lock. Not copyable; moving hands the lock over and leaves the
// source with status failed and nothing held. A default-constructed owner holds nothing.
class folder_lock {
 public:
  folder_lock() = default;
  ~folder_lock();
  folder_lock(folder_lock&& other) noexcept;
  folder_lock& operator=(folder_lock&& other) noexcept;
  folder_lock(const folder_lock&) = delete;
  folder_lock& operator=(const folder_lock&) = delete;

  folder_lock_status status() const { return status_; }
  bool acquired() const { return status_ == folder_lock_status::acquired; }

  // Gives the lock up early (the destructor does the same); the status becomes failed.
  void release();

 private:
  friend folder_lock lock_folder(const std::filesystem::path& dir);

  // A file descriptor on POSIX, a HANDLE on Windows; -1 for none.
  std::intptr_t handle_ = -1;
  folder_lock_status status_ = folder_lock_status::failed;
};

// Creates `dir`/tsugihagi.lock if missing and tries once, without waiting, to lock it
// exclusively; the file stays open only while the lock is held.
folder_lock lock_folder(const std::filesystem::path& dir);

}  // namespace tsugihagi
