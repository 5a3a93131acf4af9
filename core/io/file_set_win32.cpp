// The swap's platform steps on Windows: there is no exchange of two folders, so a save
// renames (file_set.cpp). The renames are the standard library's MoveFileExW, without
// write-through (which matters only for a move that copies); a folder has no sync of its
// own, so sync_folder does nothing and a rename is as durable as the file system's metadata
// log, which NTFS commits in order. A folder that holds an open file cannot be renamed: no
// file in the set's folder may be open during a save (the session closes its journal first);
// wine does not enforce this, so the tests under wine cannot catch a file left open.
#include <windows.h>

#include "core/io/file_set.h"

namespace tsugihagi::file_set_platform {

bool exchange(const std::filesystem::path&, const std::filesystem::path&, std::error_code& error,
              bool& unsupported) {
  error = std::make_error_code(std::errc::function_not_supported);
  unsupported = true;
  return false;
}

bool replaceable(const std::filesystem::path& file, std::error_code& error) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return false;
  }
  CloseHandle(handle);
  return true;
}

bool sync_folder(const std::filesystem::path&, std::error_code&) {
  return true;
}

}  // namespace tsugihagi::file_set_platform
