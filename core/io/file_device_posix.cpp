// Files on POSIX systems, through stdio. Writes go through a 64 KiB buffer, so that a data
// file of tens of megabytes costs some hundreds of system calls, not tens of thousands; reads
// are unbuffered, since data_stream reads ahead in large blocks itself (a second buffer would
// only copy every byte once more). On Linux the disk writes of a long file start every
// writeback_bytes while it is written, so that the fsync of the commit waits for little more
// than the last few megabytes. Any failed write, flush, writeback or sync leaves the device
// failed for good: stdio drops a buffer it could not write, so bytes written after it would
// make a file with a hole that still commits. Only regular files are data files: a folder, a
// pipe or a device in a data file's place does not open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "core/io/durable_steps.h"
#include "core/io/file_device.h"

namespace tsugihagi {
namespace {

constexpr std::size_t write_buffer_bytes = 64 * 1024;
constexpr std::uint64_t writeback_bytes = 4 * 1024 * 1024;

// A device's FILE is used by one thread only: glibc's unlocked forms skip the lock per call.
#if defined(__GLIBC__)
std::size_t read_file(void* dst, std::size_t n, std::FILE* file) {
  return ::fread_unlocked(dst, 1, n, file);
}
std::size_t write_file(const void* src, std::size_t n, std::FILE* file) {
  return ::fwrite_unlocked(src, 1, n, file);
}
#else
std::size_t read_file(void* dst, std::size_t n, std::FILE* file) {
  return std::fread(dst, 1, n, file);
}
std::size_t write_file(const void* src, std::size_t n, std::FILE* file) {
  return std::fwrite(src, 1, n, file);
}
#endif

class stdio_device : public byte_device {
 public:
  // A failed setvbuf leaves the default buffering, which only costs speed.
  stdio_device(std::FILE* file, bool reading) : file_(file) {
    if (reading) {
      std::setvbuf(file_, nullptr, _IONBF, 0);
    } else {
      std::setvbuf(file_, nullptr, _IOFBF, write_buffer_bytes);
    }
  }
  ~stdio_device() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  stdio_device(const stdio_device&) = delete;
  stdio_device& operator=(const stdio_device&) = delete;

  std::size_t read(void* dst, std::size_t n) override { return read_file(dst, n, file_); }
  bool write(const void* src, std::size_t n) override {
    if (failed_ || file_ == nullptr) return false;
    if (n == 0) return true;
    durable_step("write");
    if (write_file(src, n, file_) != n) return fail();
    written_ += n;
    if (written_ - written_back_ >= writeback_bytes && !start_writeback()) return fail();
    return true;
  }
  std::optional<std::uint64_t> size() override {
    struct stat info {};
    if (::fstat(::fileno(file_), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
  }
  bool flush() override {
    if (failed_ || file_ == nullptr) return false;
    return std::fflush(file_) == 0 || fail();
  }
  bool sync() override {
    if (!flush()) return false;
    durable_step("sync");
    return ::fdatasync(::fileno(file_)) == 0 || fail();
  }
  bool start_sync() override {
    if (failed_ || file_ == nullptr) return false;
    return start_writeback() || fail();
  }
  bool commit() override {
    if (file_ == nullptr) return false;
    bool ok = !failed_ && std::fflush(file_) == 0;
    durable_step("sync");
    ok = ok && ::fsync(::fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!(ok && closed)) fail();
    return ok && closed;
  }

 protected:
  std::FILE* file_;

 private:
  // Marks the device failed for good; returns false.
  bool fail() {
    failed_ = true;
    return false;
  }

  // Hands what was written since the last call to the disk, without waiting for it; false
  // when the bytes could not be handed to the system or the disk writes not started.
  bool start_writeback() {
#if defined(__linux__)
    if (std::fflush(file_) != 0) return false;
    // A system without the call (ENOSYS) only loses the early start; any other failure may
    // have lost bytes already handed to the system.
    if (::sync_file_range(::fileno(file_), static_cast<off_t>(written_back_),
                          static_cast<off_t>(written_ - written_back_),
                          SYNC_FILE_RANGE_WRITE) != 0 &&
        errno != ENOSYS) {
      return false;
    }
#endif
    written_back_ = written_;
    return true;
  }

  std::uint64_t written_ = 0;       // bytes written so far
  std::uint64_t written_back_ = 0;  // of which the disk writes were started
  bool failed_ = false;             // a write, flush, writeback or sync failed
};

// Writes to "<name>.tmp" beside the target and renames it into place on commit.
class replacing_device final : public stdio_device {
 public:
  replacing_device(std::FILE* file, std::filesystem::path target, std::filesystem::path temp)
      : stdio_device(file, false), target_(std::move(target)), temp_(std::move(temp)) {}
  ~replacing_device() override {
    if (!committed_) {
      if (file_ != nullptr) std::fclose(file_);
      file_ = nullptr;
      std::remove(temp_.c_str());
    }
  }
  bool commit() override {
    if (file_ == nullptr) return false;
    if (!stdio_device::commit()) return false;
    durable_step("rename");
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) return false;
    committed_ = true;
    sync_folder();
    return true;
  }

 private:
  // Makes the rename itself durable.
  void sync_folder() const {
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
      durable_step("sync folder");
      ::fsync(fd);
      ::close(fd);
    }
  }

