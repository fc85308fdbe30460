// Game actions through tapdeck-headless as a program: a cell that names the game's action
// plays what the player bound to it in the game's own bindings file, follows that file as the
// game rewrites it, and says so when there is nothing it may press.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/web/ChildProcess.h"
#include "tests/web/HTTPTestSupport.h"

namespace {

using namespace std::chrono_literals;
using TLines = std::vector<std::string>;

// A bindings file as the game writes it: a preset of the player's own, its keyboard layout, and
// button actions, an axis and a setting among them.
std::string BindsFile(const std::string& AGear) {
  return R"(<?xml version="1.0" encoding="UTF-8" ?>
<Root PresetName="Custom" MajorVersion="4" MinorVersion="0">
  <KeyboardLayout>en-US</KeyboardLayout>
  <MouseXMode Value="" />
  <YawAxisRaw><Binding Device="{NoDevice}" Key="" /><Inverted Value="0" /></YawAxisRaw>
)" + AGear + R"(
  <ShipSpotLightToggle>
    <Primary Device="{NoDevice}" Key="Key_Insert" />
    <Secondary Device="{NoDevice}" Key="" />
  </ShipSpotLightToggle>
  <ToggleCargoScoop>
    <Primary Device="00000002" Key="Joy_7" />
    <Secondary Device="{NoDevice}" Key="" />
    <ToggleOn Value="1" />
  </ToggleCargoScoop>
</Root>
)";
}

const std::string kGearShiftL = R"(  <LandingGearToggle>
    <Primary Device="Keyboard" Key="Key_L"><Modifier Device="Keyboard" Key="Key_LeftShift" /></Primary>
    <Secondary Device="{NoDevice}" Key="" />
  </LandingGearToggle>)";
const std::string kGearK = R"(  <LandingGearToggle>
    <Primary Device="Keyboard" Key="Key_K" />
    <Secondary Device="{NoDevice}" Key="" />
  </LandingGearToggle>)";

// Key lines of the recorder: down and up.
std::string Down(const char* AKey) { return std::string("key ") + AKey + " flags=0 extra=13"; }
std::string Up(const char* AKey) { return std::string("key ") + AKey + " flags=2 extra=13"; }
constexpr const char* kL = "vk=0x4C scan=38";
constexpr const char* kK = "vk=0x4B scan=37";
constexpr const char* kA = "vk=0x41 scan=30";
constexpr const char* kLeftShift = "vk=0xA0 scan=42";

class HeadlessGameActions : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(HeadlessProgram())) GTEST_SKIP() << "no tapdeck-headless beside the tests";
    Dir.Write("StartPreset.4.start", "Custom\nCustom\nCustom\nCustom\n");
    Dir.Write("Custom.4.0.binds", BindsFile(kGearShiftL));
  }

  // Starts the program in open mode with AArgs; its port.
  std::uint16_t Start(std::vector<std::string> AArgs) {
    AArgs.insert(AArgs.begin(), {"--port", "0", "--open"});
    Child = std::make_unique<TChildProcess>(HeadlessProgram(), AArgs);
    EXPECT_TRUE(Child->Started());
    std::uint16_t port = 0;
    ReadUntilListening(*Child, port);
    EXPECT_NE(port, 0);
    return port;
  }
  // The next ACount lines that are not about listening.
  TLines Lines(std::size_t ACount) {
    TLines lines;
    while (lines.size() < ACount) {
      const std::optional<std::string> line = Child->ReadLine();
      if (!line) break;
      if (line->rfind("listening ", 0) != 0) lines.push_back(*line);
    }
    return lines;
  }
  // A request as a page sends it.
  THTTPReply Get(std::uint16_t APort, const std::string& ATarget) {
    return ParseReply(
        Exchange(APort, "GET " + ATarget + " HTTP/1.1\r\nHost: localhost\r\nTapdeck-Page: page-1\r\n\r\n").Bytes);
  }

  TempDir Dir;
  std::unique_ptr<TChildProcess> Child;
};

