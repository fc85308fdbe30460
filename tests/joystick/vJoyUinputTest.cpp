#include "joystick/vJoyUinput.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uinput.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>
#include <vector>

#include "joystick/vJoyClass.h"
#include "tests/support/TempDir.h"

namespace {

// One descriptor handed out by the fake node: a plain file that receives the bytes.
struct TFakeNode {
  std::filesystem::path File;
  int Fd = -1;
  std::vector<std::pair<unsigned long, int>> Controls;
  bool Closed = false;
};

struct TFakeUinputState {
  std::filesystem::path Dir;
  bool Writable = true;
  unsigned long FailingRequest = 0;
  std::vector<TFakeNode> Nodes;
};

class TFakeUinputSystem : public IUinputSystem {
 public:
  explicit TFakeUinputSystem(TFakeUinputState& AState) : FState(AState) {}
  bool NodeWritable() override { return FState.Writable; }
  int OpenNode() override {
    TFakeNode node;
    node.File = FState.Dir / ("node-" + std::to_string(FState.Nodes.size()) + ".bin");
    node.Fd = ::open(node.File.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FState.Nodes.push_back(node);
    return node.Fd;
  }
  bool Control(int AFd, unsigned long ARequest, int AArg) override {
    Node(AFd).Controls.emplace_back(ARequest, AArg);
    return ARequest != FState.FailingRequest;
  }
  void CloseNode(int AFd) override {
    Node(AFd).Closed = true;
    ::close(AFd);
  }

 private:
  TFakeNode& Node(int AFd) {
    for (auto it = FState.Nodes.rbegin(); it != FState.Nodes.rend(); ++it) {
      if (it->Fd == AFd && !it->Closed) return *it;
    }
    throw std::logic_error("unknown descriptor");
  }
  TFakeUinputState& FState;
};

struct TStream {
  uinput_user_dev Description{};
  std::vector<std::tuple<int, int, int>> Events;  // type, code, value
};

TStream ReadStream(const TFakeNode& ANode) {
  std::ifstream in(ANode.File, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TStream stream;
  if (bytes.size() < sizeof(uinput_user_dev)) throw std::runtime_error("no device description");
  std::memcpy(&stream.Description, bytes.data(), sizeof(uinput_user_dev));
  const std::size_t rest = bytes.size() - sizeof(uinput_user_dev);
  if (rest % sizeof(input_event) != 0) throw std::runtime_error("partial event");
  for (std::size_t at = sizeof(uinput_user_dev); at < bytes.size(); at += sizeof(input_event)) {
    input_event event{};
    std::memcpy(&event, bytes.data() + at, sizeof(event));
    stream.Events.emplace_back(event.type, event.code, event.value);
  }
  return stream;
}

using TEvents = std::vector<std::tuple<int, int, int>>;
constexpr int kCentre = TvJoyUinput::kAxisCentre;
const std::tuple<int, int, int> kSyn{EV_SYN, SYN_REPORT, 0};

class TvJoyUinputTest : public ::testing::Test {
 protected:
  TvJoyUinputTest() : lib(std::make_unique<TFakeUinputSystem>(state), dir.Path()) { state.Dir = dir.Path(); }
  // The events after the centring report that every new device starts with.
  TEvents EventsAfterCreation(std::size_t ANode = 0) {
    TEvents events = ReadStream(state.Nodes.at(ANode)).Events;
    const TEvents start = {{EV_ABS, ABS_X, kCentre}, {EV_ABS, ABS_Y, kCentre}, kSyn};
    EXPECT_TRUE(events.size() >= 3 && TEvents(events.begin(), events.begin() + 3) == start);
    return TEvents(events.begin() + std::min<std::ptrdiff_t>(3, std::ssize(events)), events.end());
  }
  // Another process holding the device: a lock on the same file through another descriptor.
  int HoldLock(std::int32_t ADevice) {
    const int fd = ::open(lib.LockPath(ADevice).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    return fd;
  }
  TempDir dir;
  TFakeUinputState state;
  TvJoyUinput lib;
};

TEST_F(TvJoyUinputTest, AcquireCreatesAJoystickWithAxesAndButtons) {
  EXPECT_EQ(lib.GetVJDStatus(5), VJD_STAT_FREE);
  ASSERT_EQ(lib.AcquireVJD(5), 1);
  EXPECT_EQ(lib.GetVJDStatus(5), VJD_STAT_OWN);
  ASSERT_EQ(state.Nodes.size(), 1u);
  const TFakeNode& node = state.Nodes[0];

  std::vector<int> evbits, keybits, absbits;
  for (const auto& [request, arg] : node.Controls) {
    if (request == UI_SET_EVBIT) evbits.push_back(arg);
    if (request == UI_SET_KEYBIT) keybits.push_back(arg);
    if (request == UI_SET_ABSBIT) absbits.push_back(arg);
  }
  EXPECT_EQ(evbits, (std::vector<int>{EV_KEY, EV_ABS}));
  EXPECT_EQ(absbits, (std::vector<int>{ABS_X, ABS_Y}));
  std::vector<int> expectedKeys;
  for (int code = BTN_JOYSTICK; code <= BTN_DEAD; ++code) expectedKeys.push_back(code);
  for (int code = BTN_TRIGGER_HAPPY1; code <= BTN_TRIGGER_HAPPY16; ++code) expectedKeys.push_back(code);
  EXPECT_EQ(keybits, expectedKeys);
  EXPECT_EQ(node.Controls.back(), std::make_pair(static_cast<unsigned long>(UI_DEV_CREATE), 0));

  const TStream stream = ReadStream(node);
  EXPECT_STREQ(stream.Description.name, "Tapdeck Virtual Joystick 5");
  EXPECT_EQ(stream.Description.id.bustype, BUS_VIRTUAL);
  for (int axis : {ABS_X, ABS_Y}) {
    EXPECT_EQ(stream.Description.absmin[axis], 0);
    EXPECT_EQ(stream.Description.absmax[axis], 32767);
  }
  EXPECT_EQ(stream.Events, (TEvents{{EV_ABS, ABS_X, kCentre}, {EV_ABS, ABS_Y, kCentre}, kSyn}));
  EXPECT_FALSE(node.Closed);
  EXPECT_EQ(lib.AcquireVJD(5), 1);  // already owned: no second device
  EXPECT_EQ(state.Nodes.size(), 1u);
}

TEST_F(TvJoyUinputTest, ButtonsMapToJoystickCodesAndReportAtOnce) {
  ASSERT_EQ(lib.AcquireVJD(2), 1);
  EXPECT_EQ(lib.SetBtn(-1, 2, 1), 1);
  EXPECT_EQ(lib.SetBtn(-1, 2, 16), 1);
  EXPECT_EQ(lib.SetBtn(-1, 2, 17), 1);
  EXPECT_EQ(lib.SetBtn(0, 2, 32), 1);
  EXPECT_EQ(lib.SetBtn(0, 2, 1), 1);
  for (std::uint8_t ignored : {0, 33, 255}) EXPECT_EQ(lib.SetBtn(-1, 2, ignored), 0) << int(ignored);
  EXPECT_EQ(lib.SetBtn(-1, 3, 1), 0);  // not acquired
  EXPECT_EQ(EventsAfterCreation(), (TEvents{{EV_KEY, BTN_JOYSTICK, 1}, kSyn,
                                            {EV_KEY, BTN_DEAD, 1}, kSyn,
                                            {EV_KEY, BTN_TRIGGER_HAPPY1, 1}, kSyn,
                                            {EV_KEY, BTN_TRIGGER_HAPPY16, 0}, kSyn,
                                            {EV_KEY, BTN_JOYSTICK, 0}, kSyn}));
}

TEST_F(TvJoyUinputTest, ResetsReleasePressedButtonsAndCentreTheAxes) {
  ASSERT_EQ(lib.AcquireVJD(2), 1);
  EXPECT_EQ(lib.ResetButtons(2), 1);  // nothing pressed: nothing written
  lib.SetBtn(-1, 2, 3);
  lib.SetBtn(-1, 2, 20);
  EXPECT_EQ(lib.ResetButtons(2), 1);
  lib.SetBtn(-1, 2, 4);
  EXPECT_EQ(lib.ResetVJD(2), 1);
  EXPECT_EQ(lib.ResetPovs(2), 1);
  EXPECT_EQ(lib.ResetVJD(2), 1);  // axes centred again, no buttons left
  const int b3 = BTN_JOYSTICK + 2, b4 = BTN_JOYSTICK + 3, b20 = BTN_TRIGGER_HAPPY1 + 3;
  EXPECT_EQ(EventsAfterCreation(), (TEvents{{EV_KEY, b3, 1}, kSyn, {EV_KEY, b20, 1}, kSyn,
                                            {EV_KEY, b3, 0}, {EV_KEY, b20, 0}, kSyn,
                                            {EV_KEY, b4, 1}, kSyn,
                                            {EV_KEY, b4, 0}, {EV_ABS, ABS_X, kCentre}, {EV_ABS, ABS_Y, kCentre}, kSyn,
                                            {EV_ABS, ABS_X, kCentre}, {EV_ABS, ABS_Y, kCentre}, kSyn}));
  EXPECT_EQ(lib.ResetVJD(7), 0);
  EXPECT_EQ(lib.ResetButtons(7), 0);
  EXPECT_EQ(lib.ResetPovs(7), 0);
}

TEST_F(TvJoyUinputTest, RelinquishDestroysTheDeviceAndFreesIt) {
  ASSERT_EQ(lib.AcquireVJD(2), 1);
  lib.RelinquishVJD(2);
  ASSERT_EQ(state.Nodes.size(), 1u);
  EXPECT_EQ(state.Nodes[0].Controls.back(), std::make_pair(static_cast<unsigned long>(UI_DEV_DESTROY), 0));
  EXPECT_TRUE(state.Nodes[0].Closed);
  EXPECT_EQ(lib.GetVJDStatus(2), VJD_STAT_FREE);
  const int held = HoldLock(2);  // the lock is really released
  ::close(held);
  lib.RelinquishVJD(2);  // not owned: nothing happens
  EXPECT_EQ(state.Nodes.size(), 1u);
  ASSERT_EQ(lib.AcquireVJD(2), 1);  // a new device each time
  EXPECT_EQ(state.Nodes.size(), 2u);
}

TEST_F(TvJoyUinputTest, DeviceHeldByAnotherProcessIsBusy) {
  const int held = HoldLock(4);
  EXPECT_EQ(lib.GetVJDStatus(4), VJD_STAT_BUSY);
  EXPECT_EQ(lib.AcquireVJD(4), 0);
  EXPECT_TRUE(state.Nodes.empty());
  EXPECT_EQ(lib.GetVJDStatus(5), VJD_STAT_FREE);
  ::close(held);
  EXPECT_EQ(lib.GetVJDStatus(4), VJD_STAT_FREE);
  EXPECT_EQ(lib.AcquireVJD(4), 1);
}

TEST_F(TvJoyUinputTest, TwoLibrariesSeeEachOthersDevicesAsBusy) {
  TFakeUinputState otherState{dir.Path() / "other", true, 0, {}};
  std::filesystem::create_directories(otherState.Dir);
  TvJoyUinput other(std::make_unique<TFakeUinputSystem>(otherState), dir.Path());
  ASSERT_EQ(lib.AcquireVJD(6), 1);
  EXPECT_EQ(other.GetVJDStatus(6), VJD_STAT_BUSY);
  EXPECT_EQ(other.AcquireVJD(6), 0);
  lib.RelinquishVJD(6);
  EXPECT_EQ(other.AcquireVJD(6), 1);
  EXPECT_EQ(lib.GetVJDStatus(6), VJD_STAT_BUSY);
}

TEST_F(TvJoyUinputTest, NoWritableNodeMakesEveryDeviceMissing) {
  state.Writable = false;
  for (std::int32_t device = 1; device <= 16; ++device) {
    EXPECT_EQ(lib.GetVJDStatus(device), VJD_STAT_MISS) << device;
    EXPECT_EQ(lib.AcquireVJD(device), 0) << device;
    EXPECT_EQ(lib.GetVJDButtonNumber(device), 0) << device;
  }
  EXPECT_EQ(lib.vJoyEnabled(), 0);
  EXPECT_TRUE(state.Nodes.empty());
  // Start tells the user what to fix, not just that the device is gone.
  TvJoy joy(lib);
  try {
    joy.Acquire();
    ADD_FAILURE() << "no error";
  } catch (const EvJoyException& e) {
    EXPECT_EQ(e.Message(), u"vJoy Device 1 is missing (no write access to /dev/uinput: install the tapdeck package, or "
                           u"the udev rule in its README, then log out and in again; or choose \u201cNo joystick (keys "
                           u"only)\u201d)");
  }
  state.Writable = true;
  EXPECT_EQ(lib.MissingReason(), u"");
}

TEST_F(TvJoyUinputTest, OnlyDevicesOneToSixteenExist) {
  for (std::int32_t device : {0, 17, -1}) {
    EXPECT_EQ(lib.GetVJDStatus(device), VJD_STAT_MISS) << device;
    EXPECT_EQ(lib.AcquireVJD(device), 0) << device;
    EXPECT_EQ(lib.GetVJDAxisExist(device, HID_USAGE_X), 0) << device;
  }
  EXPECT_EQ(lib.GetVJDButtonNumber(16), 32);
  EXPECT_EQ(lib.GetVJDAxisExist(16, HID_USAGE_X), 1);
  EXPECT_EQ(lib.GetVJDAxisExist(16, HID_USAGE_Y), 1);
  EXPECT_EQ(lib.GetVJDAxisExist(16, HID_USAGE_Z), 0);
  EXPECT_EQ(lib.vJoyEnabled(), 1);
  std::uint16_t dll = 0;
  std::uint16_t driver = 1;
  EXPECT_EQ(lib.DriverMatch(&dll, &driver), 1);
  EXPECT_EQ(dll, driver);
}

TEST_F(TvJoyUinputTest, FailedCreationLeavesTheDeviceFree) {
  state.FailingRequest = UI_DEV_CREATE;
  EXPECT_EQ(lib.AcquireVJD(3), 0);
  ASSERT_EQ(state.Nodes.size(), 1u);
  EXPECT_TRUE(state.Nodes[0].Closed);
  EXPECT_EQ(lib.GetVJDStatus(3), VJD_STAT_FREE);
  state.FailingRequest = 0;
  EXPECT_EQ(lib.AcquireVJD(3), 1);
}

TEST_F(TvJoyUinputTest, DestroyingTheLibraryDestroysItsDevices) {
  TFakeUinputState ownState{dir.Path() / "own", true, 0, {}};
  std::filesystem::create_directories(ownState.Dir);
  {
    TvJoyUinput scoped(std::make_unique<TFakeUinputSystem>(ownState), dir.Path());
    ASSERT_EQ(scoped.AcquireVJD(1), 1);
    ASSERT_EQ(scoped.AcquireVJD(2), 1);
    EXPECT_EQ(lib.GetVJDStatus(1), VJD_STAT_BUSY);
  }
  ASSERT_EQ(ownState.Nodes.size(), 2u);
  for (const TFakeNode& node : ownState.Nodes) {
    EXPECT_TRUE(node.Closed);
    EXPECT_EQ(node.Controls.back(), std::make_pair(static_cast<unsigned long>(UI_DEV_DESTROY), 0));
  }
  EXPECT_EQ(lib.GetVJDStatus(1), VJD_STAT_FREE);
  EXPECT_EQ(lib.GetVJDStatus(2), VJD_STAT_FREE);
}

TEST_F(TvJoyUinputTest, JoystickObjectDrivesTheDevices) {
  TvJoy joy(lib);
  joy.SetId(2);
  EXPECT_TRUE(joy.Acquire());
  EXPECT_TRUE(joy.IsAcquired());
  joy.ButtonDown(1);
  joy.SetId(3);  // resets and destroys device 2
  EXPECT_TRUE(state.Nodes[0].Closed);
  EXPECT_EQ(joy.ProductString(), u"Tapdeck Virtual Joystick");
  EXPECT_TRUE(joy.AvailableAxisX() && joy.AvailableAxisY());
  EXPECT_FALSE(joy.AvailableAxisZ());
  EXPECT_EQ(joy.AvailableButtons(), 32);
}

TEST_F(TvJoyUinputTest, ConcurrentPressesEachWriteAWholeReport) {
  ASSERT_EQ(lib.AcquireVJD(2), 1);
  constexpr int kThreads = 4;
  constexpr int kRounds = 100;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int round = 0; round < kRounds; ++round) {
        const auto button = static_cast<std::uint8_t>(1 + (t + round) % 32);
        lib.SetBtn(-1, 2, button);
        lib.SetBtn(0, 2, button);
        lib.GetVJDStatus(2);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  const TEvents events = EventsAfterCreation();
  ASSERT_EQ(events.size(), 2u * 2 * kThreads * kRounds);
  for (std::size_t i = 0; i < events.size(); i += 2) {
    EXPECT_EQ(std::get<0>(events[i]), EV_KEY);
    EXPECT_EQ(events[i + 1], kSyn);
  }
}

// The real node: creates a device and reads its events back through the event node.
// tests/kernel/run.sh runs it in a test kernel, where /dev/uinput is there.
TEST(TvJoyUinputSystem, RoundTripThroughTheKernel) {
  if (::access("/dev/uinput", W_OK) != 0)
    GTEST_SKIP() << "needs a writable /dev/uinput, which this machine lacks "
                    "(tests/kernel/run.sh runs it in a test kernel)";
  TvJoyUinput lib;
  std::int32_t device = 16;
  while (device > 0 && lib.GetVJDStatus(device) != VJD_STAT_FREE) --device;
  if (device == 0) GTEST_SKIP() << "no free joystick device";
  ASSERT_EQ(lib.AcquireVJD(device), 1);
  const std::string name = TvJoyUinput::DeviceName(device);

  int eventFd = -1;
  for (int attempt = 0; attempt < 100 && eventFd < 0; ++attempt) {
    if (DIR* input = ::opendir("/dev/input")) {
      while (dirent* entry = ::readdir(input)) {
        if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
        const int fd = ::open(("/dev/input/" + std::string(entry->d_name)).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        char found[256] = {};
        if (::ioctl(fd, EVIOCGNAME(sizeof(found) - 1), found) >= 0 && name == found) {
          eventFd = fd;
          break;
        }
        ::close(fd);
      }
      ::closedir(input);
    }
    if (eventFd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (eventFd < 0) {
    lib.RelinquishVJD(device);
    GTEST_SKIP() << "the created device's event node cannot be opened for reading";
  }

  unsigned long absBits = 0;
  ASSERT_GE(::ioctl(eventFd, EVIOCGBIT(EV_ABS, sizeof(absBits)), &absBits), 0);
  EXPECT_TRUE(absBits & (1ul << ABS_X));
  EXPECT_TRUE(absBits & (1ul << ABS_Y));

  ASSERT_EQ(lib.SetBtn(-1, device, 1), 1);
  bool seen = false;
  for (int attempt = 0; attempt < 100 && !seen; ++attempt) {
    pollfd waiting{eventFd, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    input_event event{};
    while (::read(eventFd, &event, sizeof(event)) == static_cast<ssize_t>(sizeof(event))) {
      if (event.type == EV_KEY && event.code == BTN_JOYSTICK && event.value == 1) seen = true;
    }
  }
  EXPECT_TRUE(seen);
  ::close(eventFd);
  lib.RelinquishVJD(device);
}

}  // namespace
