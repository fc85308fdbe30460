#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>
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

void WaitForStopRequest(void (*AOnLine)(const std::string& ALine)) {
  // The end of standard input is turned into a stop signal, so one wait covers both.
  std::thread([AOnLine] {
    std::string pending;
    char buffer[256];
    for (;;) {
      const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(got));
      for (std::size_t lf; (lf = pending.find('\n')) != std::string::npos; pending.erase(0, lf + 1)) {
        const std::size_t end = lf > 0 && pending[lf - 1] == '\r' ? lf - 1 : lf;
        AOnLine(pending.substr(0, end));
      }
    }
    ::kill(::getpid(), SIGTERM);
  }).detach();
  const sigset_t set = StopSignals();
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
}
