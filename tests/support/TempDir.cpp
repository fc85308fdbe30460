#include "tests/support/TempDir.h"

#include <atomic>
#include <fstream>
#include <random>

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  FPath = std::filesystem::temp_directory_path() /
          ("tapdeck-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(FPath);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::u16string TempDir::Base() const {
  auto text = (FPath / "").u16string();
  return text;
}

std::u16string TempDir::File(std::string_view name) const { return (FPath / name).u16string(); }

void TempDir::Write(std::string_view name, std::string_view bytes) const {
  std::ofstream out(FPath / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempDir::Remove(std::string_view name) const { std::filesystem::remove(FPath / name); }
