#include "frontends/qt/session_end.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QWidget>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace tsugihagi::qt {
namespace {

constexpr std::array<int, 3> watched_signals = {SIGINT, SIGTERM, SIGHUP};

// The self-pipe: [0] read by the notifier, [1] written by the handler.
int signal_pipe[2] = {-1, -1};
struct sigaction previous_actions[watched_signals.size()];

extern "C" void on_signal(int number) {
  const int saved_errno = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t written = ::write(signal_pipe[1], &byte, 1);
  errno = saved_errno;
}

// As the close buttons do; a start-up message box counts as answered.
void close_all_windows() {
  QApplication::closeAllWindows();
}

}  // namespace

session_end_watch::session_end_watch(QObject* parent) : QObject(parent) {
  if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) std::abort();
  notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &session_end_watch::signal_arrived);

  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < watched_signals.size(); ++i)
    ::sigaction(watched_signals[i], &action, &previous_actions[i]);

  // Logout: the session manager asks for the data first; a plain quit closes them too.
  connect(qApp, &QGuiApplication::commitDataRequest, this,
          [](QSessionManager&) { close_all_windows(); });
  connect(qApp, &QCoreApplication::aboutToQuit, this, [] { close_all_windows(); });
}

session_end_watch::~session_end_watch() {
  for (std::size_t i = 0; i < watched_signals.size(); ++i)
    ::sigaction(watched_signals[i], &previous_actions[i], nullptr);
  delete notifier_;
  ::close(signal_pipe[0]);
  ::close(signal_pipe[1]);
  signal_pipe[0] = signal_pipe[1] = -1;
}

void session_end_watch::signal_arrived() {
  char bytes[16];
  while (::read(signal_pipe[0], bytes, sizeof bytes) > 0) {
  }
  close_all_windows();
}

}  // namespace tsugihagi::qt
