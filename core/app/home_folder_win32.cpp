#include "core/app/home_folder.h"

#include <system_error>

namespace tsugihagi {

std::optional<std::filesystem::path> home_folder() {
  std::error_code error;
  std::filesystem::path here = std::filesystem::current_path(error);
  if (error) return std::nullopt;
  return here;
}

}  // namespace tsugihagi