TEST_F(HeadlessGameActions, ATapPlaysWhatThePlayerBoundOrSaysWhyNothing) {
  const std::string bindings = Dir.Path().string();
  struct TTap {
    std::string target;
    int status;
    std::string body;  // a part of it
    TLines lines;      // what it prints
  };
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::vector<TTap> taps;
  } cases[] = {
      {"the player's bindings",
       {"--bindings", bindings},
       {{"/ActionDown?str=elite:LandingGearToggle&keys=g", 200, "{}", {Down(kLeftShift), Down(kL)}},
        {"/ActionUp?str=elite:LandingGearToggle&keys=g", 200, "{}", {Up(kL), Up(kLeftShift)}},
        {"/ActionDown?str=elite:ToggleCargoScoop", 200, "{}", {"joy SetBtn -1 2 7"}},
        {"/ActionUp?str=elite:ToggleCargoScoop", 200, "{}", {"joy SetBtn 0 2 7"}},
        {"/ActionDown?str=elite:ShipSpotLightToggle&keys=l", 409,
         R"({"error":"Ship Lights has no key in your game bindings"})", {}},
        {"/ActionDown?str=elite:DeployHeatSink", 409, R"({"error":"Heat Sink has no key in your game bindings"})", {}}}},
      {"no bindings file: the cell's own keys",
       {},
       {{"/ActionDown?str=elite:LandingGearToggle&keys=g", 200, "{}", {Down("vk=0x47 scan=34")}},
        {"/ActionUp?str=elite:LandingGearToggle&keys=g", 200, "{}", {Up("vk=0x47 scan=34")}},
        {"/ActionDown?str=elite:LandingGearToggle", 409,
         R"({"error":"Landing Gear has no key: the game's bindings are not in a file"})", {}}}},
      {"no joystick",
       {"--bindings", bindings, "--no-joystick"},
       {{"/ButtonsDown?str=1", 200, "", {}},
        {"/ButtonsPress?str=2", 200, "", {}},
        {"/ButtonsUp?str=1", 200, "", {}},
        {"/ActionDown?str=elite:ToggleCargoScoop", 409, R"({"error":"no joystick on the PC"})", {}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint16_t port = Start(c.args);
    for (const TTap& tap : c.taps) {
      SCOPED_TRACE(tap.target);
      const THTTPReply reply = Get(port, tap.target);
      EXPECT_EQ(reply.Status, tap.status);
      EXPECT_NE(reply.Body.find(tap.body), std::string::npos) << reply.Body;
      EXPECT_EQ(Lines(tap.lines.size()), tap.lines);
    }
    // Whatever printed nothing printed nothing before this key either.
    EXPECT_EQ(Get(port, "/KeyboardKey?str=a").Status, 200);
    EXPECT_EQ(Lines(2), (TLines{Down(kA), Up(kA)}));
    Child->CloseInput();
    EXPECT_EQ(Lines(1), TLines{"stopped"});
    EXPECT_EQ(Child->Wait(), 0);
  }
}

TEST_F(HeadlessGameActions, TheNextTapFollowsTheRewrittenFileWithoutARestart) {
  const std::uint16_t port = Start({"--bindings", Dir.Path().string()});
  const auto tap = [&] {
    EXPECT_EQ(Get(port, "/ActionDown?str=elite:LandingGearToggle").Status, 200);
    EXPECT_EQ(Get(port, "/ActionUp?str=elite:LandingGearToggle").Status, 200);
  };
  tap();
  EXPECT_EQ(Lines(4), (TLines{Down(kLeftShift), Down(kL), Up(kL), Up(kLeftShift)}));
  Dir.Write("Custom.4.0.binds", BindsFile(kGearK));
  // The game's rewrite is seen within a second or so; until then a tap plays the old binding.
  TLines lines;
  for (const auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
    tap();
    lines = Lines(2);
    if (lines.empty() || lines.front() != Down(kLeftShift)) break;
    Lines(2);
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(lines, (TLines{Down(kK), Up(kK)}));
  Child->CloseInput();
  EXPECT_EQ(Child->Wait(), 0);
}

}  // namespace
