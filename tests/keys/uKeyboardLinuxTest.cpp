#include "keys/uKeyboard_linux.h"

// GoogleTest before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <set>

#include "base/uText.h"
#include "keys/uSendKeys.h"
#include "keys/uUSLayout.h"
#include "tests/keys/KeysTestSupport.h"

namespace {

// ---------------------------------------------------------------------------------------
// The virtual-key translation.

TEST(LinuxKeyMap, EveryKeyTheSequencesCanPressHasACodeAndAKeySym) {
  std::set<std::uint8_t> vks;
  for (char16_t ch = 0x20; ch < 0x7F; ++ch) vks.insert(static_cast<std::uint8_t>(USVkKeyScan(ch) & 0xFF));
  for (const TKeyName& e : KeyNames)
    if (e.VKey != 0x90) vks.insert(e.VKey);
  for (std::uint8_t vk : ShiftKeys) vks.insert(vk);
  for (std::uint8_t vk : {0x10, 0x11, 0x12, 0xDB, 0xDD}) vks.insert(vk);
  for (std::uint8_t vk : vks) {
    EXPECT_NE(VKeyToEvdev(vk), 0) << std::hex << int(vk);
    EXPECT_NE(VKeyToKeySym(vk), 0u) << std::hex << int(vk);
  }
}

TEST(LinuxKeyMap, SidesFunctionKeysAndKeypadAreTheirOwnKeys) {
  EXPECT_EQ(VKeyToEvdev(0xA0), KEY_LEFTSHIFT);
  EXPECT_EQ(VKeyToEvdev(0xA1), KEY_RIGHTSHIFT);
  EXPECT_EQ(VKeyToEvdev(0xA3), KEY_RIGHTCTRL);
  EXPECT_EQ(VKeyToEvdev(0xA5), KEY_RIGHTALT);
  EXPECT_EQ(VKeyToEvdev(0x5B), KEY_LEFTMETA);
  EXPECT_EQ(VKeyToEvdev(0x5C), KEY_RIGHTMETA);
  EXPECT_EQ(VKeyToKeySym(0xA3), static_cast<std::uint32_t>(XK_Control_R));
  for (int k = 0; k < 24; ++k) {
    const int want = k < 10 ? KEY_F1 + k : k < 12 ? KEY_F11 + k - 10 : KEY_F13 + k - 12;
    EXPECT_EQ(VKeyToEvdev(static_cast<std::uint8_t>(0x70 + k)), want) << "F" << k + 1;
    EXPECT_EQ(VKeyToKeySym(static_cast<std::uint8_t>(0x70 + k)), static_cast<std::uint32_t>(XK_F1 + k));
  }
  EXPECT_EQ(VKeyToEvdev(0x60), KEY_KP0);
  EXPECT_EQ(VKeyToEvdev(0x6F), KEY_KPSLASH);
  EXPECT_EQ(VKeyToEvdev(0xE2), KEY_102ND);
  EXPECT_EQ(VKeyToEvdev(0x00), 0);
  EXPECT_EQ(VKeyToEvdev(0xFF), 0);
}

// ---------------------------------------------------------------------------------------
// uinput: the events written for a sequence, read back from a pipe.

struct TEvdev {
  std::uint16_t Type, Code;
  std::int32_t Value;
  bool operator==(const TEvdev&) const = default;
};

std::vector<TEvdev> KeysWithReports(std::initializer_list<std::pair<std::uint16_t, int>> AKeys) {
  std::vector<TEvdev> events;
  for (const auto& [code, value] : AKeys) {
    events.push_back({EV_KEY, code, value});
    events.push_back({EV_SYN, SYN_REPORT, 0});
  }
  return events;
}

class TPipe {
 public:
  TPipe() { EXPECT_EQ(::pipe2(fFds, O_CLOEXEC | O_NONBLOCK), 0); }
  ~TPipe() {
    ::close(fFds[0]);
    ::close(fFds[1]);
  }
  int WriteEnd() const { return fFds[1]; }
  int ReadEnd() const { return fFds[0]; }
  // Fills the pipe, so that it refuses every write until it is emptied.
  void Fill() {
    const std::string chunk(4096, 'x');
    while (::write(fFds[1], chunk.data(), chunk.size()) > 0) {
    }
    while (::write(fFds[1], "x", 1) > 0) {
    }
  }
  void Empty() {
    char buffer[4096];
    while (::read(fFds[0], buffer, sizeof buffer) > 0) {
    }
  }
  std::vector<TEvdev> Drain() {
    std::vector<TEvdev> events;
    input_event ev;
    while (::read(fFds[0], &ev, sizeof ev) == static_cast<ssize_t>(sizeof ev))
      events.push_back({ev.type, ev.code, ev.value});
    return events;
  }

