#include "joystick/vJoyClass.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "base/uText.h"
#include "joystick/vJoySimulated.h"

namespace {

TvJoyCall Call(std::string AName, std::vector<std::int64_t> AArgs = {}) { return {std::move(AName), std::move(AArgs)}; }

std::vector<TvJoyCall> ResetCalls(std::int64_t ADevice) {
  return {Call("ResetVJD", {ADevice}), Call("ResetPovs", {ADevice}), Call("ResetButtons", {ADevice})};
}

std::vector<TvJoyCall> Join(std::vector<TvJoyCall> AFirst, const std::vector<TvJoyCall>& ASecond) {
  AFirst.insert(AFirst.end(), ASecond.begin(), ASecond.end());
  return AFirst;
}

std::string Texts(const std::vector<TvJoyCall>& ACalls) {
  std::string text;
  for (const TvJoyCall& call : ACalls) text += call.Text() + "; ";
  return text;
}

std::string MessageOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const EvJoyException& e) {
    return Utf16ToUtf8(e.Message());
  }
  return "(no EvJoyException)";
}

// A joystick object on its own simulated library, device 2, calls cleared.
class TvJoyTest : public ::testing::Test {
 protected:
  TvJoyTest() {
    joy.SetId(2);
    sim.ClearCalls();
  }
  void ExpectCalls(const std::vector<TvJoyCall>& AExpected) {
    EXPECT_EQ(Texts(sim.Calls()), Texts(AExpected));
    sim.ClearCalls();
  }
  TvJoySimulated sim;
  TvJoy joy{sim};
};

TEST(TvJoyCreate, StartsOnDeviceOneAfterOneVersionCheck) {
  TvJoySimulated sim;
  TvJoy joy(sim);
  EXPECT_EQ(joy.Id(), 1);
  EXPECT_EQ(Texts(sim.Calls()), Texts({Call("DriverMatch")}));
}

TEST(TvJoyCreate, VersionMismatchNamesTheDriverVersionFirst) {
  TvJoySimulated sim;
  sim.SetVersions(0x0219, 0x0216);
  EXPECT_EQ(MessageOf([&] { TvJoy joy(sim); }), "Version of Driver (534) does NOT match DLL Version (537)");
  sim.SetVersions(0xFFFF, 0x0001);  // both words read as unsigned
  EXPECT_EQ(MessageOf([&] { TvJoy joy(sim); }), "Version of Driver (1) does NOT match DLL Version (65535)");
}

struct TAcquireCase {
  const char* Name;
  VjdStat Status;
  bool Refuse;
  bool Result;
  std::vector<TvJoyCall> Calls;
  bool OwnedAfter;
};

TEST_F(TvJoyTest, AcquireInEveryDeviceState) {
  const std::vector<TvJoyCall> status = {Call("GetVJDStatus", {2})};
  const std::vector<TAcquireCase> cases = {
      {"free, granted", VJD_STAT_FREE, false, true, Join(Join(status, {Call("AcquireVJD", {2})}), ResetCalls(2)), true},
      {"free, refused", VJD_STAT_FREE, true, false, Join(status, {Call("AcquireVJD", {2})}), false},
      {"owned", VJD_STAT_OWN, false, false, status, true},
      {"busy", VJD_STAT_BUSY, false, true, Join(status, ResetCalls(2)), false},
      {"unknown", VJD_STAT_UNKN, false, true, Join(status, ResetCalls(2)), false},
      {"value outside the list", static_cast<VjdStat>(7), false, true, Join(status, ResetCalls(2)), false},
  };
  for (const TAcquireCase& c : cases) {
    SCOPED_TRACE(c.Name);
    sim.SetDeviceStatus(2, c.Status);
    sim.SetAcquireRefused(c.Refuse);
    sim.ClearCalls();
    EXPECT_EQ(joy.Acquire(), c.Result);
    ExpectCalls(c.Calls);
    EXPECT_EQ(sim.GetVJDStatus(2) == VJD_STAT_OWN, c.OwnedAfter);
  }
}

TEST_F(TvJoyTest, AcquireOnMissingDeviceRaisesWithItsNumber) {
  joy.SetId(3);
  sim.SetDeviceStatus(3, VJD_STAT_MISS);
  sim.ClearCalls();
  EXPECT_EQ(MessageOf([&] { joy.Acquire(); }), "vJoy Device 3 is missing");
  ExpectCalls({Call("GetVJDStatus", {3})});
  EXPECT_EQ(sim.GetVJDStatus(3), VJD_STAT_MISS);
}

