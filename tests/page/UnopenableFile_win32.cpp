// A file held open without any sharing: every other open fails with a sharing violation.

#include <windows.h>

#include "tests/page/UnopenableFile.h"

TUnopenableFile::TUnopenableFile(std::filesystem::path path) : FPath(std::move(path)) {
  const HANDLE handle = ::CreateFileW(FPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FHandle = reinterpret_cast<std::intptr_t>(handle);
  FOk = true;
}

TUnopenableFile::~TUnopenableFile() {
  if (FOk) {
    ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
    ::DeleteFileW(FPath.c_str());
  }
}
