// Files on Windows: CreateFileW with UTF-16 paths, buffered in memory. A replacing write goes
// to "<name>.tmp" beside the target and, once flushed to disk, takes the target's place with
// ReplaceFileW (which keeps the old file's attributes and access rights), or with MoveFileExW
// when there was no old file. A failed write or flush leaves the device failed for good: the
// bytes after a lost block must not make a file that commits.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/io/durable_steps.h"
#include "core/io/file_device.h"

namespace tsugihagi {
namespace {

constexpr std::size_t buffer_size = 64 * 1024;
// Other programs (and our own readers) may read, write, rename or delete an open file.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class win32_file final : public byte_device {
 public:
  // `temporary` is empty for a plain file; for a replacing write it names the file being
  // written and `target` the file it replaces on commit.
  // With `temporary` given and `target` empty, the device is a created file: `temporary`
  // names it, and it is removed unless committed.
  win32_file(HANDLE handle, std::wstring temporary = {}, std::wstring target = {},
             bool target_exists = false)
      : handle_(handle),
        temporary_(std::move(temporary)),
        target_(std::move(target)),
        target_exists_(target_exists) {}

  ~win32_file() override {
    if (handle_ != INVALID_HANDLE_VALUE) {
      if (temporary_.empty()) write_out();  // closing a plain file keeps what was written
      CloseHandle(handle_);
    }
    if (!temporary_.empty() && !committed_) {
      durable_step("remove");
      DeleteFileW(temporary_.c_str());
    }
  }

  win32_file(const win32_file&) = delete;
  win32_file& operator=(const win32_file&) = delete;

  std::size_t read(void* dst, std::size_t n) override {
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t done = 0;
    while (done < n) {
      if (read_pos_ == read_buffer_.size()) {
        if (!fill()) break;
      }
      const std::size_t take = std::min(n - done, read_buffer_.size() - read_pos_);
      std::memcpy(out + done, read_buffer_.data() + read_pos_, take);
      read_pos_ += take;
      done += take;
    }
    return done;
  }

  bool write(const void* src, std::size_t n) override {
    if (failed_ || handle_ == INVALID_HANDLE_VALUE) return false;
    const auto* in = static_cast<const unsigned char*>(src);
    if (write_buffer_.size() + n > buffer_size && !write_out()) return false;
    if (n >= buffer_size) return write_all(in, n);
    write_buffer_.insert(write_buffer_.end(), in, in + n);
    return true;
  }

