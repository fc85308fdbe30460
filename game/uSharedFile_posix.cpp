#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/uErrors.h"
#include "base/uText.h"
#include "game/uSharedFile.h"

std::optional<TSharedFileStamp> SharedFileStamp(const std::u16string& APath) {
  struct stat st {};
  if (::stat(Utf16ToUtf8(APath).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return TSharedFileStamp{static_cast<std::uint64_t>(st.st_size),
                          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::string ReadSharedFile(const std::u16string& APath, std::size_t ALimit) {
  const int fd = ::open(Utf16ToUtf8(APath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(u"Cannot open file \"" + APath + u"\". " + Utf8ToUtf16(std::strerror(errno)));
  std::string bytes;
  char chunk[65536];
  while (bytes.size() <= ALimit) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, ALimit + 1 - bytes.size()));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw EInOutError(Utf8ToUtf16(std::strerror(error)));
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}
