#include "frontends/cli/data_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "frontends/cli/translation.h"

namespace tsugihagi {

std::string shown(const std::filesystem::path& dir, const std::filesystem::path& relative) {
  if (dir == ".") return relative.string();
  return (dir / relative).string();
}

std::optional<std::string> write_failure_reason(const std::filesystem::path& folder) {
  const std::filesystem::path probe =
      folder / (".tsugihagi-write-check." + std::to_string(::getpid()));
  int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST && ::unlink(probe.c_str()) == 0)  // left by a crash
    fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return std::string(std::strerror(errno));
  ::close(fd);
  if (::unlink(probe.c_str()) != 0) return std::string(std::strerror(errno));
  return std::nullopt;
}

std::string open_failure_reason(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return tr("could not be opened");
}

std::string error_text(int error, const char* fallback) {
  return error == 0 ? std::string(fallback) : std::string(std::strerror(error));
}

}  // namespace tsugihagi
