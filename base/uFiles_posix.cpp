#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uText.h"

namespace {

std::u16string SystemErrorText(int error) { return Utf8ToUtf16(std::strerror(error)); }

// Closes the descriptor on every way out.
struct FileDescriptor {
  int fd;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::u16string ExecutablePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return Utf8ToUtf16(std::string_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

char16_t PathDelimiter() { return u'/'; }

std::u16string ExtractFilePath(std::u16string_view path) {
  const auto pos = path.find_last_of(u'/');
  return pos == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, pos + 1));
}

bool FileExists(const std::u16string& path) {
  struct stat st {};
  return ::stat(Utf16ToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ReadFileBytes(const std::u16string& path) {
  FileDescriptor file{::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0)
    throw EFOpenError(u"Cannot open file \"" + path + u"\". " + SystemErrorText(errno));
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError(SystemErrorText(errno));
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  return bytes;
}

void AppendFileBytes(const std::u16string& path, std::string_view bytes) {
  FileDescriptor file{::open(Utf16ToUtf8(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644)};
  if (file.fd < 0) throw EInOutError(SystemErrorText(errno));
  while (!bytes.empty()) {
    const ssize_t n = ::write(file.fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError(SystemErrorText(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}