TEST_F(TvJoyTest, SecondAcquireKeepsPressedButtons) {
  ASSERT_TRUE(joy.Acquire());
  joy.ButtonDown(5);
  sim.ClearCalls();
  EXPECT_FALSE(joy.Acquire());
  ExpectCalls({Call("GetVJDStatus", {2})});
  EXPECT_TRUE(sim.ButtonPressed(2, 5));
}

TEST_F(TvJoyTest, AcquireOnBusyDeviceLeavesItUnowned) {
  sim.SetDeviceStatus(2, VJD_STAT_BUSY);
  EXPECT_TRUE(joy.Acquire());
  EXPECT_FALSE(joy.IsAcquired());
}

TEST_F(TvJoyTest, RelinquishOnlyAnOwnedDevice) {
  joy.Relinquish();
  ExpectCalls({Call("GetVJDStatus", {2})});
  ASSERT_TRUE(joy.Acquire());
  joy.ButtonDown(1);
  sim.ClearCalls();
  joy.Relinquish();
  ExpectCalls(Join(Join({Call("GetVJDStatus", {2})}, ResetCalls(2)), {Call("RelinquishVJD", {2})}));
  EXPECT_EQ(sim.GetVJDStatus(2), VJD_STAT_FREE);
  EXPECT_TRUE(sim.PressedButtons(2).empty());
}

TEST_F(TvJoyTest, SetIdWithTheCurrentNumberCallsNothing) {
  ASSERT_TRUE(joy.Acquire());
  sim.ClearCalls();
  joy.SetId(2);
  ExpectCalls({});
  EXPECT_TRUE(joy.IsAcquired());
}

TEST_F(TvJoyTest, SetIdGivesUpTheOldDeviceOnly) {
  ASSERT_TRUE(joy.Acquire());
  sim.ClearCalls();
  joy.SetId(3);
  EXPECT_EQ(joy.Id(), 3);
  ExpectCalls(Join(Join({Call("GetVJDStatus", {2})}, ResetCalls(2)), {Call("RelinquishVJD", {2})}));
  EXPECT_FALSE(joy.IsAcquired());
  ExpectCalls({Call("GetVJDStatus", {3})});
  EXPECT_EQ(sim.GetVJDStatus(2), VJD_STAT_FREE);
  EXPECT_EQ(sim.GetVJDStatus(3), VJD_STAT_FREE);
}

TEST_F(TvJoyTest, SetIdTakesAnyNumber) {
  joy.SetId(-7);
  EXPECT_EQ(joy.Id(), -7);
  joy.ButtonDown(1);
  EXPECT_EQ(sim.Calls().back().Text(), "SetBtn -1 -7 1");
}

TEST_F(TvJoyTest, IsAcquiredAsksTheLibraryEachTime) {
  EXPECT_FALSE(joy.IsAcquired());
  sim.SetDeviceStatus(2, VJD_STAT_OWN);
  EXPECT_TRUE(joy.IsAcquired());
  ExpectCalls({Call("GetVJDStatus", {2}), Call("GetVJDStatus", {2})});
}

TEST_F(TvJoyTest, ButtonNumbersPassUnchangedWithoutAStateCheck) {
  joy.ButtonDown(0);
  joy.ButtonDown(255);
  joy.ButtonUp(0);
  joy.ButtonUp(255);
  ExpectCalls({Call("SetBtn", {-1, 2, 0}), Call("SetBtn", {-1, 2, 255}), Call("SetBtn", {0, 2, 0}),
               Call("SetBtn", {0, 2, 255})});
}

TEST_F(TvJoyTest, ButtonsPressAndReleaseOnAnOwnedDevice) {
  ASSERT_TRUE(joy.Acquire());
  joy.ButtonDown(1);
  joy.ButtonDown(5);
  joy.ButtonUp(1);
  EXPECT_EQ(sim.PressedButtons(2), std::vector<std::uint8_t>{5});
}

TEST_F(TvJoyTest, AxisPropertiesAskForTheirUsageCodes) {
  sim.SetAxisExists(2, HID_USAGE_Z, false);
  const std::vector<bool> axes = {joy.AvailableAxisX(), joy.AvailableAxisY(), joy.AvailableAxisZ(),
                                  joy.AvailableAxisRX(), joy.AvailableAxisRZ()};
  EXPECT_EQ(axes, (std::vector<bool>{true, true, false, true, true}));
  ExpectCalls({Call("GetVJDAxisExist", {2, 0x30}), Call("GetVJDAxisExist", {2, 0x31}), Call("GetVJDAxisExist", {2, 0x32}),
               Call("GetVJDAxisExist", {2, 0x33}), Call("GetVJDAxisExist", {2, 0x35})});
}

