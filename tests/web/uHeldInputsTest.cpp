// What pages hold and when it is let go: a fake releaser records the releases, and the clock
// is the test's own, so the two seconds of silence pass at once. The first word from a page
// starts the watch's thread, so every test here counts as concurrent.

#include "web/uHeldInputs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "base/uText.h"

namespace {

using namespace std::chrono_literals;

class HeldInputsConcurrent : public ::testing::Test {
 protected:
  // The releases so far, keys as "keys <sequence>" and buttons as "button <n>", in order.
  std::vector<std::string> Released() {
    std::lock_guard lock(FLock);
    return FReleased;
  }
  // Waits (generously) until ACount releases have been made; the releases then.
  std::vector<std::string> WaitForReleases(std::size_t ACount) {
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, 20s, [&] { return FReleased.size() >= ACount; });
    return FReleased;
  }
  void SetTime(std::chrono::milliseconds AOffset) { FOffset = AOffset.count(); }
  // A page that heartbeats (so it is watched) and holds AKey and AButton.
  void HoldingPage(const std::string& APage, const std::string& ADevice, const std::u16string& AKey,
                   std::uint8_t AButton) {
    FHeld.Heard(APage, ADevice);
    FHeld.KeysDown(APage, ADevice, AKey, AKey);
    FHeld.ButtonsDown(APage, ADevice, {AButton});
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::string> FReleased;
  std::atomic<std::int64_t> FOffset{0};
  const std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
  THeldInputs FHeld{TReleaser{[this](const std::u16string& ASequence) { Record("keys " + Utf16ToUtf8(ASequence)); },
                              [this](std::uint8_t AButton) { Record("button " + std::to_string(AButton)); }},
                    [this] { return FStart + std::chrono::milliseconds(FOffset.load()); }};

 private:
  void Record(std::string AWhat) {
    {
      std::lock_guard lock(FLock);
      FReleased.push_back(std::move(AWhat));
    }
    FChanged.notify_all();
  }
};

using TReleased = std::vector<std::string>;

// The page is gone by its stream or by its device, at once; another page keeps what it holds.
TEST_F(HeldInputsConcurrent, APageThatIsGoneLetsGoOfItsKeysAndButtons) {
  const struct {
    const char* how;
    void (*go)(THeldInputs&);
  } cases[] = {
      {"its stream closed", [](THeldInputs& AHeld) { AHeld.StreamClosed("phone"); }},
      {"its device forgotten", [](THeldInputs& AHeld) { AHeld.DeviceForgotten("dev-1"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    FReleased.clear();
    FHeld.StreamOpened("phone");
    HoldingPage("phone", "dev-1", u"+a", 3);
    FHeld.KeysDown("phone", "dev-1", u"action:elite:LandingGearToggle", u"+<l");
    HoldingPage("tablet", "dev-2", u"b", 4);
    c.go(FHeld);
    EXPECT_EQ(Released(), (TReleased{"keys +a", "keys +<l", "button 3"}));
    EXPECT_EQ(FHeld.HeldCount(), 2u);
    FHeld.ReleaseAll();
  }
}

TEST_F(HeldInputsConcurrent, AStreamOpenedAgainKeepsThePageUntilItsLastStreamCloses) {
  FHeld.StreamOpened("phone");
  HoldingPage("phone", "", u"w", 1);
  FHeld.StreamOpened("phone");  // the page came back before its old stream ended
  FHeld.StreamClosed("phone");
  EXPECT_EQ(Released(), TReleased{});
  FHeld.StreamClosed("phone");
  EXPECT_EQ(Released(), (TReleased{"keys w", "button 1"}));
}

TEST_F(HeldInputsConcurrent, WhatTwoPagesHoldStaysDownUntilTheLastOfThemIsGone) {
  for (const char* page : {"phone", "tablet"}) {
    FHeld.StreamOpened(page);
    HoldingPage(page, "", u"{UP}", 7);
  }
  // The same keys, noted under a game action's name.
  FHeld.KeysDown("tablet", "", u"action:elite:UpThrustButton", u"{UP}");
  FHeld.StreamClosed("phone");
  EXPECT_EQ(Released(), TReleased{});
  FHeld.StreamClosed("tablet");
  EXPECT_EQ(Released(), (TReleased{"keys {UP}", "button 7"}));
  EXPECT_EQ(FHeld.HeldCount(), 0u);
}

TEST_F(HeldInputsConcurrent, ReleaseAllLetsGoOfEverythingOnceAndAScriptsPressesOnlyThen) {
  // Scripts name no page: they are never watched, and neither a page's going nor a key
  // forgotten touches their presses.
  FHeld.KeysDown("", "key-1", u"s", u"s");
  FHeld.ButtonsDown("", "key-2", {9});
  FHeld.StreamOpened("phone");
  HoldingPage("phone", "dev-1", u"s", 2);
  FHeld.StreamClosed("phone");
  for (const char* device : {"dev-1", "key-1", "key-2"}) FHeld.DeviceForgotten(device);
  EXPECT_EQ(Released(), TReleased{"button 2"});
  EXPECT_EQ(FHeld.HeldCount(), 2u);
  FHeld.ReleaseAll();
  EXPECT_EQ(Released(), (TReleased{"button 2", "keys s", "button 9"}));
  EXPECT_EQ(FHeld.HeldCount(), 0u);
  FHeld.ReleaseAll();
  EXPECT_EQ(Released().size(), 3u);
}

TEST_F(HeldInputsConcurrent, ThePageIsToldOfTheReleaseOnItsNewestStreamOnce) {
  EXPECT_EQ(FHeld.StreamOpened("phone"), 1);
  HoldingPage("phone", "dev-1", u"a", 1);
  EXPECT_EQ(FHeld.StreamOpened("phone"), 2);
  EXPECT_FALSE(FHeld.TakeReleasedNote("phone", 2));  // nothing let go yet
  FHeld.DeviceForgotten("dev-1");
  EXPECT_FALSE(FHeld.TakeReleasedNote("phone", 1));  // an old stream nobody may read
  EXPECT_TRUE(FHeld.TakeReleasedNote("phone", 2));
  EXPECT_FALSE(FHeld.TakeReleasedNote("phone", 2));
  // A page that held nothing is not told.
  FHeld.StreamOpened("tablet");
  FHeld.Heard("tablet", "dev-1");
  FHeld.DeviceForgotten("dev-1");
  EXPECT_FALSE(FHeld.TakeReleasedNote("tablet", 1));
}

// The watch runs on a thread of its own; the clock is the test's, so whatever the watch does
// with its time, a page is let go only once the test's clock says two seconds have passed.
TEST_F(HeldInputsConcurrent, TheWatchLetsGoOfAPageSilentForTwoSecondsAndNotBefore) {
  FHeld.KeysDown("", "", u"s", u"s");  // a script: never silent
  HoldingPage("early", "", u"e", 5);
  SetTime(600ms);
  HoldingPage("late", "", u"l", 6);
  // "early" was last heard 2 s ago, "late" 1.4 s ago: the same look lets go of the first only.
  SetTime(2000ms);
  EXPECT_EQ(WaitForReleases(2), (TReleased{"keys e", "button 5"}));
  EXPECT_EQ(FHeld.HeldCount(), 3u);
  // A heartbeat keeps "late" there.
  SetTime(2500ms);
  FHeld.Heard("late", "");
  SetTime(4400ms);
  FHeld.KeysDown("early", "", u"x", u"x");  // a new press of a page counts as a word from it
  SetTime(4500ms);
  EXPECT_EQ(WaitForReleases(4), (TReleased{"keys e", "button 5", "keys l", "button 6"}));
  EXPECT_EQ(FHeld.HeldCount(), 2u);
}

}  // namespace
