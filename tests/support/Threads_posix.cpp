#include "tests/support/Threads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

int ProcessThreadCount() {
  std::error_code error;
  std::filesystem::directory_iterator it("/proc/self/task", error);
  if (error) return -1;
  int count = 0;
  for (; it != std::filesystem::directory_iterator(); ++it) ++count;
  return count;
}

std::int64_t CurrentThreadId() { return static_cast<std::int64_t>(::syscall(SYS_gettid)); }

std::optional<bool> ThreadBlockedInSystemCall(std::int64_t AThreadId) {
  // "running", or the number of the system call the thread waits in (-1 outside of one).
  std::ifstream in("/proc/self/task/" + std::to_string(AThreadId) + "/syscall");
  std::string first;
  if (!(in >> first)) return std::nullopt;
  if (first == "running") return false;
  const long call = std::stol(first);
  return call >= 0 && call != SYS_futex;
}
