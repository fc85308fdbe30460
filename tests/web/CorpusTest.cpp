// Every request of the raw request corpus is answered or closed, and the service goes on
// serving afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/web/HTTPTestSupport.h"

namespace {

std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  const std::filesystem::path dir = std::filesystem::path(TAPDECK_SHARED_DIR) / "corpus" / "http-requests";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error))
    if (entry.path().extension() == ".http") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(HTTPRequestCorpus, EveryRequestIsAnsweredOrClosed) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no request corpus at " << TAPDECK_SHARED_DIR << "/corpus/http-requests";
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  for (const auto& file : files) {
    TTestClient client(service.Port());
    client.Send(ReadFile(file));
    // The client is done sending: whatever the request still lacks will not come.
    client.ShutdownSend();
    const TClientRead read = client.ReadAll(std::chrono::seconds(3));
    EXPECT_TRUE(read.Closed) << file.filename() << " was neither answered nor closed";
    if (!read.Bytes.empty()) {
      EXPECT_EQ(read.Bytes.rfind("HTTP/1.1 ", 0), 0u) << file.filename();
    }
    const THTTPReply next = ParseReply(Exchange(service.Port(), "GET /record HTTP/1.1\r\nHost: x\r\n\r\n").Bytes);
    EXPECT_EQ(next.Status, 200) << "after " << file.filename();
  }
  EXPECT_GE(files.size(), 166u);
}

}  // namespace
