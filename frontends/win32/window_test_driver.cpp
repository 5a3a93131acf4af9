// Tests tsugihagi.exe's real window: starts it in scratch folders, types into the input box,
// clicks the check box, closes the window and checks the box texts and the files left
// behind. Usage: tsugihagi_window_test <path of tsugihagi.exe>. Exit code 0 when every check
// passes; it also ends a session as Windows does, starts a second program on a folder in use,
// and reads the version resource. Every wait is bounded, so a hung program fails the test instead
// of blocking it. With --enter-line <text> it instead types one line into the running program's
// window and prints the window's screen rectangle as "x y width height" (for screenshots); with
// --unpacked <folder> it runs the first-run checks on the program unpacked from the download.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr DWORD timeout_ms = 30000;
constexpr int input_box_id = 255;
constexpr int save_checkbox_id = 256;
const std::vector<std::wstring> data_files = {L"dic.data", L"hdid.data", L"idiom_hdid.data",
                                              L"idiomdic.data", L"log.data"};
int failures = 0;

void check(bool ok, const char* what) {
  std::printf("  %s: %s\n", ok ? "ok" : "FAILED", what);
  std::fflush(stdout);
  if (!ok) ++failures;
}

std::string utf8(std::wstring_view text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string cp932(std::wstring_view text) {
  const int n = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Snapshot of data/: name -> (contents, last write time).
using folder_state = std::map<std::wstring, std::pair<std::string, fs::file_time_type>>;
folder_state snapshot(const fs::path& dir) {
  folder_state state;
  for (const auto& entry : fs::directory_iterator(dir / "data")) {
    state[entry.path().filename().wstring()] = {read_bytes(entry.path()), entry.last_write_time()};
  }
  return state;
}

// A scratch working folder with the given empty data files, dated well in the past so that
// any rewrite shows in their times.
fs::path make_folder(const wchar_t* name, const std::vector<std::wstring>& files) {
  const fs::path dir = fs::temp_directory_path() / (std::wstring(L"tsugihagi-window-test-") + name +
                                                    L"-" + std::to_wstring(GetCurrentProcessId()));
  fs::remove_all(dir);
  fs::create_directories(dir / "data");
  for (const auto& file : files) {
    std::ofstream(dir / "data" / file, std::ios::binary);
    fs::last_write_time(dir / "data" / file,
                        fs::file_time_type::clock::now() - std::chrono::hours(24));
  }
  return dir;
}

std::wstring text_of(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1,
                    L'\0');
  const LRESULT n =
      SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(n));
  return text;
}

// The text a message box shows: its static controls' texts.
std::wstring message_box_text(HWND box) {
  std::wstring shown;
  for (HWND child = FindWindowExW(box, nullptr, L"Static", nullptr); child != nullptr;
       child = FindWindowExW(box, child, L"Static", nullptr)) {
    shown += text_of(child);
  }
  return shown;
}

struct running_app {
  PROCESS_INFORMATION process{};
  HWND main_window = nullptr;

  ~running_app() {
    if (process.hProcess == nullptr) return;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }

