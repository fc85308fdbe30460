// A bound Unix-domain socket: stat() sees an entry that is no directory, open() fails with
// ENXIO for everyone, root included.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "tests/page/UnopenableFile.h"

TUnopenableFile::TUnopenableFile(std::filesystem::path path) : FPath(std::move(path)) {
  const std::string name = FPath.string();
  sockaddr_un address{};
  if (name.size() >= sizeof address.sun_path) return;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return;
  }
  FHandle = fd;
  FOk = true;
}

TUnopenableFile::~TUnopenableFile() {
  if (FHandle >= 0) {
    ::close(static_cast<int>(FHandle));
    ::unlink(FPath.c_str());
  }
}
