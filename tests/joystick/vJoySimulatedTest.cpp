#include "joystick/vJoySimulated.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/uText.h"
#include "joystick/vJoyClass.h"

namespace {

TEST(TvJoySimulated, DevicesOneToSixteenArePresentAndFree) {
  TvJoySimulated sim;
  for (std::int32_t device = 1; device <= 16; ++device) {
    EXPECT_EQ(sim.GetVJDStatus(device), VJD_STAT_FREE) << device;
    EXPECT_EQ(sim.GetVJDButtonNumber(device), 32) << device;
  }
  for (std::int32_t device : {0, 17, -1}) {
    EXPECT_EQ(sim.GetVJDStatus(device), VJD_STAT_MISS) << device;
    EXPECT_EQ(sim.AcquireVJD(device), 0) << device;
  }
  std::uint16_t dll = 0;
  std::uint16_t driver = 0;
  EXPECT_NE(sim.DriverMatch(&dll, &driver), 0);
  EXPECT_EQ(dll, driver);
}

// The options as the joystick object meets them (tapdeck-headless passes them on): the
// driver is refused by its versions, and only the missing device fails while the rest serve.
TEST(TvJoySimulated, OptionsReachTheJoystickObjectAsADriverAndADeviceProblem) {
  TvJoySimulated mismatched({.VersionMismatch = true});
  try {
    TvJoy joy(mismatched);
    ADD_FAILURE() << "a joystick object was made on a driver of another version";
  } catch (const EvJoyException& e) {
    EXPECT_EQ(Utf16ToUtf8(e.Message()), "Version of Driver (534) does NOT match DLL Version (537)");
  }
  TvJoySimulated missing({.MissingDevice = 3});
  TvJoy joy(missing);
  joy.SetId(3);
  EXPECT_THROW(joy.Acquire(), EvJoyException);
  EXPECT_FALSE(joy.IsAcquired());
  joy.SetId(2);
  EXPECT_TRUE(joy.Acquire());
  EXPECT_TRUE(joy.IsAcquired());
}

TEST(TvJoySimulated, ButtonsChangeOnlyOnAnOwnedDeviceWithinItsCount) {
  TvJoySimulated sim;
  EXPECT_EQ(sim.SetBtn(-1, 2, 1), 0);  // not owned
  EXPECT_FALSE(sim.ButtonPressed(2, 1));
  ASSERT_NE(sim.AcquireVJD(2), 0);
  EXPECT_NE(sim.SetBtn(-1, 2, 1), 0);
  EXPECT_NE(sim.SetBtn(1, 2, 32), 0);  // any non-zero value presses
  EXPECT_EQ(sim.SetBtn(-1, 2, 0), 0);
  EXPECT_EQ(sim.SetBtn(-1, 2, 33), 0);
  EXPECT_EQ(sim.PressedButtons(2), (std::vector<std::uint8_t>{1, 32}));
  EXPECT_NE(sim.ResetButtons(2), 0);
  EXPECT_TRUE(sim.PressedButtons(2).empty());
}

TEST(TvJoySimulated, BusyDeviceCannotBeAcquired) {
  TvJoySimulated sim;
  sim.SetDeviceStatus(4, VJD_STAT_BUSY);
  EXPECT_EQ(sim.AcquireVJD(4), 0);
  EXPECT_EQ(sim.GetVJDStatus(4), VJD_STAT_BUSY);
  EXPECT_EQ(sim.ResetVJD(4), 0);
}

TEST(TvJoySimulated, ListenerGetsStateChangingCallsAsText) {
  TvJoySimulated sim;
  std::vector<std::string> lines;
  sim.SetListener([&lines](const std::string& line) { lines.push_back(line); });
  std::uint16_t a = 0;
  std::uint16_t b = 0;
  sim.DriverMatch(&a, &b);
  sim.GetVJDStatus(2);
  sim.AcquireVJD(2);
  sim.ResetVJD(2);
  sim.ResetPovs(2);
  sim.ResetButtons(2);
  sim.SetBtn(-1, 2, 5);
  sim.SetBtn(0, 2, 255);
  sim.GetVJDAxisExist(2, 0x30);
  sim.GetVJDButtonNumber(2);
  sim.vJoyEnabled();
  sim.GetvJoyProductString();
  sim.RelinquishVJD(2);
  EXPECT_EQ(lines, (std::vector<std::string>{"AcquireVJD 2", "ResetVJD 2", "ResetPovs 2", "ResetButtons 2",
                                             "SetBtn -1 2 5", "SetBtn 0 2 255", "RelinquishVJD 2"}));
  // Queries are recorded all the same.
  const std::vector<TvJoyCall> calls = sim.Calls();
  ASSERT_EQ(calls.size(), 13u);
  EXPECT_EQ(calls[0].Text(), "DriverMatch");
  EXPECT_EQ(calls[1].Text(), "GetVJDStatus 2");
  EXPECT_EQ(calls[8].Text(), "GetVJDAxisExist 2 48");
}

TEST(TvJoySimulated, WithoutHistoryTheListenerStillGetsEveryLine) {
  TvJoySimulated sim;
  std::vector<std::string> lines;
  sim.SetListener([&lines](const std::string& line) { lines.push_back(line); });
  sim.AcquireVJD(2);
  sim.SetKeepCalls(false);  // drops what was kept so far
  EXPECT_TRUE(sim.Calls().empty());
  for (int i = 0; i < 1000; ++i) sim.SetBtn(-1, 2, 5);
  EXPECT_TRUE(sim.Calls().empty());
  ASSERT_EQ(lines.size(), 1001u);
  EXPECT_EQ(lines.back(), "SetBtn -1 2 5");
  EXPECT_TRUE(sim.ButtonPressed(2, 5));
  sim.SetKeepCalls(true);
  sim.SetBtn(0, 2, 5);
  ASSERT_EQ(sim.Calls().size(), 1u);
  EXPECT_EQ(sim.Calls()[0].Text(), "SetBtn 0 2 5");
}

}  // namespace