TEST_F(TvJoyTest, PropertiesAreReadAnewOnEveryAccess) {
  EXPECT_EQ(joy.AvailableButtons(), 32);
  EXPECT_EQ(joy.CurrentDeviceStatus(), VJD_STAT_FREE);
  EXPECT_TRUE(joy.AvailableAxisX());
  EXPECT_TRUE(joy.Enabled());
  sim.SetButtonNumber(2, 8);
  sim.SetPovNumbers(2, 1, 4);
  sim.SetDeviceStatus(2, VJD_STAT_BUSY);
  sim.SetAxisExists(2, HID_USAGE_X, false);
  sim.SetEnabled(false);
  EXPECT_EQ(joy.AvailableButtons(), 8);
  EXPECT_EQ(joy.AvailableContPovNumber(), 1);
  EXPECT_EQ(joy.AvailableDiscPovNumber(), 4);
  EXPECT_EQ(joy.CurrentDeviceStatus(), VJD_STAT_BUSY);
  EXPECT_FALSE(joy.AvailableAxisX());
  EXPECT_FALSE(joy.Enabled());
  const std::vector<TvJoyCall> calls = sim.Calls();
  ASSERT_EQ(calls.size(), 10u);
  EXPECT_EQ(Texts({calls[4], calls[5], calls[6], calls[9]}),
            Texts({Call("GetVJDButtonNumber", {2}), Call("GetVJDContPovNumber", {2}), Call("GetVJDDiscPovNumber", {2}),
                   Call("vJoyEnabled")}));
}

TEST_F(TvJoyTest, StringPropertiesCopyTheLibrarysText) {
  sim.SetStrings(u"Pad \u00e9\U0001F3AE", u"Maker", std::nullopt);
  const std::u16string product = joy.ProductString();
  sim.SetStrings(u"changed", std::nullopt, u"SN-1");
  EXPECT_EQ(product, u"Pad \u00e9\U0001F3AE");
  EXPECT_EQ(joy.ProductString(), u"changed");
  EXPECT_EQ(joy.ManufacturerString(), u"");
  EXPECT_EQ(joy.SerialNumberString(), u"SN-1");
  ExpectCalls({Call("GetvJoyProductString"), Call("GetvJoyProductString"), Call("GetvJoyManufacturerString"),
               Call("GetvJoySerialNumberString")});
}

TEST(TvJoyDestroy, GivesUpAnOwnedDevice) {
  TvJoySimulated sim;
  {
    TvJoy joy(sim);
    ASSERT_TRUE(joy.Acquire());
  }
  EXPECT_EQ(sim.Calls().back().Text(), "RelinquishVJD 1");
  EXPECT_EQ(sim.GetVJDStatus(1), VJD_STAT_FREE);
}

// GetvJoy on a fresh process-wide simulated library, from "no object yet".
class GetvJoyTest : public ::testing::Test {
 protected:
  explicit GetvJoyTest(TvJoySimulatedOptions AOptions = {}) {
    auto library = std::make_unique<TvJoySimulated>(AOptions);
    sim = library.get();
    SelectvJoyLibrary(std::move(library));
  }
  ~GetvJoyTest() override {
    sim->SetListener(nullptr);  // a listener may refer to the finished test's locals
  }
  std::size_t DriverMatchCalls() const {
    std::size_t count = 0;
    for (const TvJoyCall& call : sim->Calls()) count += call.Name == "DriverMatch" ? 1 : 0;
    return count;
  }
  TvJoySimulated* sim = nullptr;
};

TEST_F(GetvJoyTest, CreatesOnceAndReturnsTheSameObject) {
  TvJoy& first = GetvJoy();
  first.SetId(4);
  EXPECT_EQ(&GetvJoy(), &first);
  EXPECT_EQ(GetvJoy().Id(), 4);
  EXPECT_EQ(DriverMatchCalls(), 1u);
  EXPECT_EQ(&vJoyLibrary(), sim);
}

