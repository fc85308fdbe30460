// A FIFO: open() for reading blocks until a writer opens the other end.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/page/GatedFile.h"

TGatedFile::TGatedFile(std::filesystem::path path) : FPath(std::move(path)) {
  FOk = ::mkfifo(FPath.c_str(), 0600) == 0;
}

TGatedFile::~TGatedFile() {
  if (!FOk || FReleased) return;
  // Opening without blocking succeeds only while a reader waits; closing hands it the end.
  const int fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  ::unlink(FPath.c_str());
}

void TGatedFile::Release(std::string_view ABytes) {
  if (!FOk || FReleased) return;
  FReleased = true;
  const int fd = ::open(FPath.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  while (!ABytes.empty()) {
    const ssize_t n = ::write(fd, ABytes.data(), ABytes.size());
    if (n <= 0) break;
    ABytes.remove_prefix(static_cast<std::size_t>(n));
  }
  ::close(fd);
}
