// tapdeck-headless as a program: start, the listening lines, a page fetch, stop.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app/uVersion.h"
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
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--open", "--dir", Dir.Path().string(), "--timestamps"});
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
  EXPECT_EQ(ParseReply(Exchange(port, "GET /KeyboardKey?str=a HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes).Status, 200);
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

// The version the packages carry, answered before anything starts: no port, no page files.
TEST_F(HeadlessProcess, VersionPrintsTheProjectVersionAndExits) {
  TChildProcess child(HeadlessProgram(), {"--version"});
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.ReadLine(), "tapdeck-headless " TAPDECK_VERSION);
  EXPECT_EQ(child.ReadLine(), std::nullopt);
  EXPECT_TRUE(child.OutputEnded());
  EXPECT_EQ(child.Wait(), 0);
}

// Asked for, the usage goes to standard output and is no error.
TEST_F(HeadlessProcess, HelpPrintsTheUsageAndExits) {
  for (const char* option : {"--help", "-h"}) {
    TChildProcess child(HeadlessProgram(), {option});
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.ReadLine().value_or("").rfind("usage: tapdeck-headless [--port N]", 0), 0u) << option;
    EXPECT_EQ(child.ReadErrors(), "") << option;
    EXPECT_EQ(child.Wait(), 0) << option;
  }
}

// ---- Panel files ----

// The page tapdeck-headless serves with the given extra options, and the lines its taps print.
class HeadlessPanel : public HeadlessProcess {
 protected:
  std::string Page(std::vector<std::string> AOptions) {
    std::vector<std::string> args{"--port", "0", "--open", "--dir", Dir.Path().string()};
    args.insert(args.end(), AOptions.begin(), AOptions.end());
    TChildProcess child(HeadlessProgram(), args);
    EXPECT_TRUE(child.Started());
    const std::uint16_t port = ReadListening(child);
    const THTTPReply reply = ParseReply(Exchange(port, "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes);
    EXPECT_EQ(reply.Status, 200);
    child.CloseInput();
    EXPECT_EQ(child.ReadLine(), "stopped");
    EXPECT_EQ(child.Wait(), 0);
    return reply.Body;
  }
};

TEST_F(HeadlessPanel, TheBuiltInPageAsAPanelFileIsTheBuiltInPageByteForByte) {
  const std::string builtIn = Page({});
  EXPECT_NE(builtIn.find("Toggle Landing Gear"), std::string::npos);
  EXPECT_EQ(Page({"--panel", TAPDECK_SOURCE_DIR "/panels/elite-dangerous.json"}), builtIn);
  // The same file as panel.json in the page folder is taken without --panel.
  std::filesystem::copy_file(TAPDECK_SOURCE_DIR "/panels/elite-dangerous.json", Dir.Path() / "panel.json");
  EXPECT_EQ(Page({}), builtIn);
}

TEST_F(HeadlessPanel, ServesThePanelAndEveryCellActsAsItsModelSays) {
  Dir.Write("mine.json", R"({"tapdeckPanel": 1, "title": "Mine & Yours",
    "above": [[{"text": "Gear", "keys": "g"}]],
    "tabs": [{"id": "one", "text": "One", "rows": [[{"text": "Hold", "buttonsDown": [3, 4]},
                                                    {"text": "Free", "buttonsUp": [4]}]]},
             {"id": "two", "text": "Two", "rows": [[{"text": "Fire", "buttonsPress": [9]},
                                                    {"text": "Note", "color": "blue"}]]}],
    "below": [[{"text": "Quit", "color": "red", "keys": "^q"}]]})");
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--open", "--dir", Dir.Path().string(), "--panel", Dir.Path().string() + "/mine.json"});
  ASSERT_TRUE(child.Started());
  const std::uint16_t port = ReadListening(child);
  const std::string page = ParseReply(Exchange(port, "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes).Body;
  for (const char* markup :
       {"<title>Mine &amp; Yours</title>",
        "<td command=\"show\" subject=\"two\" onclick=\"docommand(this)\" class=\"background-black\">Two</td>",
        "<td colspan=\"1\" action=\"keypress\" key=\"g\" class=\"background-black\">Gear</td>",
        "<td colspan=\"1\" action=\"buttonsdown\" key=\",3,4\" class=\"background-black\">Hold</td>",
        "<td colspan=\"1\" action=\"buttonsup\" key=\",4\" class=\"background-black\">Free</td>",
        "<table id=\"id_two\" class=\"hidden\">",
        "<td colspan=\"1\" action=\"buttonspress\" key=\",9\" class=\"background-black\">Fire</td>",
        "<td colspan=\"1\" class=\"background-blue small\">Note</td>",
        "<td colspan=\"1\" action=\"keypress\" key=\"^q\" class=\"background-red\">Quit</td>"})
    EXPECT_NE(page.find(markup), std::string::npos) << markup;
  const struct {
    const char* target;
    std::vector<std::string> lines;
  } taps[] = {
      {"/KeyboardKey?str=g", {"key vk=0x47 scan=34 flags=0 extra=13", "key vk=0x47 scan=34 flags=2 extra=13"}},
      {"/ButtonsDown?str=,3,4", {"joy SetBtn -1 2 3", "joy SetBtn -1 2 4"}},
      {"/ButtonsUp?str=,4", {"joy SetBtn 0 2 4"}},
      {"/ButtonsPress?str=,9", {"joy SetBtn -1 2 9", "joy SetBtn 0 2 9"}},
      {"/KeyboardKey?str=%5Eq",
       {"key vk=0x11 scan=29 flags=0 extra=13", "key vk=0x51 scan=16 flags=0 extra=13",
        "key vk=0x51 scan=16 flags=2 extra=13", "key vk=0x11 scan=29 flags=2 extra=13"}},
  };
  for (const auto& tap : taps) {
    SCOPED_TRACE(tap.target);
    EXPECT_EQ(ParseReply(Exchange(port, std::string("GET ") + tap.target + " HTTP/1.1\r\nHost: localhost\r\n\r\n").Bytes).Status, 200);
    for (const std::string& expected : tap.lines) EXPECT_EQ(child.ReadLine(), expected);
  }
  // Button 3 is still down: the program lets go of it before it reports that it stopped.
  child.CloseInput();
  EXPECT_EQ(child.ReadLine(), "joy SetBtn 0 2 3");
  EXPECT_EQ(child.ReadLine(), "stopped");
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(HeadlessPanel, ARefusedPanelIsAnErrorWithStatus1) {
  Dir.Write("panel.json", R"({"tapdeckPanel": 1, "above": [[{"text": "Boost", "keys": "{BOSST}"}]]})");
  TChildProcess child(HeadlessProgram(), {"--port", "0", "--dir", Dir.Path().string()});
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.ReadErrors(),
            "error: " + Dir.Path().string() + "/panel.json: the rows above the tabs, row 1, cell 1 (\"Boost\"): keys "
            "\"{BOSST}\": Invalid Key Name\n");
  EXPECT_EQ(child.Wait(), 1);
}

}  // namespace
