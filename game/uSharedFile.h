#pragma once
// The game's own files, read while the game may be rewriting them: looked at (size and time of
// the last write) to see a change, and read without ever holding up the game's writer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What one look at a file's directory entry tells: a change of either means a new file.
struct TSharedFileStamp {
  std::uint64_t Size = 0;
  std::int64_t Written = 0;  // the platform's own time of the last write, as a count
  bool operator==(const TSharedFileStamp&) const = default;
};

// The stamp of a file; nothing when it does not exist, cannot be seen or is a directory.
std::optional<TSharedFileStamp> SharedFileStamp(const std::u16string& APath);

// The file's bytes, but at most ALimit + 1 of them (so a caller sees a file over its limit
// without reading all of it). Opened so that other programs may go on writing, renaming or
// deleting the file. Raises EFOpenError when it cannot be opened, EInOutError when reading fails.
std::string ReadSharedFile(const std::u16string& APath, std::size_t ALimit);
