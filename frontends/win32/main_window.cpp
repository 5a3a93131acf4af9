// The main window and its three controls with the Win32 API and RichEdit 2.0. The input box
// is subclassed: Enter (key-down) submits its text, the carriage-return character empties it.
#include "frontends/win32/main_window.h"

#include <richedit.h>

#include <string>
#include <string_view>

namespace tsugihagi::win32 {
namespace {

// Process-wide state of the window: the window procedures are plain callbacks.
struct window_state {
  session* s = nullptr;
  WNDPROC input_box_proc = nullptr;  // the RichEdit control's own procedure
  HWND output_box = nullptr;
  HWND save_checkbox = nullptr;
  HICON small_icon = nullptr;  // kept for the life of the process
  bool saved = false;          // the exit saves have run
};
window_state state;

// Failures of this window alone: its class cannot be made, or RichEdit cannot be loaded.
constexpr std::u16string_view window_class_failed_message = u"ウィンドウクラスの生成に失敗しました";
constexpr std::u16string_view richedit_failed_message = u"RICHED20の初期化に失敗しました";

constexpr DWORD main_window_style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x00CA0000
constexpr DWORD input_box_style = 0x50900204;
constexpr DWORD output_box_style = 0x50A01A04;
constexpr DWORD save_checkbox_style = 0x50000003;

const wchar_t* wide(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

// Wine's RichEdit answers 0 to the language-option messages, so under wine a control that
// exists counts as prepared.
bool running_under_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Switches off dual-font mode, so ASCII and Japanese text share one font. False when the
// control does not answer (as one that was not created).
bool prepare_rich_edit(HWND box) {
  const LRESULT options = SendMessageW(box, EM_GETLANGOPTIONS, 0, 0);
  if (SendMessageW(box, EM_SETLANGOPTIONS, 0, options & ~LRESULT{IMF_DUALFONT}) != 0) return true;
  return box != nullptr && running_under_wine();
}

std::u16string window_text(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

LRESULT CALLBACK input_box_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_KEYDOWN && LOWORD(wparam) == VK_RETURN) {
    if (const auto exchange = submit_line(*state.s, window_text(hwnd))) {
      SetWindowTextW(state.output_box, wide(exchange->output_text()));
    }
  } else if (message == WM_CHAR && LOWORD(wparam) == L'\r') {
    SetWindowTextW(hwnd, L"");
  }
  return CallWindowProcW(state.input_box_proc, hwnd, message, wparam, lparam);
}

void save_once() {
  if (state.saved) return;
  state.saved = true;
  save_learned_state(*state.s);
}

LRESULT CALLBACK main_window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    save_once();
    PostQuitMessage(0);
  } else if (message == WM_ENDSESSION && wparam == TRUE) {
    // Windows ends the process once this returns, without ending the message loop: the
    // whole exit sequence's writes happen here (data files, transcript closed, "config").
    save_once();
    finish_session(*state.s);
  } else if (message == WM_COMMAND && LOWORD(wparam) == save_checkbox_id) {
    // The control toggles its own check mark; the setting follows it without reading it.
    toggle_save_on_exit(*state.s);
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

HWND create_child(const wchar_t* window_class, const wchar_t* text, DWORD style, DWORD ex_style,
                  RECT box, int id, HWND parent, HINSTANCE instance) {
  return CreateWindowExW(ex_style, window_class, text, style, box.left, box.top, box.right,
                         box.bottom, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         instance, nullptr);
}

}  // namespace

void show_message(std::u16string_view text) {
  MessageBoxW(nullptr, wide(text), nullptr, MB_OK);
}

void run_main_window(HINSTANCE instance, session& s) {
  state.s = &s;
  const startup_status status = start_session(s);
  if (const auto message = startup_message(status)) show_message(*message);
  if (status != startup_status::ready) return;

  WNDCLASSW window_class{};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = main_window_procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = main_window_class;
  if (RegisterClassW(&window_class) == 0) {
    show_message(window_class_failed_message);
    return;
  }
  const HWND main_window =
      CreateWindowExW(0, main_window_class, wide(window_title), main_window_style, CW_USEDEFAULT,
                      CW_USEDEFAULT, 500, 362, nullptr, nullptr, instance, nullptr);
  if (main_window == nullptr) {
    show_message(window_class_failed_message);
    return;
  }

  state.small_icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(icon_resource_id),
                                                   IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  SendMessageW(main_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state.small_icon));

  LoadLibraryW(L"RICHED20.DLL");  // registers "RichEdit20W"

  const HWND input_box = create_child(L"RichEdit20W", L"", input_box_style, WS_EX_CLIENTEDGE,
                                      {0, 2, 494, 48}, input_box_id, main_window, instance);
  state.input_box_proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(input_box, GWLP_WNDPROC));
  if (SetWindowLongPtrW(input_box, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(&input_box_procedure)) == 0) {
    return;
  }
  if (!prepare_rich_edit(input_box)) {
    show_message(richedit_failed_message);
    return;
  }

  state.output_box = create_child(L"RichEdit20W", L"", output_box_style, WS_EX_CLIENTEDGE,
                                  {0, 50, 494, 254}, output_box_id, main_window, instance);
  if (!prepare_rich_edit(state.output_box)) {
    show_message(richedit_failed_message);
    return;
  }

  state.save_checkbox = create_child(L"BUTTON", wide(save_checkbox_label), save_checkbox_style, 0,
                                     {0, 304, 200, 34}, save_checkbox_id, main_window, instance);
  if (state.save_checkbox == nullptr) return;
  SendMessageW(state.save_checkbox, BM_SETCHECK, save_on_exit(s) ? BST_CHECKED : BST_UNCHECKED, 0);

  ShowWindow(main_window, SW_SHOW);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace tsugihagi::win32