  std::optional<std::uint64_t> size() override {
    LARGE_INTEGER size{};
    if (handle_ == INVALID_HANDLE_VALUE || GetFileType(handle_) != FILE_TYPE_DISK ||
        !GetFileSizeEx(handle_, &size) || size.QuadPart < 0) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  bool flush() override { return write_out(); }

  bool sync() override {
    if (handle_ == INVALID_HANDLE_VALUE || !write_out()) return false;
    durable_step("sync");
    if (FlushFileBuffers(handle_) == 0) failed_ = true;
    return !failed_;
  }

  bool commit() override {
    if (handle_ == INVALID_HANDLE_VALUE) return committed_;
    bool ok = write_out();
    durable_step("sync");
    ok = ok && FlushFileBuffers(handle_) != 0;
    if (!ok) failed_ = true;
    if (temporary_.empty()) return ok;
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (target_.empty()) {
      committed_ = ok;
      return ok;
    }
    durable_step("rename");
    ok = ok && put_in_place();
    committed_ = ok;  // on failure the destructor removes the temporary file
    return ok;
  }

 private:
  // Puts the temporary file in place of the target. ReplaceFileW leaves both files as they
  // were when it cannot start; a plain move is then the fallback.
  bool put_in_place() {
    if (target_exists_ && ReplaceFileW(target_.c_str(), temporary_.c_str(), nullptr,
                                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return true;
    }
    return MoveFileExW(temporary_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }

  // Refills the read buffer; false at the end of the file or on an error.
  bool fill() {
    read_buffer_.resize(buffer_size);
    read_pos_ = 0;
    DWORD got = 0;
    if (handle_ == INVALID_HANDLE_VALUE ||
        !ReadFile(handle_, read_buffer_.data(), static_cast<DWORD>(buffer_size), &got, nullptr)) {
      got = 0;
    }
    read_buffer_.resize(got);
    return got > 0;
  }

  bool write_all(const unsigned char* src, std::size_t n) {
    durable_step("write");
    while (n > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
      DWORD wrote = 0;
      if (!WriteFile(handle_, src, chunk, &wrote, nullptr) || wrote == 0) {
        failed_ = true;
        return false;
      }
      src += wrote;
      n -= wrote;
    }
    return true;
  }

  // Writes the buffered bytes to the file.
  bool write_out() {
    if (failed_) return false;
    if (write_buffer_.empty()) return true;
    const bool ok = write_all(write_buffer_.data(), write_buffer_.size());
    write_buffer_.clear();
    return ok;
  }

  HANDLE handle_;
  std::wstring temporary_;
  std::wstring target_;
  bool target_exists_ = false;
  std::vector<unsigned char> read_buffer_;
  std::vector<unsigned char> write_buffer_;
  std::size_t read_pos_ = 0;
  bool failed_ = false;
  bool committed_ = false;
};

HANDLE create(const std::wstring& path, DWORD access, DWORD disposition) {
  return CreateFileW(path.c_str(), access, share_all, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace

std::unique_ptr<byte_device> open_file_for_reading(const std::filesystem::path& path) {
  const HANDLE handle = create(path.native(), GENERIC_READ, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<win32_file>(handle);
}

std::unique_ptr<byte_device> open_file_for_replacing(const std::filesystem::path& path) {
  // An existing file is replaced only if it could be written in place: a read-only file or a
  // folder stays as it is.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return nullptr;
  } else {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return nullptr;
    const HANDLE old = create(path.native(), GENERIC_WRITE, OPEN_EXISTING);
    if (old == INVALID_HANDLE_VALUE) return nullptr;
    CloseHandle(old);
  }
  // Whatever is left at the temporary name goes first (DeleteFileW removes a link itself, and
  // fails on a folder, which fails the save); the file is then created afresh.
  std::wstring temporary = path.native() + L".tmp";
  if (GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES) {
    durable_step("remove");
    if (!DeleteFileW(temporary.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return nullptr;
  }
  const HANDLE handle = create(temporary, GENERIC_WRITE, CREATE_NEW);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<win32_file>(handle, std::move(temporary), path.native(), exists);
}

std::unique_ptr<byte_device> open_file_for_creating(const std::filesystem::path& path,
                                                    unsigned /*permissions*/) {
  durable_step("create");
  // CREATE_NEW fails on anything at the name, a link included.
  const HANDLE handle = create(path.native(), GENERIC_WRITE, CREATE_NEW);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<win32_file>(handle, path.native());
}

std::unique_ptr<byte_device> open_file_for_appending(const std::filesystem::path& path,
                                                     std::uint64_t keep) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return nullptr;
  }
  const HANDLE handle = create(path.native(), GENERIC_WRITE, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size{};
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(keep);
  bool ok = GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) &&
            static_cast<std::uint64_t>(size.QuadPart) >= keep &&
            SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  if (ok && static_cast<std::uint64_t>(size.QuadPart) > keep) {
    durable_step("truncate");
    ok = SetEndOfFile(handle) && FlushFileBuffers(handle);
  }
  if (!ok) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<win32_file>(handle);
}

std::unique_ptr<byte_device> open_file_for_writing(const std::filesystem::path& path) {
  const HANDLE handle = create(path.native(), GENERIC_WRITE, CREATE_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<win32_file>(handle);
}

}  // namespace tsugihagi