  std::filesystem::path target_;
  std::filesystem::path temp_;
  bool committed_ = false;
};

// Opens `path` with `flags` as a stdio stream in `mode`; null unless it is a regular file.
// O_NONBLOCK keeps a pipe with no writer from blocking the open; it is cleared again.
std::FILE* open_regular(const std::filesystem::path& path, int flags, const char* mode) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace

std::unique_ptr<byte_device> open_file_for_reading(const std::filesystem::path& path) {
  std::FILE* file = open_regular(path, O_RDONLY, "rb");
  if (file == nullptr) return nullptr;
  return std::make_unique<stdio_device>(file, true);
}

std::unique_ptr<byte_device> open_file_for_replacing(const std::filesystem::path& path) {
  // An existing file is replaced only if it could be written in place: one the user made
  // read-only, or something that is not a file, stays as it is. The new file gets the old
  // one's permission bits.
  mode_t permissions = 0666;  // less the umask, for a new file
  bool keep_permissions = false;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    std::FILE* old = open_regular(path, O_WRONLY, "wb");  // no O_TRUNC: nothing changes
    if (old == nullptr) return nullptr;
    std::fclose(old);
    permissions = info.st_mode & 0777;
    keep_permissions = true;
  } else if (errno != ENOENT) {
    return nullptr;
  }
  std::filesystem::path temp = path;
  temp += ".tmp";
  // Whatever a crash or another program left at the temporary name goes first: unlink removes
  // a link or a pipe itself, never what it leads to (a folder stays, and the save fails). The
  // file is then created afresh, so nothing there can be followed, opened or blocked on.
  struct stat leftover {};
  if (::lstat(temp.c_str(), &leftover) == 0) {
    if (S_ISDIR(leftover.st_mode)) return nullptr;
    durable_step("remove");
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT) return nullptr;
  }
  const int fd =
      ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, permissions);
  if (fd < 0) return nullptr;
  // The umask may have cleared some of the old file's bits: set them.
  if (keep_permissions && ::fchmod(fd, permissions) != 0) {
    ::close(fd);
    std::remove(temp.c_str());
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    std::remove(temp.c_str());
    return nullptr;
  }
  return std::make_unique<replacing_device>(file, path, std::move(temp));
}

// A file made by open_file_for_creating: removed again unless committed.
class created_device final : public stdio_device {
 public:
  created_device(std::FILE* file, std::filesystem::path path)
      : stdio_device(file, false), path_(std::move(path)) {}
  ~created_device() override {
    if (committed_) return;
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    durable_step("remove");
    ::unlink(path_.c_str());
  }
  bool commit() override {
    if (file_ == nullptr) return false;
    committed_ = stdio_device::commit();
    return committed_;
  }

 private:
  std::filesystem::path path_;
  bool committed_ = false;
};

std::unique_ptr<byte_device> open_file_for_creating(const std::filesystem::path& path,
                                                    unsigned permissions) {
  durable_step("create");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(permissions & 07777));
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    ::unlink(path.c_str());
    return nullptr;
  }
  return std::make_unique<created_device>(file, path);
}

std::unique_ptr<byte_device> open_file_for_appending(const std::filesystem::path& path,
                                                     std::uint64_t keep) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) < keep) {
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (static_cast<std::uint64_t>(info.st_size) > keep) {
    durable_step("truncate");
    if (::ftruncate(fd, static_cast<off_t>(keep)) != 0 || ::fdatasync(fd) != 0) {
      ::close(fd);
      return nullptr;
    }
  }
  if (::lseek(fd, static_cast<off_t>(keep), SEEK_SET) < 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<stdio_device>(file, false);
}

std::unique_ptr<byte_device> open_file_for_writing(const std::filesystem::path& path) {
  std::FILE* file = open_regular(path, O_WRONLY | O_CREAT | O_TRUNC, "wb");
  if (file == nullptr) return nullptr;
  return std::make_unique<stdio_device>(file, false);
}

}  // namespace tsugihagi
