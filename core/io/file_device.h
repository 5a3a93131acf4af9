// Files as byte devices. This is the platform seam for file access: file_device_posix.cpp
// and file_device_win32.cpp implement it, and CMake picks one. Paths are std::filesystem
// paths, so non-ASCII folder names work on both platforms.
#pragma once

#include <cstdint>
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

// Creates `path` for writing, exclusively: null when anything exists at that name (a file, a
// link, a pipe), which is never followed or opened. `permissions` are POSIX mode bits (less
// the umask; ignored on Windows). commit() makes the bytes durable and closes the file.
// Destroying the device without a successful commit closes and removes the file.
std::unique_ptr<byte_device> open_file_for_creating(const std::filesystem::path& path,
                                                    unsigned permissions = 0666);

// Opens the existing regular file `path` for appending after its first `keep` bytes (what
// follows them is cut off); never follows a link. sync() makes what was appended durable.
// Null when `path` is not a regular file or is shorter than `keep` bytes.
std::unique_ptr<byte_device> open_file_for_appending(const std::filesystem::path& path,
                                                     std::uint64_t keep);

// Creates or truncates `path` and writes to it directly (the transcript); null on failure.
std::unique_ptr<byte_device> open_file_for_writing(const std::filesystem::path& path);

}  // namespace tsugihagi