 private:
  int fFds[2] = {-1, -1};
};

TEST(UinputKeyboard, WritesKeyEventsEachWithASynReport) {
  const struct {
    std::u16string Sequence;
    TKeyboardSendKeyDownUps Modes;
    std::vector<TEvdev> Events;
  } cases[] = {
      {u"a", kKey, KeysWithReports({{KEY_A, 1}, {KEY_A, 0}})},
      {u"A", kKey, KeysWithReports({{KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0}})},
      {u"+a", kKey, KeysWithReports({{KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0}})},
      {u"{LEFT}", kKey, KeysWithReports({{KEY_LEFT, 1}, {KEY_LEFT, 0}})},
      {u"~", kKey, KeysWithReports({{KEY_ENTER, 1}, {KEY_ENTER, 0}})},
      {u"^>{F13}", kDown, KeysWithReports({{KEY_RIGHTCTRL, 1}, {KEY_F13, 1}, {KEY_RIGHTCTRL, 0}})},
      {u"#{NUM5}", kKey, KeysWithReports({{KEY_LEFTMETA, 1}, {KEY_KP5, 1}, {KEY_KP5, 0}, {KEY_LEFTMETA, 0}})},
      {u"{NUMLOCK}", kKey, {}},
      // A release only releases.
      {u"l", kUp, KeysWithReports({{KEY_L, 0}})},
      {u"+a", kUp, KeysWithReports({{KEY_A, 0}, {KEY_LEFTSHIFT, 0}})},
      {u"{LEFT 3}", kUp, KeysWithReports({{KEY_LEFT, 0}})},
  };
  for (const auto& c : cases) {
    TPipe pipe;
    auto keyboard = std::make_shared<TLinuxKeyboard>(std::make_unique<TUinputKeyOutput>(pipe.WriteEnd()));
    EXPECT_EQ(keyboard->OutputName(), u"uinput");
    PlayInto(keyboard, c.Sequence, c.Modes);
    EXPECT_EQ(pipe.Drain(), c.Events) << Utf16ToUtf8(c.Sequence);
  }
}

// Reports as TLogWatch does, and empties the pipe when a write is about to be tried again.
class TEmptiedOnRetry : public TLogWatch {
 public:
  explicit TEmptiedOnRetry(TPipe& APipe) : fPipe(APipe) {}
  void Reported(const std::u16string& pMessage, const std::u16string& pLogger) override {
    TLogWatch::Reported(pMessage, pLogger);
    if (pMessage.ends_with(u"trying once more")) fPipe.Empty();
  }

 private:
  TPipe& fPipe;
};

// A write the descriptor refuses is reported; a release, whose loss would leave the key held
// down, is tried once more.
TEST(UinputKeyboard, ARefusedWriteIsReportedAndALostReleaseTriedOnceMore) {
  TPipe pipe;
  pipe.Fill();
  TEmptiedOnRetry log(pipe);
  TUinputKeyOutput output(pipe.WriteEnd());
  output.Key(0x41, false);
  output.Key(0x41, true);
  EXPECT_EQ(pipe.Drain(), KeysWithReports({{KEY_A, 0}})) << "only the release, at its second try";
  // A descriptor that refuses every write: the release is given up after its second try.
  TUinputKeyOutput refusing(pipe.ReadEnd());
  refusing.Key(0x41, true);
  const std::string again = std::strerror(EAGAIN), bad = std::strerror(EBADF);
  EXPECT_EQ(log.Messages(), (std::vector<std::u16string>{
                                Utf8ToUtf16("uinput: the press of key 0x41 was not written (" + again + ")"),
                                Utf8ToUtf16("uinput: the release of key 0x41 was not written (" + again + "); trying once more"),
                                Utf8ToUtf16("uinput: the release of key 0x41 was not written (" + bad + "); trying once more"),
                                Utf8ToUtf16("uinput: the release of key 0x41 was lost (" + bad + "); the key may stay held down"),
                            }));
}

TEST(LinuxKeyboard, WithoutOutputDropsEventsButKeepsTheKeyState) {
  TLinuxKeyboard keyboard(nullptr);
  EXPECT_EQ(keyboard.OutputName(), u"none");
  EXPECT_FALSE(keyboard.HasOutput());
  keyboard.keybd_event(0x10, 42, 0, 13);
  EXPECT_EQ(static_cast<std::uint16_t>(keyboard.GetKeyState(0x10)), 0x8000u);
  EXPECT_EQ(keyboard.VkKeyScanW(u'{'), 0x01DB);
  EXPECT_EQ(keyboard.MapVirtualKeyW(0x25, 0), 75u);
  auto shared = std::make_shared<TLinuxKeyboard>(nullptr);
  PlayInto(shared, u"{NUMLOCK}");
  EXPECT_EQ(shared->GetKeyState(0x90), 1);
  PlayInto(shared, u"{NUMLOCK 0}");
  EXPECT_EQ(shared->GetKeyState(0x90), 0);
}

// ---------------------------------------------------------------------------------------
// XTest: a real X server (Xvfb) and a client window that reads the key events.

// An Xvfb of our own on a display number it picks itself.
class TXvfb {
 public:
  TXvfb() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    fPid = ::fork();
    if (fPid == 0) {
      ::dup2(fds[1], 3);  // dup2 clears close-on-exec on the copy
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
      ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && ::poll(&p, 1, 200) >= 0) {
      if (!(p.revents & (POLLIN | POLLHUP))) continue;
      char c;
      if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    ::close(fds[0]);
    if (!number.empty()) fName = ":" + number;
  }
  ~TXvfb() {
    if (fPid > 0) {
      ::kill(fPid, SIGTERM);
      ::waitpid(fPid, nullptr, 0);
    }
  }
  const std::string& Name() const { return fName; }