  bool start(const fs::path& exe, const fs::path& dir) {
    std::wstring command = L"\"" + exe.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          dir.c_str(), &startup, &process) != 0;
  }

  // The first visible top-level window of `window_class` that belongs to the program, or null
  // once the timeout has passed or the program has ended.
  HWND wait_for_window(const wchar_t* window_class) const {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (GetTickCount64() < deadline) {
      for (HWND hwnd = FindWindowExW(nullptr, nullptr, window_class, nullptr); hwnd != nullptr;
           hwnd = FindWindowExW(nullptr, hwnd, window_class, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        // Visible only once the program has finished building it.
        if (pid == process.dwProcessId && IsWindowVisible(hwnd)) return hwnd;
      }
      if (WaitForSingleObject(process.hProcess, 50) != WAIT_TIMEOUT) return nullptr;
    }
    return nullptr;
  }

  // True when the program ended by itself within the timeout with exit code 0.
  bool exits_cleanly() const {
    DWORD code = 1;
    return WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process.hProcess, &code) && code == 0;
  }

  HWND item(int id) const { return GetDlgItem(main_window, id); }
  HWND output_box() const {
    const HWND input = item(input_box_id);
    return FindWindowExW(main_window, input, L"RichEdit20W", nullptr);
  }
  bool checked() const {
    return SendMessageW(item(save_checkbox_id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void click_checkbox() const { SendMessageW(item(save_checkbox_id), BM_CLICK, 0, 0); }

  // Types `line` character by character and presses Enter (key-down, then its character).
  void enter_line(std::wstring_view line) const {
    const HWND input = item(input_box_id);
    for (const wchar_t unit : line)
      SendMessageW(input, WM_CHAR, unit, 1);
    SendMessageW(input, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    SendMessageW(input, WM_CHAR, L'\r', 0x001C0001);
    SendMessageW(input, WM_KEYUP, VK_RETURN, 0xC01C0001);
  }

  // Closes the window with its close button's message and waits for a clean exit.
  bool close() const {
    PostMessageW(main_window, WM_CLOSE, 0, 0);
    return exits_cleanly();
  }
};

RECT child_rect(HWND parent, HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool has_rect(HWND parent, HWND child, RECT expected) {
  const RECT r = child_rect(parent, child);
  return r.left == expected.left && r.top == expected.top && r.right == expected.right &&
         r.bottom == expected.bottom;
}

// Runs one line through the window; returns the reply shown, empty when the output is wrong.
std::wstring exchange(const running_app& app, const std::wstring& line) {
  app.enter_line(line);
  const std::wstring shown = text_of(app.output_box());
  const std::wstring prefix = L"user > " + line + L"\r\nhagi > ";
  const bool ok = shown.size() > prefix.size() && shown.compare(0, prefix.size(), prefix) == 0;
  check(ok, "the output box shows the line and a reply");
  if (!ok) std::printf("    shown: \"%s\"\n", utf8(shown).c_str());
  check(text_of(app.item(input_box_id)).empty(), "Enter empties the input box");
  return ok ? shown.substr(prefix.size()) : std::wstring();
}

// Starts the program in `dir` and waits for its main window; false when it did not appear.
bool open_main_window(running_app& app, const fs::path& exe, const fs::path& dir) {
  check(app.start(exe, dir), "the program starts");
  app.main_window = app.wait_for_window(L"tsugihagi_main_window");
  check(app.main_window != nullptr, "the main window appears");
  return app.main_window != nullptr;
}

std::string transcript_of(const std::wstring& line, const std::wstring& reply) {
  return "user > " + cp932(line) + "\r\nhagi > " + cp932(reply) + "\r\n";
}

void first_run_saves_everything_with_the_box_left_checked(const fs::path& exe,
                                                          const fs::path& dir) {
  std::printf("A first run answers a line and, left checked, saves every data file\n");
  running_app app;
  if (!open_main_window(app, exe, dir)) return;
  const folder_state before = snapshot(dir);

  RECT outer{};
  GetWindowRect(app.main_window, &outer);
  check(outer.right - outer.left == 500 && outer.bottom - outer.top == 362,
        "the window is 500 x 362");
  check(text_of(app.main_window) == L"人工無脳 つぎはぎ", "the title");
  check(has_rect(app.main_window, app.item(input_box_id), {0, 2, 494, 50}) &&
            has_rect(app.main_window, app.output_box(), {0, 50, 494, 304}) &&
            has_rect(app.main_window, app.item(save_checkbox_id), {0, 304, 200, 338}),
        "the three controls sit where laid out");
  check(text_of(app.item(save_checkbox_id)) == L"終了時に学習状態を保存", "the check box label");
  check(app.checked(), "without a config file the check box starts checked");

  app.enter_line(L"");
  check(text_of(app.output_box()).empty(), "Enter on an empty box shows nothing");

  const std::wstring line = L"こんにちは、つぎはぎです";
  const std::wstring reply = exchange(app, line);
  check(app.close(), "closing the window ends the program with exit code 0");

  const folder_state after = snapshot(dir);
  bool all_rewritten = after.size() == data_files.size();
  for (const auto& name : data_files) {
    all_rewritten = all_rewritten && after.at(name).second != before.at(name).second;
  }
  check(all_rewritten, "all five data files are rewritten and no other file is left");
  check(!after.at(L"log.data").first.empty() && !after.at(L"dic.data").first.empty(),
        "the log and the dictionary hold what was learned");
  check(read_bytes(dir / "config") == std::string(1, '\x01'), "config holds 01");
  check(read_bytes(dir / "log.txt") == transcript_of(line, reply),
        "log.txt holds the exchange in code page 932");
}

void unchecking_the_box_saves_nothing(const fs::path& exe, const fs::path& dir) {
  std::printf("A later run loads the saved state; unchecked, it saves nothing\n");
  const folder_state before = snapshot(dir);
  running_app app;
  if (!open_main_window(app, exe, dir)) return;
  check(app.checked(), "config 01 shows the check box checked");

  const std::wstring line = L"こんにちは";
  const std::wstring reply = exchange(app, line);
  app.click_checkbox();
  check(!app.checked(), "a click clears the check box");
  check(app.close(), "closing the window ends the program with exit code 0");

  check(snapshot(dir) == before, "the data files are left untouched");
  check(read_bytes(dir / "config") == std::string(1, '\0'), "config holds 00");
  check(read_bytes(dir / "log.txt") == transcript_of(line, reply),
        "log.txt was started afresh and holds only this run's exchange");

  std::printf("Starting unchecked, two clicks leave the box unchecked\n");
  running_app again;
  if (!open_main_window(again, exe, dir)) return;
  check(!again.checked(), "config 00 shows the check box cleared");
  again.click_checkbox();
  again.click_checkbox();
  check(!again.checked(), "two clicks leave it cleared");
  check(again.close(), "closing the window ends the program with exit code 0");
  check(snapshot(dir) == before, "the data files are left untouched");
  check(read_bytes(dir / "config") == std::string(1, '\0'), "config holds 00");
  check(read_bytes(dir / "log.txt").empty(), "log.txt is empty after a run without a line");
}

void a_missing_file_stops_with(const fs::path& exe, const wchar_t* missing,
                               std::wstring_view message) {
  std::printf("Without data/%s the program shows its message and ends\n", utf8(missing).c_str());
  std::vector<std::wstring> files;
  for (const auto& name : data_files) {
    if (name != missing) files.push_back(name);
  }
  const fs::path dir = make_folder(missing, files);
  const folder_state before = snapshot(dir);
  running_app app;
  check(app.start(exe, dir), "the program starts");
  const HWND box = app.wait_for_window(L"#32770");
  check(box != nullptr, "a message box appears");
  if (box == nullptr) return;
  check(message_box_text(box) == message, "the message box shows the expected text");
  check(FindWindowW(L"tsugihagi_main_window", nullptr) == nullptr, "no main window is built");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  check(app.exits_cleanly(), "OK ends the program with exit code 0");
  check(snapshot(dir) == before, "no data file is written");
  check(read_bytes(dir / "config") == std::string(1, '\x01'), "config is written with 01");
  check(fs::exists(dir / "log.txt") && read_bytes(dir / "log.txt").empty(), "log.txt is empty");
  fs::remove_all(dir);
}

void ending_the_session_saves_before_the_process_ends(const fs::path& exe, bool box_set) {
  std::printf("Windows ending the session (box %s) runs the exit writes before the process ends\n",
              box_set ? "set" : "cleared");
  const fs::path dir =
      make_folder(box_set ? L"end-session-set" : L"end-session-cleared", data_files);
  running_app app;
  if (!open_main_window(app, exe, dir)) return;
  const folder_state before = snapshot(dir);
  const std::wstring line = L"さようなら、また明日";
  const std::wstring reply = exchange(app, line);
  if (!box_set) app.click_checkbox();
  check(SendMessageW(app.main_window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == TRUE,
        "the window lets the session end");
  SendMessageW(app.main_window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  // Windows ends the process as soon as the window has answered, with no further message.
  TerminateProcess(app.process.hProcess, 1);
  WaitForSingleObject(app.process.hProcess, timeout_ms);

  const folder_state after = snapshot(dir);
  if (box_set) {
    bool all_rewritten = after.size() == data_files.size();
    for (const auto& name : data_files) {
      all_rewritten = all_rewritten && after.at(name).second != before.at(name).second;
    }
    check(all_rewritten && !after.at(L"log.data").first.empty(),
          "all five data files are written with what was learned");
  } else {
    check(after == before, "the data files are left untouched");
  }
  check(read_bytes(dir / "config") == std::string(1, box_set ? '\x01' : '\0'),
        "config is written with the box's state");
  check(read_bytes(dir / "log.txt") == transcript_of(line, reply), "log.txt holds the exchange");
  fs::remove_all(dir);
}

void a_second_program_on_the_folder_is_refused(const fs::path& exe) {
  std::printf("A second program on a folder in use shows a message and touches nothing\n");
  const fs::path dir = make_folder(L"in-use", data_files);
  running_app first;
  if (!open_main_window(first, exe, dir)) return;
  const folder_state data_before = snapshot(dir);
  const std::wstring line1 = L"先に起動したほうです";
  const std::wstring reply1 = exchange(first, line1);
  const std::string transcript = read_bytes(dir / "log.txt");
  const std::string config = read_bytes(dir / "config");
  const folder_state data_in_use = snapshot(dir);  // with the first program's journal

  running_app second;
  check(second.start(exe, dir), "the second program starts");
  const HWND box = second.wait_for_window(L"#32770");
  check(box != nullptr, "it shows a message box");
  if (box != nullptr) {
    check(message_box_text(box) == L"この学習データは別のつぎはぎが使用中です",
          "the message says the learning data is in use");
    bool own_window = false;
    for (HWND hwnd = FindWindowExW(nullptr, nullptr, L"tsugihagi_main_window", nullptr);
         hwnd != nullptr; hwnd = FindWindowExW(nullptr, hwnd, L"tsugihagi_main_window", nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(hwnd, &pid);
      own_window = own_window || pid == second.process.dwProcessId;
    }
    check(!own_window, "the second program builds no main window");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    check(second.exits_cleanly(), "OK ends the second program with exit code 0");
  }
  check(snapshot(dir) == data_in_use && read_bytes(dir / "log.txt") == transcript &&
            read_bytes(dir / "config") == config,
        "the second program wrote nothing: data files, log.txt and config are as they were");

  const std::wstring line2 = L"まだ話せます";
  const std::wstring reply2 = exchange(first, line2);
  check(first.close(), "closing the first program ends it with exit code 0");
  const folder_state after = snapshot(dir);
  bool all_rewritten = after.size() == data_files.size();
  for (const auto& name : data_files) {
    all_rewritten = all_rewritten && after.at(name).second != data_before.at(name).second;
  }
  check(all_rewritten, "the first program saves all five data files");
  check(read_bytes(dir / "log.txt") == transcript_of(line1, reply1) + transcript_of(line2, reply2),
        "log.txt holds the first program's two exchanges only");
  check(read_bytes(dir / "config") == std::string(1, '\x01'), "config holds 01");
  check(fs::exists(dir / "tsugihagi.lock"), "the lock file stays in the working folder");
  fs::remove_all(dir);
}

std::wstring version_string(const std::vector<char>& info, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
  if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) return L"";
  return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

void the_program_carries_its_version(const fs::path& exe) {
  std::printf("tsugihagi.exe carries its version information\n");
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  std::vector<char> info(size);
  check(size != 0 && GetFileVersionInfoW(exe.c_str(), 0, size, info.data()),
        "the file has a version resource");
  if (size == 0) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  check(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
            fixed != nullptr,
        "the fixed part is there");
  if (fixed != nullptr) {
    const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwFileVersionLS));
    check(numbers == TSUGIHAGI_VERSION_TEXT && fixed->dwFileType == VFT_APP,
          "the file version is the project's and the file is an application");
  }
  check(version_string(info, L"ProductVersion") == TSUGIHAGI_VERSION_TEXT &&
            version_string(info, L"FileVersion") == TSUGIHAGI_VERSION_TEXT,
        "the version texts are the project's");
  check(version_string(info, L"FileDescription") == L"人工無脳 つぎはぎ" &&
            version_string(info, L"ProductName") == L"つぎはぎ (tsugihagi)",
        "the description and product name");
}

}  // namespace

// Types `line` into the window of an already running program, which stays open.
int enter_line_into_running_program(const std::wstring& line) {
  running_app app;
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (app.main_window == nullptr && GetTickCount64() < deadline) {
    const HWND found = FindWindowW(L"tsugihagi_main_window", nullptr);
    if (found != nullptr && IsWindowVisible(found)) app.main_window = found;
    Sleep(50);
  }
  if (app.main_window == nullptr) return 1;
  app.enter_line(line);
  RECT outer{};
  GetWindowRect(app.main_window, &outer);
  std::printf("%ld %ld %ld %ld\n", outer.left, outer.top, outer.right - outer.left,
              outer.bottom - outer.top);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring_view(argv[1]) == L"--enter-line") {
    return enter_line_into_running_program(argv[2]);
  }
  if (argc == 3 && std::wstring_view(argv[1]) == L"--unpacked") {
    // The unpacked download: its own tsugihagi.exe in its own folder, as a user starts it.
    const fs::path dir = fs::absolute(argv[2]);
    first_run_saves_everything_with_the_box_left_checked(dir / "tsugihagi.exe", dir);
    std::printf(failures == 0 ? "All checks of the unpacked program passed\n"
                              : "%d checks of the unpacked program FAILED\n",
                failures);
    return failures == 0 ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: tsugihagi_window_test <path of tsugihagi.exe> | --enter-line <text>\n"
                 "       | --unpacked <folder holding tsugihagi.exe and data/>\n");
    return 2;
  }
  const fs::path exe = fs::absolute(argv[1]);
  const fs::path dir = make_folder(L"session", data_files);
  first_run_saves_everything_with_the_box_left_checked(exe, dir);
  unchecking_the_box_saves_nothing(exe, dir);
  fs::remove_all(dir);
  a_missing_file_stops_with(exe, L"hdid.data", L"辞書の読み込みに失敗しました...");
  a_missing_file_stops_with(exe, L"log.data", L"ログの読み込みに失敗しました...");
  ending_the_session_saves_before_the_process_ends(exe, true);
  ending_the_session_saves_before_the_process_ends(exe, false);
  a_second_program_on_the_folder_is_refused(exe);
  the_program_carries_its_version(exe);
  std::printf(failures == 0 ? "All window checks passed\n" : "%d window checks FAILED\n", failures);
  return failures == 0 ? 0 : 1;
}
