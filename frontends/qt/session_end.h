// Ends the window program as its close button does when the system or the desktop session
// ends it: on SIGINT, SIGTERM and SIGHUP, on the session manager's request to commit data at
// logout, and when the application is told to quit, every top-level window is closed, so the main
// window saves the learned state when its check box is set, and the program then exits
// normally (transcript closed, "config" written). A signal handler may do next to nothing,
// so it only writes the signal's number to a pipe, which a socket notifier reads in the
// event loop. Costs one pipe and one notifier for the life of the program.
#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace tsugihagi::qt {

class session_end_watch : public QObject {
 public:
  // Installs the signal handlers and connects to the application's session signals.
  // REQUIRES: a QGuiApplication exists; at most one watch exists at a time.
  explicit session_end_watch(QObject* parent = nullptr);
  // Puts the previous signal handlers back.
  ~session_end_watch() override;
  session_end_watch(const session_end_watch&) = delete;
  session_end_watch& operator=(const session_end_watch&) = delete;

 private:
  void signal_arrived();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tsugihagi::qt
