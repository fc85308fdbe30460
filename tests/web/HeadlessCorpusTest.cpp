// The raw request corpus against tapdeck-headless as a program: every request, sent whole
// and sent one byte per write, is answered or closed in time, the program never falls over,
// and a page request right after each one is served.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/LoopbackClient.h"
#include "tests/web/ChildProcess.h"
#include "tests/web/RequestCorpus.h"

namespace {

using namespace std::chrono_literals;

TEST(HeadlessCorpus, EveryRequestWholeAndBytewiseIsAnsweredOrClosedAndThePageFollows) {
  if (!std::filesystem::exists(HeadlessProgram())) GTEST_SKIP() << "no tapdeck-headless beside the tests";
  const std::vector<std::filesystem::path> files = RequestCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no request corpus at " << TAPDECK_SHARED_DIR << "/corpus/http-requests";
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--open"});
  ASSERT_TRUE(child.Started());
  std::uint16_t port = 0;
  ReadUntilListening(child, port);
  ASSERT_NE(port, 0);

  for (const auto& file : files) {
    const std::string request = ReadFileBytes(file);
    for (const bool bytewise : {false, true}) {
      const std::string name = file.filename().string() + (bytewise ? " (one byte per send)" : " (whole)");
      TLoopbackClient client(port, {.NoDelay = true});
      ASSERT_TRUE(client.Connected()) << name << ": the program no longer accepts connections";
      // A send fails once the program has closed early (the rest of the request unread).
      if (bytewise)
        client.SendBytewise(request);
      else
        client.Send(request);
      // Done sending: whatever the request still announces will not come.
      client.ShutdownSend();
      // A generous deadline: only a connection the program keeps open takes it all.
      const TLoopbackRead read = client.Read(20s);
      EXPECT_TRUE(read.Closed) << name << " was neither answered nor closed within 20 s";
      if (!read.Bytes.empty()) {
        EXPECT_TRUE(ParseLoopbackReply(read.Bytes).Valid) << name;
      }

      const TLoopbackReply page = ParseLoopbackReply(LoopbackExchange(port, "GET / HTTP/1.1\r\nHost: x\r\n\r\n").Bytes);
      EXPECT_EQ(page.Status, 200) << "page after " << name;
      EXPECT_EQ(page.Header("Content-Length"), std::to_string(page.Body.size())) << "page after " << name;
      EXPECT_FALSE(page.Body.empty()) << "page after " << name;
      // Input lines the request may have caused are read off, so the output pipe never fills.
      while (child.ReadLine(1ms)) {
      }
    }
  }
  EXPECT_GE(files.size(), 166u);

  child.CloseInput();
  std::optional<std::string> line = child.ReadLine();
  while (line && *line != "stopped") line = child.ReadLine();
  EXPECT_EQ(line, "stopped");
  EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
