// Every request of the raw request corpus is answered or closed, and the service goes on
// serving afterwards.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/web/HTTPTestSupport.h"
#include "tests/web/RequestCorpus.h"

namespace {

TEST(HTTPRequestCorpus, EveryRequestIsAnsweredOrClosed) {
  const std::vector<std::filesystem::path> files = RequestCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no request corpus at " << TAPDECK_SHARED_DIR << "/corpus/http-requests";
  TTestRoutes routes;
  TTestService service(routes);
  service.Start();
  for (const auto& file : files) {
    TTestClient client(service.Port());
    client.Send(ReadFileBytes(file));
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