TEST_F(GetvJoyTest, VersionMismatchRepeatsTheCheckOnEveryCall) {
  sim->SetVersions(0x0219, 0x0216);
  for (std::size_t attempt = 1; attempt <= 3; ++attempt) {
    EXPECT_EQ(MessageOf([] { GetvJoy(); }), "Version of Driver (534) does NOT match DLL Version (537)");
    EXPECT_EQ(DriverMatchCalls(), attempt);
  }
  sim->SetVersions(0x0219, 0x0219);
  EXPECT_EQ(GetvJoy().Id(), 1);
  EXPECT_EQ(DriverMatchCalls(), 4u);
}

TEST_F(GetvJoyTest, ReplacedLibraryStaysUsable) {
  TvJoy& joy = GetvJoy();
  joy.SetId(2);
  auto replacement = std::make_unique<TvJoySimulated>();
  TvJoySimulated& other = *replacement;
  SelectvJoyLibrary(std::move(replacement));
  EXPECT_NE(&vJoyLibrary(), sim);
  EXPECT_TRUE(joy.Acquire());  // the object created earlier still talks to its own library
  EXPECT_TRUE(sim->GetVJDStatus(2) == VJD_STAT_OWN);
  // The next GetvJoy creates an object on the library selected now.
  TvJoy& created = GetvJoy();
  EXPECT_NE(&created, &joy);
  EXPECT_EQ(&created.Library(), &other);
  EXPECT_EQ(created.Id(), 1);
  EXPECT_EQ(&GetvJoy(), &created);
}

class GetvJoyMismatchTest : public GetvJoyTest {
 protected:
  GetvJoyMismatchTest() : GetvJoyTest({.VersionMismatch = true}) {}
};

TEST_F(GetvJoyMismatchTest, NoDeviceOfAMismatchedDriverIsEverAskedFor) {
  for (int attempt = 0; attempt < 2; ++attempt)
    EXPECT_EQ(MessageOf([] { GetvJoy().Acquire(); }), "Version of Driver (534) does NOT match DLL Version (537)");
  for (const TvJoyCall& call : sim->Calls()) EXPECT_EQ(call.Name, "DriverMatch");
}

class GetvJoyMissingTest : public GetvJoyTest {
 protected:
  GetvJoyMissingTest() : GetvJoyTest({.MissingDevice = 3}) {}
};

TEST_F(GetvJoyMissingTest, AMissingDeviceIsNeverClaimedAndTheObjectServesAnother) {
  GetvJoy().SetId(2);
  EXPECT_TRUE(GetvJoy().Acquire());
  GetvJoy().SetId(3);
  EXPECT_EQ(MessageOf([] { GetvJoy().Acquire(); }), "vJoy Device 3 is missing");
  EXPECT_EQ(sim->GetVJDStatus(2), VJD_STAT_FREE);  // given up by SetId(3)
  for (const TvJoyCall& call : sim->Calls()) EXPECT_NE(call.Text(), "AcquireVJD 3");
  GetvJoy().SetId(2);
  EXPECT_TRUE(GetvJoy().Acquire());
  EXPECT_TRUE(GetvJoy().IsAcquired());
}

using GetvJoyConcurrent = GetvJoyTest;

TEST_F(GetvJoyConcurrent, FirstCreationFromSeveralThreadsMakesOneObject) {
  std::vector<TvJoy*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = &GetvJoy(); });
  for (std::thread& t : threads) t.join();
  for (TvJoy* joy : seen) EXPECT_EQ(joy, seen[0]);
  EXPECT_EQ(DriverMatchCalls(), 1u);
}

TEST_F(GetvJoyConcurrent, ThreadsPressAndReleaseButtonsAtOnce) {
  std::size_t lines = 0;  // the listener runs under the library's lock
  sim->SetListener([&lines](const std::string&) { ++lines; });
  GetvJoy().SetId(2);
  ASSERT_TRUE(GetvJoy().Acquire());
  constexpr int kThreads = 6;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int round = 0; round < kRounds; ++round) {
        const auto button = static_cast<std::uint8_t>(1 + (t * 5 + round) % 32);
        GetvJoy().ButtonDown(button);
        GetvJoy().ButtonUp(button);
      }
    });
  }
  // The UI thread keeps asking for the state meanwhile.
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(GetvJoy().IsAcquired());
  for (std::thread& t : threads) t.join();
  EXPECT_TRUE(sim->PressedButtons(2).empty());
  std::size_t presses = 0;
  for (const TvJoyCall& call : sim->Calls()) presses += call.Name == "SetBtn" ? 1 : 0;
  EXPECT_EQ(presses, 2u * kThreads * kRounds);
  EXPECT_EQ(lines, 4u + presses);  // AcquireVJD and three resets, then every SetBtn
}

}  // namespace
