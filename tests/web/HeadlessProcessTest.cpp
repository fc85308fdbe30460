// tapdeck-headless as a program: start, the listening lines, a page fetch, stop.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "base/uSockets.h"
#include "tests/support/TempDir.h"
#include "tests/web/ChildProcess.h"
#include "tests/web/HTTPTestSupport.h"

namespace {

class HeadlessProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(HeadlessProgram())) GTEST_SKIP() << "no tapdeck-headless beside the tests";
    // The page files as built, beside the tests.
    const std::filesystem::path built = std::filesystem::path(HeadlessProgram()).parent_path();
    for (const char* name : {"index.html", "script.js", "styles.css"})
      std::filesystem::copy_file(built / name, Dir.Path() / name);
  }

  // Reads the listening lines, after the joystick calls of the start; the IPv4 port.
  std::uint16_t ReadListening(TChildProcess& child) {
    std::optional<std::string> line = child.ReadLine();
    while (line && line->rfind("joy ", 0) == 0) line = child.ReadLine();
    EXPECT_TRUE(line && line->rfind("listening IPv4 ", 0) == 0) << line.value_or("(no line)");
    if (!line || line->rfind("listening IPv4 ", 0) != 0) return 0;
    const auto port = static_cast<std::uint16_t>(std::stoi(line->substr(15)));
    if (IPv6Supported()) {
      line = child.ReadLine();
      EXPECT_TRUE(line && line->rfind("listening IPv6 ", 0) == 0) << line.value_or("(no line)");
    }
    return port;
  }

  TempDir Dir;
};

TEST_F(HeadlessProcess, ServesUntilStandardInputEnds) {
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--dir", Dir.Path().string(), "--title", "Headless Title"});
  ASSERT_TRUE(child.Started());
  const std::uint16_t port = ReadListening(child);
  ASSERT_NE(port, 0);
  const THTTPReply reply = ParseReply(Exchange(port, "GET / HTTP/1.1\r\nHost: x\r\n\r\n").Bytes);
  EXPECT_EQ(reply.Status, 200);
  EXPECT_NE(reply.Body.find("Headless Title"), std::string::npos);
  child.CloseInput();
  EXPECT_EQ(child.ReadLine(), "stopped");
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(HeadlessProcess, StopsOnSigterm) {
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--dir", Dir.Path().string()});
  ASSERT_TRUE(child.Started());
  ASSERT_NE(ReadListening(child), 0);
  child.Terminate();
  EXPECT_EQ(child.ReadLine(), "stopped");
  EXPECT_EQ(child.Wait(), 0);
}

// --timestamps: every output line starts with the milliseconds since the start, three
// decimals and a blank; the times never go back. Without it, lines start with their text.
TEST_F(HeadlessProcess, TimestampsStartEveryLineAndRise) {
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--dir", Dir.Path().string(), "--timestamps"});
  ASSERT_TRUE(child.Started());
  const std::regex stamped(R"(^(\d+\.\d{3}) (.+)$)");
  std::vector<std::string> texts;
  double last = 0;
  std::uint16_t port = 0;
  auto readStamped = [&] {
    const std::optional<std::string> line = child.ReadLine();
    std::smatch m;
    if (!line || !std::regex_match(*line, m, stamped)) {
      ADD_FAILURE() << "not a stamped line: " << line.value_or("(none)");
      return false;
    }
    const double time = std::stod(m[1].str());
    EXPECT_GE(time, last) << *line;
    last = time;
    texts.push_back(m[2].str());
    return true;
  };
  while (port == 0 && readStamped()) {
    if (texts.back().rfind("listening IPv4 ", 0) == 0) port = static_cast<std::uint16_t>(std::stoi(texts.back().substr(15)));
  }
  ASSERT_NE(port, 0);
  EXPECT_EQ(texts.front(), "joy AcquireVJD 2");
  if (IPv6Supported()) {
    ASSERT_TRUE(readStamped());
  }
  EXPECT_EQ(ParseReply(Exchange(port, "GET /KeyboardKey?str=a HTTP/1.1\r\nHost: x\r\n\r\n").Bytes).Status, 200);
  ASSERT_TRUE(readStamped());
  ASSERT_TRUE(readStamped());
  EXPECT_EQ(std::vector<std::string>(texts.end() - 2, texts.end()),
            (std::vector<std::string>{"key vk=0x41 scan=30 flags=0 extra=13", "key vk=0x41 scan=30 flags=2 extra=13"}));
  child.CloseInput();
  ASSERT_TRUE(readStamped());
  EXPECT_EQ(texts.back(), "stopped");
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(HeadlessProcess, TakenPortIsAnErrorWithStatus1) {
  TSocket other = TSocket::Open(TIPVersion::IPv4);
  ASSERT_TRUE(other.Bind("", 0));
  ASSERT_TRUE(other.Listen(1));
  TChildProcess child(HeadlessProgram(), {"--port", std::to_string(other.LocalPort()), "--dir", Dir.Path().string()});
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.ReadErrors(), "error: Could not bind socket. Address and port are already in use.\n");
  // The joystick was acquired before the bind failed; nothing else is printed.
  std::optional<std::string> line = child.ReadLine();
  while (line && line->rfind("joy ", 0) == 0) line = child.ReadLine();
  EXPECT_EQ(line, std::nullopt);
  EXPECT_EQ(child.Wait(), 1);
}

TEST_F(HeadlessProcess, InvalidOptionsAreRefused) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--port", "70000"}, {"--device", "17"}, {"--keys", "loud"}, {"--joystick", "x"}, {"--frobnicate"}, {"--dir"}}) {
    TChildProcess child(HeadlessProgram(), args);
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.ReadErrors().rfind("error: ", 0), 0u) << args[0];
    EXPECT_EQ(child.Wait(), 2) << args[0];
  }
}

}  // namespace
