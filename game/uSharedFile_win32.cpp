#include <algorithm>
#include <vector>

#include "base/uErrors.h"
#include "base/uSystem_win32.h"
#include "game/uSharedFile.h"

std::optional<TSharedFileStamp> SharedFileStamp(const std::u16string& APath) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(ToWide(APath).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return TSharedFileStamp{(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                          static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                                    data.ftLastWriteTime.dwLowDateTime)};
}

std::string ReadSharedFile(const std::u16string& APath, std::size_t ALimit) {
  // Every sharing right: the game may write, replace or delete the file while it is read.
  const HANDLE file = ::CreateFileW(ToWide(APath).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw EFOpenError(u"Cannot open file \"" + APath + u"\". " + SystemErrorText(::GetLastError()));
  std::string bytes;
  std::vector<char> chunk(65536);
  while (bytes.size() <= ALimit) {
    DWORD n = 0;
    const DWORD wanted = static_cast<DWORD>(std::min(chunk.size(), ALimit + 1 - bytes.size()));
    if (!::ReadFile(file, chunk.data(), wanted, &n, nullptr)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(file);
      throw EInOutError(SystemErrorText(error));
    }
    if (n == 0) break;
    bytes.append(chunk.data(), n);
  }
  ::CloseHandle(file);
  return bytes;
}
