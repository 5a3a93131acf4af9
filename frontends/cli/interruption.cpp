#include "frontends/cli/interruption.h"

#include <csignal>
#include <initializer_list>

namespace tsugihagi {
namespace {

volatile std::sig_atomic_t received = 0;

void on_end_signal(int signal) {
  received = signal;
}

}  // namespace

void catch_end_signals() {
  struct sigaction action {};
  action.sa_handler = on_end_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // no SA_RESTART: a blocked read returns with EINTR
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

void hold_end_signals() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    sigaddset(&held, signal);
  sigprocmask(SIG_BLOCK, &held, nullptr);
}

bool interrupted() {
  return received != 0;
}

int interrupting_signal() {
  return received;
}

}  // namespace tsugihagi
