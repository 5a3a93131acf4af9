// The Windows program's window: a fixed-size main window with the input box, the output box
// and the save-on-exit check box, driving one tsugihagi::session.
#pragma once

#include <windows.h>

#include <string_view>

#include "core/app/session.h"

namespace tsugihagi::win32 {

// Ids of the child controls (the output box's is 0).
inline constexpr int input_box_id = 255;
inline constexpr int output_box_id = 0;
inline constexpr int save_checkbox_id = 256;
inline constexpr wchar_t main_window_class[] = L"tsugihagi_main_window";
inline constexpr int icon_resource_id = 101;

// A message box with no owner, the system's caption and an OK button only.
// REQUIRES: `text` is followed by a NUL (the texts of user_texts.h are).
void show_message(std::u16string_view text);

// Loads the data files, builds the window and runs the message loop until the window is
// closed, or saves as the window's closing would when Windows ends the session (the process
// is then ended without leaving the loop). Every start-up failure shows its message box (or none)
// and returns early, leaving the data files unwritten. REQUIRES: `s` is freshly constructed; called
// once per process, on the GUI thread.
void run_main_window(HINSTANCE instance, session& s);

}  // namespace tsugihagi::win32
