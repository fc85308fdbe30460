#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "tools/uStopRequest.h"

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void PrepareStopRequest() {
  // Blocked here, the signals are inherited blocked by every thread and wait for sigwait.
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A reader that went away makes writes to standard output fail instead of killing us.
  signal(SIGPIPE, SIG_IGN);
}

void WaitForStopRequest() {
  // The end of standard input is turned into a stop signal, so one wait covers both.
  std::thread([] {
    char buffer[256];
    for (;;) {
      const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got > 0 || (got < 0 && errno == EINTR)) continue;
      ::kill(::getpid(), SIGTERM);
      return;
    }
  }).detach();
  const sigset_t set = StopSignals();
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
}
