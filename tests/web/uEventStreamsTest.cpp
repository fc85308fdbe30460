// The live stream through the real HTTP service on loopback: what a page hears first, the
// changes it hears of, the web-module instances it leaves free, Stop, and what a page held
// let go of when its stream closes.

#include "web/uEventStreams.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "game/uGameState.h"
#include "keys/uKeyboardRecorder.h"
#include "page/uPageInfo.h"
#include "tests/support/KeyboardWatch.h"
#include "tests/web/HTTPTestSupport.h"
#include "web/uDevices.h"
#include "web/uMainPage.h"

namespace {

using namespace std::chrono_literals;

// The names of the events in a piece of a stream, in order.
std::vector<std::string> EventNames(const std::string& AText) {
  std::vector<std::string> names;
  for (std::size_t at = AText.find("event: "); at != std::string::npos; at = AText.find("event: ", at + 1))
    names.push_back(AText.substr(at + 7, AText.find('\n', at) - at - 7));
  return names;
}

// The main module on a loopback port of its own, in open mode, with the keyboard recorded.
class EventStreamsConcurrent : public ::testing::Test {
 protected:
  EventStreamsConcurrent() {
    GetDeviceStore().Open({});
    GetDeviceStore().SetOpenMode(true);
    FService.Start();
  }
  ~EventStreamsConcurrent() override { GetDeviceStore().Open({}); }

  // A stream of the page, read up to the end of its first device event.
  std::unique_ptr<TTestClient> OpenStream(const std::string& APage, std::string* AFirst = nullptr) {
    auto client = std::make_unique<TTestClient>(FService.Port());
    client->Send("GET /events?page=" + APage + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    std::string first = client->ReadUntil("event: device\n", 20s);
    first += client->ReadUntil("\n\n", 20s);
    EXPECT_NE(first.find("Content-Type: text/event-stream"), std::string::npos) << first;
    if (AFirst) *AFirst = first;
    return client;
  }
  THTTPReply Get(const std::string& ATarget, const std::string& APage = {}) {
    const std::string page = APage.empty() ? "" : "Tapdeck-Page: " + APage + "\r\n";
    return ParseReply(Exchange(FService.Port(), "GET " + ATarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + page + "\r\n").Bytes);
  }
  bool HasKeyEvent(const TKeyEvent& AEvent) const {
    for (const TKeyEvent& event : FKeyboard->Events())
      if (event == AEvent) return true;
    return false;
  }

  std::shared_ptr<TKeyboardRecorder> FKeyboard = std::make_shared<TKeyboardRecorder>();
  TKeyboardWatch FWorkers{FKeyboard};
  TTestRoutes FUnusedRoutes;
  TTestService FService{FUnusedRoutes, MainPageModuleClass(u"/nonexistent-page-dir")};
};

TEST_F(EventStreamsConcurrent, APageHearsTheWholePictureFirstThenEachChange) {
  std::string first;
  const auto stream = OpenStream("first-1", &first);
  EXPECT_EQ(EventNames(first), (std::vector<std::string>{"state", "panel", "actions", "device"}));
  EXPECT_NE(first.find("\"released\":false"), std::string::npos) << first;

  GetGameState().Set("test.Lamp", true);
  const std::string state = stream->ReadUntil("\"test.Lamp\":true", 20s);
  GetGameState().Remove("test.Lamp");
  ASSERT_FALSE(EventNames(state).empty()) << state;
  EXPECT_EQ(EventNames(state).back(), "state");

  TPageInfo& info = GetPageInfo();
  const std::shared_ptr<const TPageModel> before = info.Model();
  const std::string version = "{\"version\":" + std::to_string(info.ModelVersion() + 1) + "}";
  info.SetModel(std::make_shared<const TPageModel>());
  const std::string panel = stream->ReadUntil(version, 20s);
  info.SetModel(before);
  EXPECT_NE(panel.find("event: panel\ndata: " + version), std::string::npos) << panel;
}

TEST_F(EventStreamsConcurrent, OpenStreamsTakeNoWebModuleInstance) {
  // One more than the instances there are.
  std::vector<std::unique_ptr<TTestClient>> streams;
  for (int i = 0; i < 33; ++i) streams.push_back(OpenStream("many-" + std::to_string(i)));
  EXPECT_EQ(FService.Handler().ActiveCount(), 0);
  const THTTPReply tap = Get("/KeyboardKey?str=a");
  EXPECT_EQ(tap.Status, 200) << tap.Body;
  EXPECT_EQ(Get("/alive", "many-0").Body, "{}");
}

TEST_F(EventStreamsConcurrent, StopEndsEveryStreamAndReturns) {
  std::vector<std::unique_ptr<TTestClient>> streams;
  for (int i = 0; i < 3; ++i) streams.push_back(OpenStream("stop-" + std::to_string(i)));
  // A stop that never returns is a hang: say so rather than wait for the test's time limit.
  std::promise<void> stopped;
  std::thread watch([done = stopped.get_future()]() mutable {
    if (done.wait_for(60s) == std::future_status::ready) return;
    std::fputs("Stop did not return with streams open\n", stderr);
    std::abort();
  });
  FService.Server().SetActive(false);
  stopped.set_value();
  watch.join();
  for (const auto& stream : streams) EXPECT_TRUE(stream->ReadAll(20s).Closed);
}

TEST_F(EventStreamsConcurrent, AClosedStreamLetsGoOfWhatItsPageHeld) {
  const TKeyEvent qDown{0x51, 16, 0, 13}, qUp{0x51, 16, 2, 13};
  auto stream = OpenStream("held-1");
  ASSERT_EQ(Get("/KeyboardDown?str=q", "held-1").Status, 200);
  FWorkers.WaitForWorkers();
  ASSERT_TRUE(HasKeyEvent(qDown));
  stream.reset();
  // The page goes on with its heartbeat, so only the stream's end lets go of the key.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!HasKeyEvent(qUp) && std::chrono::steady_clock::now() < deadline) {
    Get("/alive", "held-1");
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_TRUE(HasKeyEvent(qUp));
  // Back again, the page learns that the PC let go of something.
  std::string first;
  OpenStream("held-1", &first);
  EXPECT_NE(first.find("\"released\":true"), std::string::npos) << first;
}

}  // namespace
