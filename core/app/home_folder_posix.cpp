#include "core/app/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace tsugihagi {

std::optional<std::filesystem::path> home_folder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::filesystem::path(xdg) / "tsugihagi";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* user = ::getpwuid(::getuid());
    if (user == nullptr || user->pw_dir == nullptr || user->pw_dir[0] == '\0') return std::nullopt;
    home = user->pw_dir;
  }
  return std::filesystem::path(home) / ".local" / "share" / "tsugihagi";
}

}  // namespace tsugihagi
