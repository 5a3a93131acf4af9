// Tests of the Qt window on the real core. Each test runs in a fresh temporary working folder
// holding "data/" with the five data files, empty; ctest runs them on the offscreen platform.
#include <signal.h>

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>

#include "core/io/folder_lock.h"
#include "frontends/qt/main_window.h"
#include "frontends/qt/session_end.h"

namespace {

using tsugihagi::session;
using tsugihagi::qt::main_window;

const QStringList data_files = {"idiom_hdid.data", "idiomdic.data", "hdid.data", "dic.data",
                                "log.data"};
const QByteArray off("\x00", 1), on("\x01", 1), five("\x05", 1);

std::int64_t fixed_clock() {
  return 1700000000;
}

void make_data_dir(const QString& root) {
  QDir(root).mkpath("data");
  for (const QString& name : data_files)
    QFile(root + "/data/" + name).open(QIODevice::WriteOnly);
}

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
}

// Text as a keyboard layout (or xdotool) delivers it: QTest::keyClicks stops at Latin-1.
void type_text(QWidget* widget, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
  QCoreApplication::sendEvent(widget, &press);
}

void compose_text(QWidget* widget, const QString& preedit) {
  QInputMethodEvent event(preedit, {});
  QCoreApplication::sendEvent(widget, &event);
}

// What a fresh session elsewhere, on the same clock, shows after `lines`: the window must
// show exactly the core's exchange.
QString reference_output(const QStringList& lines) {
  QTemporaryDir dir;
  make_data_dir(dir.path());
  session s(dir.path().toStdString(), fixed_clock);
  if (tsugihagi::start_session(s) != tsugihagi::startup_status::ready) return "not ready";
  QString shown;
  for (const QString& line : lines) {
    const auto e = tsugihagi::submit_line(s, std::u16string(line.toStdU16String()));
    if (e) shown = tsugihagi::qt::display_text(e->output_text());
  }
  return shown;
}

// Everything a run leaves in its folder: the data files, "log.txt" and "config".
std::map<QString, QByteArray> folder_contents(const QString& root) {
  std::map<QString, QByteArray> files;
  for (const QString& name : data_files)
    files["data/" + name] = contents(root + "/data/" + name);
  files["log.txt"] = contents(root + "/log.txt");
  files["config"] = contents(root + "/config");
  return files;
}

// A run alone in a fresh folder, on the fixed clock: the lines are entered, the window saves
// and the session finishes. Returns what the run left.
std::map<QString, QByteArray> contents_after_a_run_alone(const QStringList& lines) {
  QTemporaryDir dir;
  make_data_dir(dir.path());
  {
    session s(dir.path().toStdString(), fixed_clock);
    if (tsugihagi::start_session(s) != tsugihagi::startup_status::ready) return {};
    for (const QString& line : lines)
      tsugihagi::submit_line(s, std::u16string(line.toStdU16String()));
    tsugihagi::save_learned_state(s);
    tsugihagi::finish_session(s);
  }
  return folder_contents(dir.path());
}

// Dates the data files a day back, so that any rewrite shows in their times.
void age_data_files() {
  const QDateTime past = QDateTime::currentDateTime().addDays(-1);
  for (const QString& name : data_files) {
    QFile file("data/" + name);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(past, QFileDevice::FileModificationTime);
  }
}

bool data_files_rewritten() {
  const QDateTime recent = QDateTime::currentDateTime().addSecs(-3600);
  for (const QString& name : data_files) {
    if (QFileInfo("data/" + name).lastModified() < recent) return false;
  }
  return true;
}

}  // namespace