 private:
  pid_t fPid = -1;
  std::string fName;
};

struct TXKey {
  bool Press;
  KeySym Sym;
  bool Shifted;
  bool operator==(const TXKey&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TXKey& k) {
  const char* name = XKeysymToString(k.Sym);
  return out << (k.Press ? "press " : "release ") << (name ? name : "?") << (k.Shifted ? " (shifted)" : "");
}

// A mapped window with the keyboard focus, reading what reaches it.
class TXClient {
 public:
  explicit TXClient(const std::string& ADisplay) : fDisplay(XOpenDisplay(ADisplay.c_str())) {
    if (!fDisplay) return;
    fWindow = XCreateSimpleWindow(fDisplay, DefaultRootWindow(fDisplay), 0, 0, 200, 200, 0, 0, 0);
    XSelectInput(fDisplay, fWindow, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(fDisplay, fWindow);
    XEvent ev;
    do XNextEvent(fDisplay, &ev);
    while (ev.type != MapNotify);
    XSetInputFocus(fDisplay, fWindow, RevertToParent, CurrentTime);
    XSync(fDisplay, False);
  }
  ~TXClient() {
    if (fDisplay) XCloseDisplay(fDisplay);
  }
  bool Ok() const { return fDisplay != nullptr; }

  std::vector<TXKey> Read(std::size_t ACount) { return Read([&](const std::vector<TXKey>& k) { return k.size() >= ACount; }); }
  // Up to and including ALast.
  std::vector<TXKey> ReadUntil(const TXKey& ALast) {
    return Read([&](const std::vector<TXKey>& k) { return !k.empty() && k.back() == ALast; });
  }

 private:
  template <class TDone>
  std::vector<TXKey> Read(TDone ADone) {
    std::vector<TXKey> keys;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ADone(keys) && std::chrono::steady_clock::now() < deadline) {
      if (!XPending(fDisplay)) {
        pollfd p{ConnectionNumber(fDisplay), POLLIN, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      XEvent ev;
      XNextEvent(fDisplay, &ev);
      if (ev.type == KeyPress || ev.type == KeyRelease)
        keys.push_back({ev.type == KeyPress, XLookupKeysym(&ev.xkey, 0), (ev.xkey.state & ShiftMask) != 0});
    }
    return keys;
  }

  Display* fDisplay;
  Window fWindow = 0;
};

// An Xvfb, a focused window reading its keys, and a keyboard that sends there through XTest.
class XTestKeyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string display = fXvfb.Name();
    if (display.empty() && std::getenv("DISPLAY")) display = std::getenv("DISPLAY");
    if (display.empty()) GTEST_SKIP() << "Xvfb could not be started and DISPLAY is not set";
    fClient = std::make_unique<TXClient>(display);
    ASSERT_TRUE(fClient->Ok()) << "cannot open display " << display;
    auto output = TXTestKeyOutput::Open(display.c_str());
    if (!output) GTEST_SKIP() << "display " << display << " has no XTest extension";
    fKeyboard = std::make_shared<TLinuxKeyboard>(std::move(output));
  }
  // Closes our connections before the server goes.
  void TearDown() override {
    fKeyboard.reset();
    fClient.reset();
  }

