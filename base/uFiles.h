#pragma once
// Files and the running process: one interface, one implementation per platform.

#include <string>
#include <string_view>

// Full path of the running executable.
std::u16string ExecutablePath();
// The separator that ends a directory path on this platform.
char16_t PathDelimiter();
// Everything up to and including the last path separator.
std::u16string ExtractFilePath(std::u16string_view path);
// True when a file of that name exists; symbolic links are followed, directories do not count.
bool FileExists(const std::u16string& path);
// All bytes of a file, opened so that other readers are allowed and writers refused where
// the platform can. Raises EFOpenError `Cannot open file "<path>". <system text>` when the
// file cannot be opened, EInOutError when reading fails.
std::string ReadFileBytes(const std::u16string& path);
// Appends bytes to a file, creating it when missing; raises EInOutError on failure.
void AppendFileBytes(const std::u16string& path, std::string_view bytes);
