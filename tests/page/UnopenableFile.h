#pragma once
// A path that exists as a file (not a directory) but that cannot be opened for reading while
// this object lives, even by a privileged user: the failure that a locked or forbidden
// companion file produces.

#include <cstdint>
#include <filesystem>

class TUnopenableFile {
 public:
  explicit TUnopenableFile(std::filesystem::path path);
  ~TUnopenableFile();
  TUnopenableFile(const TUnopenableFile&) = delete;
  TUnopenableFile& operator=(const TUnopenableFile&) = delete;

  // False when the platform refused to make one; the test should then skip.
  bool Ok() const { return FOk; }

 private:
  std::filesystem::path FPath;
  std::intptr_t FHandle = -1;
  bool FOk = false;
};
