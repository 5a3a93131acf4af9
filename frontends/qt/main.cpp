// tsugihagi: the Qt 6 window front-end for Linux. Works in the current working directory,
// which must hold "data/" with the five data files (empty files on a first run); one program
// at a time per folder.
#include <QApplication>
#include <QIcon>
#include <filesystem>

#include "frontends/qt/main_window.h"
#include "frontends/qt/session_end.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/tsugihagi-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/icons/tsugihagi-32.png"), QSize(32, 32));
  QApplication::setWindowIcon(icon);
  QGuiApplication::setDesktopFileName(QStringLiteral("tsugihagi"));

  // From here on SIGINT, SIGTERM, SIGHUP and logout close the window as its close button does.
  const tsugihagi::qt::session_end_watch watch;
  return tsugihagi::qt::run_program(std::filesystem::current_path());
}
