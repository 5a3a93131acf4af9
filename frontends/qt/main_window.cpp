#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTextDocument>

#include "core/io/folder_lock.h"

namespace tsugihagi::qt {
namespace {

QString to_qstring(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void show_message_box(const QString& text) {
  // An empty title: the platform shows its default caption (Qt: the application name).
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
  box.exec();
}

bool start(session& s, const message_box_fn& show) {
  const startup_status status = start_session(s);
  if (const auto message = startup_message(status)) show(to_qstring(*message));
  return status == startup_status::ready;
}

int run_program(const std::filesystem::path& dir, const message_box_fn& show) {
  const folder_lock lock = lock_folder(dir);
  if (lock.status() == folder_lock_status::in_use) {
    show(to_qstring(folder_in_use_message));
    return 0;
  }
  session s(dir);
  if (start(s, show)) {
    main_window window(s);
    window.show();
    QApplication::exec();
  }  // the window is gone: the learned state has been saved if the box was set
  finish_session(s);
  return 0;
}

std::u16string box_text(const QPlainTextEdit& box) {
  const QString raw = box.document()->toRawText();
  std::u16string text;
  text.reserve(static_cast<std::size_t>(raw.size()));
  for (const QChar c : raw) {
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
      text += u"\r\n";
    } else {
      text += c.unicode();
    }
  }
  return text;
}

QString display_text(std::u16string_view output_text) {
  QString text;
  text.reserve(static_cast<qsizetype>(output_text.size()));
  for (std::size_t i = 0; i < output_text.size(); ++i) {
    const char16_t c = output_text[i];
    if (c == u'\r') {
      if (i + 1 < output_text.size() && output_text[i + 1] == u'\n') ++i;
      text += QLatin1Char('\n');
    } else {
      text += QChar(c);
    }
  }
  return text;
}

input_box_edit::input_box_edit(QWidget* parent, submit_fn submit)
    : QPlainTextEdit(parent), submit_(std::move(submit)) {
  setObjectName(QStringLiteral("input_box"));
  // WS_HSCROLL without ES_AUTOVSCROLL's bar: no wrapping, a horizontal bar when needed.
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Focused at start and by click only: Tab never moves the focus; inside the box Tab types
  // a tab character, as in the Windows version.
  setFocusPolicy(Qt::ClickFocus);
  setTabChangesFocus(false);
}

void input_box_edit::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QPlainTextEdit::keyPressEvent(event);
    return;
  }
  event->accept();
  if (composing()) {
    commit_composition();
    return;
  }
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  const bool control = modifiers.testFlag(Qt::ControlModifier);
  if (modifiers.testFlag(Qt::AltModifier) && !control) return;
  submit_(!control);
}

void input_box_edit::inputMethodEvent(QInputMethodEvent* event) {
  preedit_ = event->preeditString();
  QPlainTextEdit::inputMethodEvent(event);
}

void input_box_edit::commit_composition() {
  // A platform input method normally keeps Enter for itself while composing; when it lets
  // the key through, ask it to commit, and commit the shown text ourselves if it does not.
  QGuiApplication::inputMethod()->commit();
  if (composing()) {
    QInputMethodEvent commit;
    commit.setCommitString(preedit_);
    inputMethodEvent(&commit);
  }
}

main_window::main_window(session& s, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      session_(s) {
  setObjectName(QStringLiteral("main_window"));
  setWindowTitle(to_qstring(window_title));
  setFixedSize(client_width, client_height);
  setFocusPolicy(Qt::NoFocus);

  input_box_ = new input_box_edit(this, [this](bool clear) { submit(clear); });
  input_box_->setGeometry(0, 2, 494, 48);

  output_box_ = new QPlainTextEdit(this);
  output_box_->setObjectName(QStringLiteral("output_box"));
  output_box_->setGeometry(0, 50, 494, 254);
  output_box_->setReadOnly(true);
  output_box_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  output_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  output_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  output_box_->setFocusPolicy(Qt::ClickFocus);

  save_checkbox_ = new QCheckBox(to_qstring(save_checkbox_label), this);
  save_checkbox_->setObjectName(QStringLiteral("save_checkbox"));
  save_checkbox_->setGeometry(0, 304, 200, 34);
  save_checkbox_->setFocusPolicy(Qt::ClickFocus);
  save_checkbox_->setChecked(save_on_exit(s));
  // The setting toggles alongside the check mark and is never read back from the widget.
  connect(save_checkbox_, &QCheckBox::clicked, this, [this] { toggle_save_on_exit(session_); });

  // Typing goes to the input box from the start, without a click.
  input_box_->setFocus();
}

main_window::~main_window() {
  save_once();
}

void main_window::closeEvent(QCloseEvent* event) {
  save_once();
  QWidget::closeEvent(event);
}

void main_window::submit(bool clear) {
  if (const auto shown = submit_line(session_, box_text(*input_box_))) {
    output_box_->setPlainText(display_text(shown->output_text()));
  }
  if (clear) input_box_->clear();
}

void main_window::save_once() {
  if (saved_) return;
  saved_ = true;
  save_learned_state(session_);
}

}  // namespace tsugihagi::qt
