#pragma once
// A path whose reader waits in its open until the test releases it with the bytes it is to
// read: a named pipe, where the platform has them. Lets a test hold a request between the
// start of its read and the rest of its work.

#include <filesystem>
#include <string_view>

class TGatedFile {
 public:
  explicit TGatedFile(std::filesystem::path path);
  // A reader still waiting gets the end of the file.
  ~TGatedFile();
  TGatedFile(const TGatedFile&) = delete;
  TGatedFile& operator=(const TGatedFile&) = delete;

  // False when the platform refused to make one; the test should then skip.
  bool Ok() const { return FOk; }
  // Waits until a reader has opened the path, then gives it ABytes and the end of the file.
  void Release(std::string_view ABytes);

 private:
  std::filesystem::path FPath;
  bool FOk = false;
  bool FReleased = false;
};
