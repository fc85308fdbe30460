#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "tests/web/ChildProcess.h"

extern char** environ;

using namespace std::chrono;

namespace {

// Reads what is there within the time left; false at the end of the stream (then *ended is
// set, when given) or the time.
bool ReadSome(int fd, std::string& out, steady_clock::time_point deadline, bool* ended = nullptr) {
  const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
  if (left <= 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
  char buffer[4096];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got <= 0) {
    if (ended) *ended = true;
    return false;
  }
  out.append(buffer, static_cast<std::size_t>(got));
  return true;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

TChildProcess::TChildProcess(const std::string& AProgram, const std::vector<std::string>& AArgs) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(AProgram.c_str()));
  for (const std::string& arg : AArgs) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, AProgram.c_str(), &actions, nullptr, argv.data(), environ) == 0) FPid = pid;
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  FInput = in[1];
  FOutput = out[0];
  FErrors = err[0];
}

TChildProcess::~TChildProcess() {
  if (FPid > 0) {
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
  }
  CloseFd(FInput);
  CloseFd(FOutput);
  CloseFd(FErrors);
}

std::optional<std::string> TChildProcess::ReadLine(milliseconds ATimeout) {
  const auto deadline = steady_clock::now() + ATimeout;
  std::size_t lf;
  while ((lf = FOutputBuffer.find('\n')) == std::string::npos)
    if (!ReadSome(FOutput, FOutputBuffer, deadline, &FOutputEnded)) return std::nullopt;
  std::string line = FOutputBuffer.substr(0, lf);
  FOutputBuffer.erase(0, lf + 1);
  return line;
}

std::string TChildProcess::ReadErrors(milliseconds ATimeout) {
  const auto deadline = steady_clock::now() + ATimeout;
  std::string errors;
  while (ReadSome(FErrors, errors, deadline)) {
  }
  return errors;
}

std::string TChildProcess::ReadErrorsUntil(std::string_view AText, milliseconds ATimeout) {
  const auto deadline = steady_clock::now() + ATimeout;
  std::string errors;
  while (errors.find(AText) == std::string::npos && ReadSome(FErrors, errors, deadline)) {
  }
  return errors;
}

bool TChildProcess::WriteInput(std::string_view ABytes) {
  while (!ABytes.empty()) {
    const ssize_t written = FInput < 0 ? -1 : ::write(FInput, ABytes.data(), ABytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    ABytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void TChildProcess::CloseInput() { CloseFd(FInput); }

void TChildProcess::Terminate() {
  if (FPid > 0) ::kill(FPid, SIGTERM);
}

std::optional<int> TChildProcess::Wait(milliseconds ATimeout) {
  if (FPid <= 0) return std::nullopt;
  const auto deadline = steady_clock::now() + ATimeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(FPid, &status, WNOHANG);
    if (done == FPid) {
      FPid = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + WTERMSIG(status);
    }
    if (steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(10));
  }
}
