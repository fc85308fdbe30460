#pragma once
// A fresh directory for one test, removed with everything in it afterwards.

#include <filesystem>
#include <string>
#include <string_view>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // The directory as text, ending with the path separator.
  std::u16string Base() const;
  std::u16string File(std::string_view name) const;
  void Write(std::string_view name, std::string_view bytes) const;
  void Remove(std::string_view name) const;

 private:
  std::filesystem::path FPath;
};
