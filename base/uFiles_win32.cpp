#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uSystem_win32.h"
#include "base/uText.h"

namespace {

// Closes the handle on every way out.
struct FileHandle {
  HANDLE handle;
  ~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
};

std::u16string LastErrorText() { return SystemErrorText(::GetLastError()); }

// A link (reparse point) counts only when what it leads to exists and is no directory.
bool LinkTargetIsFile(const std::wstring& path) {
  FileHandle file{::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  if (!file.Valid()) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(file.handle, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::u16string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer means the path was cut: try again with more room.
    if (n < buffer.size()) return FromWide(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

char16_t PathDelimiter() { return u'\\'; }

std::u16string ExtractFilePath(std::u16string_view path) {
  const auto pos = path.find_last_of(u"\\/:");
  return pos == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, pos + 1));
}

bool FileExists(const std::u16string& path) {
  const std::wstring wide = ToWide(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return LinkTargetIsFile(wide);
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<TFileStamp> FileStamp(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  // FILETIME counts 100 ns ticks from 1601; the system clock counts from 1970.
  constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ULL;
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  const auto since1970 = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>(
      static_cast<std::int64_t>(ticks) - static_cast<std::int64_t>(kTicksFrom1601To1970));
  return TFileStamp{(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                    std::chrono::system_clock::time_point(
                        std::chrono::duration_cast<std::chrono::system_clock::duration>(since1970))};
}

namespace {

std::string ReadAll(const std::u16string& path, DWORD share, std::size_t limit = std::string::npos - 1) {
  FileHandle file{::CreateFileW(ToWide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (!file.Valid()) throw EFOpenError(u"Cannot open file \"" + path + u"\". " + LastErrorText());
  std::string bytes;
  std::vector<char> chunk(65536);
  while (bytes.size() <= limit) {
    DWORD n = 0;
    const std::size_t want = std::min(chunk.size(), limit + 1 - bytes.size());
    if (!::ReadFile(file.handle, chunk.data(), static_cast<DWORD>(want), &n, nullptr))
      throw EInOutError(LastErrorText());
    if (n == 0) break;
    bytes.append(chunk.data(), n);
  }
  return bytes;
}

}  // namespace

// Other readers may share the file; a writer holding it open refuses us, and we refuse it.
std::string ReadFileBytes(const std::u16string& path) { return ReadAll(path, FILE_SHARE_READ); }

std::string ReadSharedFileBytes(const std::u16string& path, std::size_t ALimit) {
  return ReadAll(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, ALimit);
}

void AppendFileBytes(const std::u16string& path, std::string_view bytes) {
  FileHandle file{::CreateFileW(ToWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (!file.Valid()) throw EInOutError(LastErrorText());
  while (!bytes.empty()) {
    DWORD n = 0;
    if (!::WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr))
      throw EInOutError(LastErrorText());
    bytes.remove_prefix(n);
  }
}

void ForceDirectories(const std::u16string& dir) {
  for (std::size_t i = 1; i <= dir.size(); ++i) {
    if (i < dir.size() && dir[i] != u'\\' && dir[i] != u'/') continue;
    const std::u16string part = dir.substr(0, i);
    if (part.size() == 2 && part[1] == u':') continue;  // a drive
    if (!::CreateDirectoryW(ToWide(part).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
      throw EInOutError(LastErrorText());
  }
}

namespace {

// Writes the bytes whole into a new file beside APath and flushes them to the disk; the new
// file's name. Raises EInOutError, leaving nothing behind.
std::u16string WriteBeside(const std::u16string& APath, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  const std::u16string temp = APath + u".tmp" + AsciiToUtf16(std::to_string(::GetCurrentProcessId()) + "-" +
                                                           std::to_string(counter++));
  FileHandle file{::CreateFileW(ToWide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr)};
  if (!file.Valid()) throw EInOutError(LastErrorText());
  std::string_view rest = bytes;
  while (!rest.empty()) {
    DWORD n = 0;
    if (!::WriteFile(file.handle, rest.data(), static_cast<DWORD>(rest.size()), &n, nullptr)) {
      const std::u16string error = LastErrorText();
      ::CloseHandle(file.handle);
      file.handle = INVALID_HANDLE_VALUE;
      ::DeleteFileW(ToWide(temp).c_str());
      throw EInOutError(error);
    }
    rest.remove_prefix(n);
  }
  ::FlushFileBuffers(file.handle);
  return temp;
}

bool MoveOver(const std::u16string& AFrom, const std::u16string& ATo) {
  return ::MoveFileExW(ToWide(AFrom).c_str(), ToWide(ATo).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

}  // namespace

void ReplaceFileBytes(const std::u16string& path, std::string_view bytes, const std::u16string& backupPath) {
  const std::u16string dir = ExtractFilePath(path);
  if (!dir.empty()) ForceDirectories(dir);
  // Everything is written before anything is renamed, so a write that fails (no room, no
  // right, a file another program holds) leaves the file and its old backup as they were.
  const std::u16string temp = WriteBeside(path, bytes);
  std::u16string backupTemp;
  if (!backupPath.empty() && FileExists(path)) {
    try {
      backupTemp = WriteBeside(backupPath, ReadFileBytes(path));
    } catch (...) {
      ::DeleteFileW(ToWide(temp).c_str());
      throw;
    }
  }
  if (!MoveOver(temp, path)) {
    const std::u16string error = LastErrorText();
    ::DeleteFileW(ToWide(temp).c_str());
    if (!backupTemp.empty()) ::DeleteFileW(ToWide(backupTemp).c_str());
    throw EInOutError(error);
  }
  // The new bytes are in place; a backup that cannot be renewed stays as it was.
  if (!backupTemp.empty() && !MoveOver(backupTemp, backupPath)) ::DeleteFileW(ToWide(backupTemp).c_str());
}

std::vector<std::u16string> FilesIn(const std::u16string& dir, std::u16string_view ASuffix) {
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW(ToWide(dir + u"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
    if (name.size() > ASuffix.size() && name.ends_with(ASuffix)) names.push_back(name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

bool RenameFile(const std::u16string& from, const std::u16string& to) {
  return ::MoveFileExW(ToWide(from).c_str(), ToWide(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}
