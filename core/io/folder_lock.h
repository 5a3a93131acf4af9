// One program per working folder, and readers that never see a set in the middle of a save:
// advisory locks on two bytes of "tsugihagi.lock" in the folder. The owner byte is held
// exclusively by the one program that works in the folder, from before the first file is read
// until the owner is destroyed. The set byte is held exclusively by that program while it may
// write the data files, and shared by readers (--stats, --export) while they load them; the
// owner lets readers in while it waits for its user. The locks belong to the open file, so
// they end with the process however the process ends (no stale lock is left behind); the file
// itself stays in the folder, empty. Open-file-description locks (fcntl F_OFD_SETLK) on
// POSIX systems (folder_lock_posix.cpp), LockFileEx on Windows (folder_lock_win32.cpp);
// moving and destroying the owner are shared (folder_lock.cpp). Taking a lock costs one file
// open and one or two system calls; only the waits named below wait.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tsugihagi {

inline constexpr std::string_view folder_lock_file_name = "tsugihagi.lock";

enum class folder_lock_mode {
  exclusive,  // the one program that works in the folder: owner byte and set byte
  shared,     // a reader of the data files: the set byte, beside other readers
};

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

  // An exclusive owner lets readers in (gives up the set byte) while it writes nothing, and
  // keeps them out again before it writes, waiting for the readers inside to finish their
  // load. Both do nothing for an owner that holds nothing (a folder that could not be locked).
  // REQUIRES: taken in folder_lock_mode::exclusive; calls alternate, starting with let.
  void let_readers_in();
  void keep_readers_out();

 private:
  friend folder_lock lock_folder(const std::filesystem::path& dir, folder_lock_mode mode,
                                 bool wait);

  // A file descriptor on POSIX, a HANDLE on Windows; -1 for none.
  std::intptr_t handle_ = -1;
  folder_lock_status status_ = folder_lock_status::failed;
};

// Locks `dir`/tsugihagi.lock; the file stays open only while the lock is held. An owner
// creates the file when it is missing. A reader creates nothing: it opens an existing file
// (read-only when it cannot write it), and without one (no owner ever ran in the folder, or
// one is only now starting) it gets status failed and reads unlocked.
// Exclusive: tries the owner byte once (in_use when another owner holds it), then waits for
// the readers inside to finish their load. Shared: tries the set byte once (in_use while an
// owner keeps readers out) or, with `wait`, waits until the owner lets readers in; a signal
// that interrupts the wait ends it with in_use.
folder_lock lock_folder(const std::filesystem::path& dir,
                        folder_lock_mode mode = folder_lock_mode::exclusive, bool wait = false);

}  // namespace tsugihagi