  TXvfb fXvfb;
  std::unique_ptr<TXClient> fClient;
  std::shared_ptr<TLinuxKeyboard> fKeyboard;
};

TEST_F(XTestKeyboard, FocusedWindowReceivesThePressesAndReleases) {
  auto& keyboard = fKeyboard;
  auto& client = *fClient;
  EXPECT_EQ(keyboard->OutputName(), u"XTest");

  const struct {
    std::u16string Sequence;
    std::vector<TXKey> Keys;
  } cases[] = {
      {u"a", {{true, XK_a, false}, {false, XK_a, false}}},
      {u"A", {{true, XK_Shift_L, false}, {true, XK_a, true}, {false, XK_a, true}, {false, XK_Shift_L, true}}},
      {u"+a", {{true, XK_Shift_L, false}, {true, XK_a, true}, {false, XK_a, true}, {false, XK_Shift_L, true}}},
      {u"{LEFT}", {{true, XK_Left, false}, {false, XK_Left, false}}},
      {u"~", {{true, XK_Return, false}, {false, XK_Return, false}}},
  };
  for (const auto& c : cases) {
    PlayInto(keyboard, c.Sequence);
    const auto keys = client.Read(c.Keys.size());
    ASSERT_EQ(keys.size(), c.Keys.size()) << Utf16ToUtf8(c.Sequence);
    for (std::size_t k = 0; k < keys.size(); ++k) EXPECT_EQ(keys[k], c.Keys[k]) << Utf16ToUtf8(c.Sequence) << " #" << k;
  }
}

// The X server passes a press only for a key that is up and a release only for a key that is
// down. So a release-only play lets go of what the press-only play of the same text holds, and
// shows nothing at all when nothing is held: a press of its own would show. Each play is
// followed by a tap of z that marks where its keys end.
TEST_F(XTestKeyboard, AReleaseOnlyPlaySendsOnlyReleases) {
  const TXKey zDown{true, XK_z, false}, zUp{false, XK_z, false};
  const struct {
    std::u16string Sequence;
    std::vector<TXKey> Press, Release;
  } cases[] = {
      {u"l", {{true, XK_l, false}}, {{false, XK_l, false}}},
      {u"+a", {{true, XK_Shift_L, false}, {true, XK_a, true}, {false, XK_Shift_L, true}}, {{false, XK_a, false}}},
      {u"{LEFT 3}", {{true, XK_Left, false}}, {{false, XK_Left, false}}},
  };
  for (const auto& c : cases) {
    const std::pair<TKeyboardSendKeyDownUps, std::vector<TXKey>> plays[] = {
        {kUp, {}}, {kDown, c.Press}, {kUp, c.Release}, {kUp, {}}};
    for (const auto& [modes, expected] : plays) {
      PlayInto(fKeyboard, c.Sequence, modes);
      PlayInto(fKeyboard, u"z");
      std::vector<TXKey> want = expected;
      want.insert(want.end(), {zDown, zUp});
      EXPECT_EQ(testing::PrintToString(fClient->ReadUntil(zUp)), testing::PrintToString(want))
          << Utf16ToUtf8(c.Sequence) << " in mode " << int(modes.Bits());
    }
  }
}

// The chooser: uinput first, then XTest on $DISPLAY, else no output.
TEST(SystemKeyboard, FallsBackToXTestAndThenToNone) {
  if (::access("/dev/uinput", W_OK) == 0) GTEST_SKIP() << "/dev/uinput is writable here; the fallbacks are not reached";
  TXvfb xvfb;
  // Xvfb comes with the test dependencies (scripts/deps.sh test).
  ASSERT_FALSE(xvfb.Name().empty()) << "Xvfb could not be started";
  const char* old = std::getenv("DISPLAY");
  const std::string saved = old ? old : "";
  ::setenv("DISPLAY", xvfb.Name().c_str(), 1);
  EXPECT_EQ(CreateSystemKeyboard()->OutputName(), u"XTest");
  ::unsetenv("DISPLAY");
  const auto keyboard = CreateSystemKeyboard();
  EXPECT_EQ(keyboard->OutputName(), u"none");
  EXPECT_FALSE(keyboard->HasOutput());
  if (old) ::setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