class main_window_test : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    make_data_dir(dir_->path());
    QVERIFY(QDir::setCurrent(dir_->path()));
  }
  void cleanup() {
    QDir::setCurrent(QDir::tempPath());
    dir_.reset();
  }

  void window_has_the_fixed_layout_and_the_input_box_focused() {
    auto s = open_session();
    QVERIFY(s);
    main_window w(*s);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(w.windowTitle(), "人工無脳 つぎはぎ");
    QCOMPARE(w.minimumSize(), QSize(494, 338));
    QCOMPARE(w.maximumSize(), QSize(494, 338));
    QVERIFY(!w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(w.findChild<QWidget*>("input_box")->geometry(), QRect(0, 2, 494, 48));
    QCOMPARE(w.findChild<QWidget*>("output_box")->geometry(), QRect(0, 50, 494, 254));
    QCOMPARE(w.findChild<QWidget*>("save_checkbox")->geometry(), QRect(0, 304, 200, 34));
    QCOMPARE(w.save_checkbox()->text(), "終了時に学習状態を保存");

    // The first keys typed reach the input box without a click; Tab types a tab there and
    // never moves the focus.
    QCOMPARE(QApplication::focusWidget(), w.input_box());
    QTest::keyClicks(QApplication::focusWidget(), "abc");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.input_box());
    QCOMPARE(w.input_box()->toPlainText(), "abc\t");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(w.output_box()->toPlainText().startsWith("user > abc\t\nhagi > "));
  }

  void enter_keys_submit_the_line_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("submits");
    QTest::addColumn<bool>("empties");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << true << true;
    QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << int(Qt::ShiftModifier) << true << true;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true << true;
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << true << false;
    QTest::newRow("Alt+Enter") << int(Qt::Key_Return) << int(Qt::AltModifier) << false << false;
  }
  void enter_keys_submit_the_line() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, submits);
    QFETCH(bool, empties);
    auto s = open_session();
    QVERIFY(s);
    main_window w(*s);
    w.show();
    const QString line = "こんにちは、つぎはぎです😀";
    type_text(w.input_box(), line);
    QTest::keyClick(w.input_box(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(w.output_box()->toPlainText(), submits ? reference_output({line}) : QString());
    QVERIFY(
        w.output_box()->toPlainText().startsWith(submits ? "user > " + line + "\nhagi > " : ""));
    QCOMPARE(w.input_box()->toPlainText(), empties ? QString() : line);  // never a line break
  }

  void enter_while_composing_only_commits() {
    auto s = open_session();
    QVERIFY(s);
    main_window w(*s);
    w.show();
    type_text(w.input_box(), "私は");
    compose_text(w.input_box(), "にほんご");
    QTest::keyClick(w.input_box(), Qt::Key_Return);
    QCOMPARE(w.output_box()->toPlainText(), QString());
    QCOMPARE(w.input_box()->toPlainText(), "私はにほんご");
    QTest::keyClick(w.input_box(), Qt::Key_Return);  // the composition is over
    QCOMPARE(w.output_box()->toPlainText(), reference_output({"私はにほんご"}));
    QCOMPARE(w.input_box()->toPlainText(), QString());
  }

  void empty_enter_changes_nothing() {
    auto s = open_session();
    QVERIFY(s);
    main_window w(*s);
    w.show();
    QTest::keyClick(w.input_box(), Qt::Key_Return);
    QCOMPARE(w.output_box()->toPlainText(), QString());
    QCOMPARE(contents("log.txt"), QByteArray());

    type_text(w.input_box(), "一行目");
    QTest::keyClick(w.input_box(), Qt::Key_Return);
    const QString shown = w.output_box()->toPlainText();
    const QByteArray transcript = contents("log.txt");
    QVERIFY(!transcript.isEmpty());
    QTest::keyClick(w.input_box(), Qt::Key_Return);
    QTest::keyClick(w.input_box(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(w.output_box()->toPlainText(), shown);
    QCOMPARE(contents("log.txt"), transcript);
  }

  void pasted_line_is_cut_to_1022_units() {
    auto s = open_session();
    QVERIFY(s);
    main_window w(*s);
    w.show();
    QString text;
    for (int i = 0; i < 1100; ++i)
      text += QChar(u"あいうえおかきくけこ"[i % 10]);
    QApplication::clipboard()->setText(text);
    w.input_box()->paste();
    QCOMPARE(w.input_box()->toPlainText(), text);
    QTest::keyClick(w.input_box(), Qt::Key_Return);
    const QStringList lines = w.output_box()->toPlainText().split('\n');
    QCOMPARE(lines.value(0), "user > " + text.left(1022));
    QVERIFY(lines.value(1).startsWith("hagi > "));
  }

  void check_box_clicks_toggle_the_stored_byte_data() {
    QTest::addColumn<QByteArray>("stored");  // "missing": no "config"
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QByteArray>("config_after");
    QTest::newRow("no file, two clicks") << QByteArray("missing") << 2 << on;
    QTest::newRow("05, two clicks") << five << 2 << on;
    QTest::newRow("05, one click") << five << 1 << off;
    QTest::newRow("05, no click") << five << 0 << five;
    QTest::newRow("00, two clicks") << off << 2 << off;
    QTest::newRow("00, one click") << off << 1 << on;
    QTest::newRow("empty file") << QByteArray() << 0 << on;
    QTest::newRow("several bytes") << QByteArray("\x00\x01\x02", 3) << 0 << off;
  }
  void check_box_clicks_toggle_the_stored_byte() {
    QFETCH(QByteArray, stored);
    QFETCH(int, clicks);
    QFETCH(QByteArray, config_after);
    if (stored != "missing") {
      QFile file("config");
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(stored);
    }
    auto s = open_session();
    QVERIFY(s);
    const bool starts_checked = stored.isEmpty() || stored == "missing" || stored[0] != '\0';
    {
      main_window w(*s);
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      QCOMPARE(w.save_checkbox()->isChecked(), starts_checked);
      for (int i = 0; i < clicks; ++i)
        QTest::mouseClick(w.save_checkbox(), Qt::LeftButton);
      QCOMPARE(w.save_checkbox()->isChecked(), starts_checked == (clicks % 2 == 0));
      QVERIFY(w.close());
    }
    tsugihagi::finish_session(*s);
    QCOMPARE(contents("config"), config_after);
  }

  void closing_saves_data_files_only_when_the_box_is_set_data() {
    QTest::addColumn<int>("clicks");
    QTest::newRow("box cleared") << 1;
    QTest::newRow("box set") << 2;
  }
  void closing_saves_data_files_only_when_the_box_is_set() {
    QFETCH(int, clicks);
    const bool saves = clicks % 2 == 0;
    auto s = open_session();
    QVERIFY(s);
    // The files have been read: remove them, so that any write shows.
    for (const QString& name : data_files)
      QVERIFY(QFile::remove("data/" + name));
    {
      main_window w(*s);
      w.show();
      type_text(w.input_box(), "保存のテスト");
      QTest::keyClick(w.input_box(), Qt::Key_Return);
      for (int i = 0; i < clicks; ++i)
        QTest::mouseClick(w.save_checkbox(), Qt::LeftButton);
      QVERIFY(w.close());  // the save runs when the window closes
      for (const QString& name : data_files)
        QCOMPARE(QFile::exists("data/" + name), saves);
    }
    tsugihagi::finish_session(*s);
    for (const QString& name : data_files)
      QCOMPARE(QFile::exists("data/" + name), saves);
    QCOMPARE(contents("config"), saves ? on : off);
    if (saves) QVERIFY(open_session());  // the saved state loads again
  }

  void missing_data_file_shows_its_message_and_saves_nothing_data() {
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("message");
    QTest::newRow("hdid") << "hdid.data"
                          << "辞書の読み込みに失敗しました...";
    QTest::newRow("dic") << "dic.data"
                         << "辞書の読み込みに失敗しました...";
    QTest::newRow("log") << "log.data"
                         << "ログの読み込みに失敗しました...";
  }
  void missing_data_file_shows_its_message_and_saves_nothing() {
    QFETCH(QString, missing);
    QFETCH(QString, message);
    QVERIFY(QFile::remove("data/" + missing));
    session s(std::filesystem::current_path(), fixed_clock);
    QStringList messages;
    QVERIFY(!tsugihagi::qt::start(s, [&](const QString& text) { messages << text; }));
    QCOMPARE(messages, QStringList{message});
    tsugihagi::finish_session(s);
    for (const QString& name : data_files) {
      QCOMPARE(contents("data/" + name), name == missing ? "missing" : QByteArray());
    }
    QCOMPARE(contents("config"), on);
  }

  void termination_signal_closes_the_window_and_saves_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void termination_signal_closes_the_window_and_saves() {
    QFETCH(int, signal);
    const tsugihagi::qt::session_end_watch watch;
    auto s = open_session();
    QVERIFY(s);
    for (const QString& name : data_files)
      QVERIFY(QFile::remove("data/" + name));
    main_window w(*s);
    w.show();
    type_text(w.input_box(), "シグナルのテスト");
    QTest::keyClick(w.input_box(), Qt::Key_Return);
    QVERIFY(std::raise(signal) == 0);  // without the watch this ends the test program
    QTRY_VERIFY(!w.isVisible());
    for (const QString& name : data_files)
      QVERIFY2(QFile::exists("data/" + name), qPrintable(name));
  }

  void quitting_the_application_closes_the_window_and_saves() {
    const tsugihagi::qt::session_end_watch watch;
    auto s = open_session();
    QVERIFY(s);
    for (const QString& name : data_files)
      QVERIFY(QFile::remove("data/" + name));
    main_window w(*s);
    w.show();
    QApplication::setQuitOnLastWindowClosed(false);
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QApplication::exec();  // quitting, as at logout, closes the windows
    QApplication::setQuitOnLastWindowClosed(true);
    QVERIFY(!w.isVisible());
    for (const QString& name : data_files)
      QVERIFY2(QFile::exists("data/" + name), qPrintable(name));
  }

  void the_program_saves_and_exits_normally_on_a_termination_signal_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void the_program_saves_and_exits_normally_on_a_termination_signal() {
    QFETCH(int, signal);
    age_data_files();
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir_->path());
    program.start(TSUGIHAGI_QT_PROGRAM, {});
    QVERIFY(program.waitForStarted());
    // "log.txt" is created once the handlers are in place; the signal is read in the event
    // loop, once the window is up.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists("log.txt"), 20000);
    QVERIFY(::kill(static_cast<pid_t>(program.processId()), signal) == 0);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(data_files_rewritten());
    QCOMPARE(contents("config"), on);
  }

  void a_second_program_on_a_locked_folder_is_refused() {
    const QStringList lines = {"こんにちは", "今日はいい天気ですね"};
    {
      // The first program: its lock, its session and its window.
      const tsugihagi::folder_lock lock = tsugihagi::lock_folder(dir_->path().toStdString());
      QVERIFY(lock.acquired());
      auto s = open_session();
      QVERIFY(s);
      main_window w(*s);
      w.show();
      type_text(w.input_box(), lines[0]);
      QTest::keyClick(w.input_box(), Qt::Key_Return);
      const auto before = folder_contents(dir_->path());

      QStringList messages;
      QTimer hang_guard;  // a second program that runs its window must not block the test
      hang_guard.setSingleShot(true);
      connect(&hang_guard, &QTimer::timeout, [] { QApplication::closeAllWindows(); });
      hang_guard.start(5000);
      QCOMPARE(tsugihagi::qt::run_program(dir_->path().toStdString(),
                                          [&](const QString& text) { messages << text; }),
               0);
      QCOMPARE(messages, QStringList{"この学習データは別のつぎはぎが使用中です"});
      QCOMPARE(folder_contents(dir_->path()), before);  // nothing read over, nothing written

      type_text(w.input_box(), lines[1]);
      QTest::keyClick(w.input_box(), Qt::Key_Return);
      QVERIFY(w.close());
      tsugihagi::finish_session(*s);
    }
    QCOMPARE(folder_contents(dir_->path()), contents_after_a_run_alone(lines));
  }

  void start_up_message_box_has_default_caption_ok_only_and_no_icon() {
    QString seen;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      poll.stop();
      seen = QStringList{box->windowTitle(), box->text(), QString::number(box->icon()),
                         QString::number(box->buttons().size()),
                         QString::number(box->standardButtons())}
                 .join('|');
      box->button(QMessageBox::Ok)->click();
    });
    poll.start(20);
    QTimer::singleShot(10000, [] {  // never hang the run
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    QVERIFY(QFile::remove("data/idiom_hdid.data"));
    session s(std::filesystem::current_path(), fixed_clock);
    QVERIFY(!tsugihagi::qt::start(s));
    QCOMPARE(seen,
             QStringLiteral("|辞書の読み込みに失敗しました...|0|1|%1").arg(int(QMessageBox::Ok)));
  }

 private:
  // The program's start in the working folder; any message fails the test.
  std::unique_ptr<session> open_session() {
    auto s = std::make_unique<session>(std::filesystem::current_path(), fixed_clock);
    const bool ready =
        tsugihagi::qt::start(*s, [](const QString& text) { QFAIL(qPrintable(text)); });
    return ready ? std::move(s) : nullptr;
  }

  std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_MAIN(main_window_test)
#include "main_window_test.moc"
