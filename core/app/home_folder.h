// The folder a user's bot lives in when no folder is given: the one the window's launcher
// works in, shared by the terminal program and the library. Reads the environment (and on
// POSIX the password database): O(1), no file is touched.
#pragma once

#include <filesystem>
#include <optional>

namespace tsugihagi {

// POSIX: $XDG_DATA_HOME/tsugihagi, or ~/.local/share/tsugihagi when XDG_DATA_HOME is unset,
// empty or relative (HOME, else the user's home in the password database); nothing when no
// home folder is known. Windows: the current folder, where the window keeps its data/.
std::optional<std::filesystem::path> home_folder();

}  // namespace tsugihagi
