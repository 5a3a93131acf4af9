// tsugihagi: the Qt 6 window front-end for Linux. Works in the current working directory,
// which must hold "data/" with the five data files (empty files on a first run).
#include <QApplication>
#include <QIcon>
#include <filesystem>

#include "main_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/tsugihagi-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/icons/tsugihagi-32.png"), QSize(32, 32));
  QApplication::setWindowIcon(icon);
  QGuiApplication::setDesktopFileName(QStringLiteral("tsugihagi"));

  tsugihagi::session s(std::filesystem::current_path());
  if (tsugihagi::qt::start(s)) {
    tsugihagi::qt::main_window window(s);
    window.show();
    QApplication::exec();
  }  // the window is gone: the learned state has been saved if the box was set
  tsugihagi::finish_session(s);
  return 0;
}
