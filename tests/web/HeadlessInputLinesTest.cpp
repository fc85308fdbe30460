// tapdeck-headless prints what the input routes do: the recorder's key lines, the simulated
// joystick's joy lines, and the start failures of a broken joystick.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/web/ChildProcess.h"
#include "tests/web/HTTPTestSupport.h"

namespace {

// The next lines that are neither listening nor empty.
std::vector<std::string> ReadInputLines(TChildProcess& AChild, std::size_t ACount) {
  std::vector<std::string> lines;
  while (lines.size() < ACount) {
    std::optional<std::string> line = AChild.ReadLine();
    if (!line) break;
    if (line->rfind("listening ", 0) != 0) lines.push_back(*line);
  }
  return lines;
}

class HeadlessInputLines : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(HeadlessProgram())) GTEST_SKIP() << "no tapdeck-headless beside the tests";
  }
};

TEST_F(HeadlessInputLines, PrintsTheStartsAcquisitionThenEveryKeyAndButton) {
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--open", "--device", "3"});
  ASSERT_TRUE(child.Started());
  std::uint16_t port = 0;
  const std::vector<std::string> start = ReadUntilListening(child, port);
  ASSERT_NE(port, 0);
  EXPECT_EQ(start, (std::vector<std::string>{"joy AcquireVJD 3", "joy ResetVJD 3", "joy ResetPovs 3",
                                             "joy ResetButtons 3", "listening IPv4 " + std::to_string(port)}));

  EXPECT_EQ(ParseReply(Exchange(port, "GET /KeyboardKey?str=%2Ba HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes).Status, 200);
  EXPECT_EQ(ReadInputLines(child, 4),
            (std::vector<std::string>{"key vk=0x10 scan=42 flags=0 extra=13", "key vk=0x41 scan=30 flags=0 extra=13",
                                      "key vk=0x41 scan=30 flags=2 extra=13", "key vk=0x10 scan=42 flags=2 extra=13"}));
  EXPECT_EQ(ParseReply(Exchange(port, "GET /ButtonsPress?str=,9,1 HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes).Status, 200);
  EXPECT_EQ(ReadInputLines(child, 4), (std::vector<std::string>{"joy SetBtn -1 3 9", "joy SetBtn 0 3 9",
                                                                 "joy SetBtn -1 3 1", "joy SetBtn 0 3 1"}));
  EXPECT_EQ(ParseReply(Exchange(port, "GET /KeyboardKey?str=%7BNOSUCH%7D HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes).Status, 200);
  EXPECT_EQ(ReadInputLines(child, 1), std::vector<std::string>{"log KEY Invalid Key Name"});
  child.CloseInput();
  EXPECT_EQ(child.ReadLine(), "stopped");
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(HeadlessInputLines, ABrokenJoystickStopsTheStart) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--version-mismatch"}, "error: Version of Driver (534) does NOT match DLL Version (537)\n"},
      {{"--missing-device", "2"}, "error: vJoy Device 2 is missing\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"--port", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    TChildProcess child(HeadlessProgram(), args);
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.ReadErrors(), c.error);
    EXPECT_EQ(child.Wait(), 1);
  }
}

// The window's buttons as lines on standard input: Stop and Start keep the device, a new
// device number gives the old one up and the next Start takes the new one.
TEST_F(HeadlessInputLines, StandardInputCommandsStopStartAndChangeTheDevice) {
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--open", "--device", "2", "--missing-device", "4"});
  ASSERT_TRUE(child.Started());
  std::uint16_t port = 0;
  ReadUntilListening(child, port);
  ASSERT_NE(port, 0);
  // Every line up to the next IPv4 listening line or the given one, IPv6 lines left out.
  const auto linesUntil = [&child, &port](const std::string& ALast) {
    std::vector<std::string> lines;
    while (std::optional<std::string> line = child.ReadLine()) {
      if (line->rfind("listening IPv6 ", 0) == 0) continue;
      if (line->rfind("listening IPv4 ", 0) == 0) {
        port = static_cast<std::uint16_t>(std::stoi(line->substr(15)));
        lines.push_back("listening");
        break;
      }
      lines.push_back(*line);
      if (*line == ALast) break;
    }
    return lines;
  };

  ASSERT_TRUE(child.WriteInput("hello\nstop\n"));
  EXPECT_EQ(linesUntil("server stopped"), std::vector<std::string>{"server stopped"});
  ASSERT_TRUE(child.WriteInput("start\n"));
  EXPECT_EQ(linesUntil(""), std::vector<std::string>{"listening"});  // owned already: no call

  ASSERT_TRUE(child.WriteInput("device 3\nstop\ndevice 3\n"));
  EXPECT_EQ(child.ReadErrorsUntil("\n").find("error: stop the server before changing"), 0u);
  EXPECT_EQ(linesUntil("device 3"),
            (std::vector<std::string>{"server stopped", "joy ResetVJD 2", "joy ResetPovs 2", "joy ResetButtons 2",
                                      "joy RelinquishVJD 2", "device 3"}));
  ASSERT_TRUE(child.WriteInput("start\n"));
  EXPECT_EQ(linesUntil(""), (std::vector<std::string>{"joy AcquireVJD 3", "joy ResetVJD 3", "joy ResetPovs 3",
                                                       "joy ResetButtons 3", "listening"}));
  EXPECT_EQ(ParseReply(Exchange(port, "GET /ButtonsDown?str=1 HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes).Status, 200);
  EXPECT_EQ(ReadInputLines(child, 1), std::vector<std::string>{"joy SetBtn -1 3 1"});

  // A start that fails is reported and the program goes on, stopped.
  ASSERT_TRUE(child.WriteInput("stop\ndevice 4\nstart\ndevice 99\n"));
  EXPECT_EQ(linesUntil("device 4").back(), "device 4");
  const std::string errors = child.ReadErrorsUntil("not '99'\n");
  EXPECT_NE(errors.find("error: vJoy Device 4 is missing\n"), std::string::npos) << errors;
  EXPECT_NE(errors.find("error: device expects a number from 1 to 16, not '99'\n"), std::string::npos) << errors;
  ASSERT_TRUE(child.WriteInput("device 5\nstart\n"));
  EXPECT_EQ(linesUntil("").back(), "listening");

  child.CloseInput();
  EXPECT_EQ(linesUntil("stopped"), std::vector<std::string>{"stopped"});
  EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
