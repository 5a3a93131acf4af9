// Entry of the Windows program: one session in the current folder, one window, and one
// program at a time per folder.
#include <windows.h>

#include <filesystem>

#include "core/app/session.h"
#include "core/io/folder_lock.h"
#include "frontends/win32/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::filesystem::path dir = std::filesystem::current_path();
  // Held until the process ends; taken before "config", "log.txt" or a data file is opened.
  const tsugihagi::folder_lock lock = tsugihagi::lock_folder(dir);
  if (lock.status() == tsugihagi::folder_lock_status::in_use) {
    tsugihagi::win32::show_message(tsugihagi::folder_in_use_message);
    return 0;
  }
  tsugihagi::session s(dir);
  tsugihagi::win32::run_main_window(instance, s);
  tsugihagi::finish_session(s);
  return 0;
}
