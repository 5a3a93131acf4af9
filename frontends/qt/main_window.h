// The Linux window front-end on Qt 6 Widgets: start-up messages and the fixed-size main
// window with the input box, the output box and the save-on-exit check box. All
// conversation logic lives in the session; this file only maps widgets and keys onto it.
#pragma once

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>

#include "core/app/session.h"

namespace tsugihagi::qt {

// Shows a start-up failure text in a message box with the default caption (no title of
// ours), only an OK button and no icon, and waits until it is closed.
void show_message_box(const QString& text);

using message_box_fn = std::function<void(const QString& text)>;

// Runs start_session on `s` and, for a dictionary or log failure, shows its message through
// `show`. Returns true only when the window may be built; a settings abort shows nothing.
bool start(session& s, const message_box_fn& show = show_message_box);

// The whole run of the program in `dir`: takes the folder's lock (a folder in use by another
// program shows folder_in_use_message through `show` and ends there, before any file is
// read), then starts the session, shows the main window and runs the event loop until it
// closes, and finishes the session. A lock that cannot be taken at all (a read-only folder)
// does not stop the run. Returns the process's exit code, always 0.
// REQUIRES: a QApplication exists.
int run_program(const std::filesystem::path& dir, const message_box_fn& show = show_message_box);

// The Windows version's edit control gives line breaks as CR LF, Qt's as U+2029 (or U+2028):
// box_text returns the box's text with CR LF, as the Windows version reads it.
std::u16string box_text(const QPlainTextEdit& box);
// The output box's text for an exchange: every CR LF, lone CR or lone LF is one line break.
QString display_text(std::u16string_view output_text);

// The input box: a plain multi-line edit whose Enter key submits the line. On Windows the
// Enter key arrives as a key-down (submit) followed by a character message (CR empties the
// box; Ctrl+Enter gives LF, which does not); Qt delivers one key event, mapped here so:
//   Enter, keypad Enter, Shift+Enter: submit, then empty the box;
//   Ctrl+Enter (with or without Shift): submit, the box keeps its text;
//   Alt+Enter: nothing (a system key on Windows: no key-down reaches the box);
//   Enter during an input-method composition: commits the composition only.
// The box never receives a line break from the Enter key.
class input_box_edit : public QPlainTextEdit {
 public:
  // `submit` is called with the box's text; `clear` tells whether to empty the box after.
  using submit_fn = std::function<void(bool clear)>;
  explicit input_box_edit(QWidget* parent, submit_fn submit);

  bool composing() const { return !preedit_.isEmpty(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  void commit_composition();

  submit_fn submit_;
  QString preedit_;
};

// The main window, built on a session whose start returned ready. Closing it (or destroying
// it unclosed) runs save_learned_state once; finish_session is left to the owner of `s`.
class main_window : public QWidget {
 public:
  explicit main_window(session& s, QWidget* parent = nullptr);
  ~main_window() override;

  input_box_edit* input_box() const { return input_box_; }
  QPlainTextEdit* output_box() const { return output_box_; }
  QCheckBox* save_checkbox() const { return save_checkbox_; }

  // The client area of the Windows version: its 500 × 362 outer size less the frame.
  static constexpr int client_width = 494;
  static constexpr int client_height = 338;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void submit(bool clear);
  void save_once();

  session& session_;
  input_box_edit* input_box_;
  QPlainTextEdit* output_box_;
  QCheckBox* save_checkbox_;
  bool saved_ = false;
};

}  // namespace tsugihagi::qt
