// Files as byte devices. This is the platform seam for file access: file_device_posix.cpp
// and file_device_win32.cpp implement it, and CMake picks one. Paths are std::filesystem
// paths, so non-ASCII folder names work on both platforms.
#pragma once

#include <filesystem>
#include <memory>

#include "core/io/byte_device.h"

namespace tsugihagi {

// Opens an existing file for reading from its first byte; null when it cannot be opened or
// is not a regular file (a folder, a pipe).
std::unique_ptr<byte_device> open_file_for_reading(const std::filesystem::path& path);

// Opens a replacing write: bytes go to a temporary file in the same folder, and commit()
// flushes it to disk and renames it over `path`, which keeps the old file's permissions.
// Destroying the device without a successful commit removes the temporary file and leaves
// `path` untouched. Null when the temporary file cannot be created, or when `path` exists but
// could not be opened for writing (read-only, a folder): such a file is never replaced.
std::unique_ptr<byte_device> open_file_for_replacing(const std::filesystem::path& path);

// Creates or truncates `path` and writes to it directly (the transcript); null on failure.
std::unique_ptr<byte_device> open_file_for_writing(const std::filesystem::path& path);

}  // namespace tsugihagi
