#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
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

std::optional<TFileStamp> FileStamp(const std::u16string& path) {
  struct stat st {};
  if (::stat(Utf16ToUtf8(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  const auto written = std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
  return TFileStamp{static_cast<std::uint64_t>(st.st_size),
                    std::chrono::system_clock::time_point(
                        std::chrono::duration_cast<std::chrono::system_clock::duration>(written))};
}

namespace {

std::string ReadBytes(const std::u16string& path, std::size_t limit) {
  FileDescriptor file{::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0)
    throw EFOpenError(u"Cannot open file \"" + path + u"\". " + SystemErrorText(errno));
  std::string bytes;
  char chunk[65536];
  while (bytes.size() <= limit) {
    const ssize_t n = ::read(file.fd, chunk, std::min(sizeof chunk, limit + 1 - bytes.size()));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError(SystemErrorText(errno));
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  return bytes;
}

}  // namespace

// POSIX readers never hold up a writer: both reads are the same.
std::string ReadSharedFileBytes(const std::u16string& path, std::size_t ALimit) { return ReadBytes(path, ALimit); }

std::string ReadFileBytes(const std::u16string& path) { return ReadBytes(path, std::string::npos - 1); }

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

void ForceDirectories(const std::u16string& dir) {
  const std::string path = Utf16ToUtf8(dir);
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) throw EInOutError(SystemErrorText(errno));
  }
}

namespace {

// Writes the bytes whole into a new file beside ATarget and flushes them to the disk; the
// new file's name. Raises EInOutError, leaving nothing behind.
std::string WriteBeside(const std::string& ATarget, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  const std::string temp = ATarget + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  FileDescriptor file{::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
  if (file.fd < 0) throw EInOutError(SystemErrorText(errno));
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const ssize_t n = ::write(file.fd, rest.data(), rest.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::unlink(temp.c_str());
      throw EInOutError(SystemErrorText(error));
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::fsync(file.fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw EInOutError(SystemErrorText(error));
  }
  return temp;
}

}  // namespace

void ReplaceFileBytes(const std::u16string& path, std::string_view bytes, const std::u16string& backupPath) {
  const std::u16string dir = ExtractFilePath(path);
  if (!dir.empty()) ForceDirectories(dir);
  const std::string target = Utf16ToUtf8(path);
  // Everything is written before anything is renamed, so a write that fails (no room, no
  // right) leaves the file and its old backup as they were.
  const std::string temp = WriteBeside(target, bytes);
  std::string backupTemp;
  if (!backupPath.empty() && FileExists(path)) {
    try {
      backupTemp = WriteBeside(Utf16ToUtf8(backupPath), ReadFileBytes(path));
    } catch (...) {
      ::unlink(temp.c_str());
      throw;
    }
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    if (!backupTemp.empty()) ::unlink(backupTemp.c_str());
    throw EInOutError(SystemErrorText(error));
  }
  // The new bytes are in place; a backup that cannot be renewed stays as it was.
  if (!backupTemp.empty() && ::rename(backupTemp.c_str(), Utf16ToUtf8(backupPath).c_str()) != 0)
    ::unlink(backupTemp.c_str());
}

std::vector<std::u16string> FilesIn(const std::u16string& dir, std::u16string_view ASuffix) {
  std::vector<std::u16string> names;
  DIR* d = ::opendir(Utf16ToUtf8(dir.empty() ? u"." : dir).c_str());
  if (!d) return names;
  while (const dirent* entry = ::readdir(d)) {
    const std::u16string name = Utf8ToUtf16(entry->d_name);
    if (name.size() > ASuffix.size() && name.ends_with(ASuffix) && FileExists(dir + name)) names.push_back(name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

bool RenameFile(const std::u16string& from, const std::u16string& to) {
  // rename() would replace an existing target.
  if (FileExists(to)) return false;
  return ::rename(Utf16ToUtf8(from).c_str(), Utf16ToUtf8(to).c_str()) == 0;
}
