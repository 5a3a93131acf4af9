// Files on POSIX systems, through stdio for buffering.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/io/file_device.h"

namespace tsugihagi {
namespace {

class stdio_device : public byte_device {
 public:
  explicit stdio_device(std::FILE* file) : file_(file) {}
  ~stdio_device() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  stdio_device(const stdio_device&) = delete;
  stdio_device& operator=(const stdio_device&) = delete;

  std::size_t read(void* dst, std::size_t n) override { return std::fread(dst, 1, n, file_); }
  bool write(const void* src, std::size_t n) override {
    return n == 0 || std::fwrite(src, 1, n, file_) == n;
  }
  std::uint64_t size() override {
    const long here = std::ftell(file_);
    if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0) return 0;
    const long end = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
  }
  bool flush() override { return std::fflush(file_) == 0; }
  bool commit() override {
    const bool ok = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok && closed;
  }

 protected:
  std::FILE* file_;
};

// Writes to "<name>.tmp" beside the target and renames it into place on commit.
class replacing_device final : public stdio_device {
 public:
  replacing_device(std::FILE* file, std::filesystem::path target, std::filesystem::path temp)
      : stdio_device(file), target_(std::move(target)), temp_(std::move(temp)) {}
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
      ::fsync(fd);
      ::close(fd);
    }
  }

  std::filesystem::path target_;
  std::filesystem::path temp_;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<byte_device> open_file_for_reading(const std::filesystem::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  return std::make_unique<stdio_device>(file);
}

std::unique_ptr<byte_device> open_file_for_replacing(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) return nullptr;
  return std::make_unique<replacing_device>(file, path, std::move(temp));
}

std::unique_ptr<byte_device> open_file_for_writing(const std::filesystem::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return nullptr;
  return std::make_unique<stdio_device>(file);
}

}  // namespace tsugihagi
