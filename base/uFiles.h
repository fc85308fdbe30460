#pragma once
// Files and the running process: one interface, one implementation per platform.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Creates a directory and every missing parent; raises EInOutError when one cannot be made.
void ForceDirectories(const std::u16string& dir);
// Puts bytes in a file whole or not at all: they are written to a temporary file in the same
// directory, flushed to the disk, and renamed over the file (creating the directory when
// missing). A reader sees the old bytes or the new ones, never a mix. With a backupPath, the
// file's old bytes are kept under that name too, written before the file is replaced: a
// replace that fails leaves the file and its old backup as they were. Raises EInOutError.
void ReplaceFileBytes(const std::u16string& path, std::string_view bytes, const std::u16string& backupPath = {});
// Renames a file, not over an existing one; false when that fails.
bool RenameFile(const std::u16string& from, const std::u16string& to);
// The names (without directory) of the files in a directory whose names end with ASuffix,
// sorted; empty when the directory cannot be read.
std::vector<std::u16string> FilesIn(const std::u16string& dir, std::u16string_view ASuffix);

// A file's size and last-write time, as one look at its directory entry gives them.
struct TFileStamp {
  std::uint64_t Size = 0;
  std::chrono::system_clock::time_point Written;
  bool operator==(const TFileStamp&) const = default;
};
// The stamp of a file; nothing when it does not exist, cannot be seen or is a directory.
std::optional<TFileStamp> FileStamp(const std::u16string& path);
// All bytes of a file another program keeps writing or replacing, but at most ALimit + 1 of
// them (so a caller sees a file over its limit without reading all of it): opened so that the
// other program may go on writing, renaming or deleting the file meanwhile, so this reader
// never holds it up. Raises EFOpenError and EInOutError as ReadFileBytes does.
std::string ReadSharedFileBytes(const std::u16string& path, std::size_t ALimit = std::string::npos - 1);
