// Entry of the Windows program: one session in the current folder, one window.
#include <windows.h>

#include <filesystem>

#include "core/app/session.h"
#include "frontends/win32/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  tsugihagi::session s(std::filesystem::current_path());
  tsugihagi::win32::run_main_window(instance, s);
  tsugihagi::finish_session(s);
  return 0;
}
