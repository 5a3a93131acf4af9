// What tsugihagi-cli says about files: file names as shown to the user, and the system's
// reason for a file that cannot be used.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "core/app/session.h"

namespace tsugihagi {

// A path as the user should read it: relative to the current folder when `dir` is "." (so
// "data/dic.data"), else as given.
std::string shown(const std::filesystem::path& dir, const std::filesystem::path& relative);

// Why no file can be created in `folder` now, in the system's words ("Permission denied"), or
// nothing when one can: creates and removes a file of its own there, so the answer is the
// system's, whatever the permissions, the user or the file system (read-only mounts).
std::optional<std::string> write_failure_reason(const std::filesystem::path& folder);

// Why the file cannot be opened for reading now, in the system's words ("No such file or
// directory"), or a plain text when it can be opened now.
std::string open_failure_reason(const std::filesystem::path& file);

// The system's words for an errno value, or `fallback` for 0.
std::string error_text(int error, const char* fallback);

}  // namespace tsugihagi
