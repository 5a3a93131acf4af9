// The swap's platform steps on POSIX systems: renameat2 exchanges on Linux; a folder's
// entries become durable through fsync on the folder itself.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/io/durable_steps.h"
#include "core/io/file_set.h"

namespace tsugihagi::file_set_platform {

bool exchange(const std::filesystem::path& a, const std::filesystem::path& b,
              std::error_code& error, bool& unsupported) {
  unsupported = false;
#if defined(__linux__) && defined(RENAME_EXCHANGE)
  durable_step("exchange");
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  error = std::error_code(errno, std::generic_category());
  unsupported = errno == EINVAL || errno == ENOSYS || errno == ENOTSUP;
  return false;
#else
  (void)a;
  (void)b;
  error = std::make_error_code(std::errc::function_not_supported);
  unsupported = true;
  return false;
#endif
}

bool replaceable(const std::filesystem::path& file, std::error_code& error) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = std::error_code(errno, std::generic_category());
    return false;
  }
  ::close(fd);
  return true;
}

bool sync_folder(const std::filesystem::path& folder, std::error_code& error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = std::error_code(errno, std::generic_category());
    return false;
  }
  durable_step("sync folder");
  const bool synced = ::fsync(fd) == 0;
  if (!synced) error = std::error_code(errno, std::generic_category());
  ::close(fd);
  return synced;
}

}  // namespace tsugihagi::file_set_platform
