#include "tests/web/RequestCorpus.h"

#include <algorithm>
#include <fstream>
#include <sstream>

std::vector<std::filesystem::path> RequestCorpusFiles() {
  std::vector<std::filesystem::path> files;
  const std::filesystem::path dir = std::filesystem::path(TAPDECK_SHARED_DIR) / "corpus" / "http-requests";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error))
    if (entry.path().extension() == ".http") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadFileBytes(const std::filesystem::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
