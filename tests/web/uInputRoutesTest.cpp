// The six input routes, end to end through the HTTP service on loopback: a request goes in,
// the keyboard recorder and the simulated joystick library show what reached the PC, and the
// reply is the empty 200.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/uAddresses.h"
#include "base/uText.h"
#include "joystick/vJoyClass.h"
#include "joystick/vJoySimulated.h"
#include "keys/uKeyboardRecorder.h"
#include "keys/uSendKeys.h"
#include "tests/keys/KeysTestSupport.h"
#include "tests/support/KeyboardWatch.h"
#include "tests/web/HTTPTestSupport.h"
#include "web/uDevices.h"
#include "web/uMainPage.h"

namespace {

// Percent-encodes every byte that is not a letter or a digit, as the page's script does.
std::string Encode(const std::string& AValue) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : AValue) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Join(const std::vector<std::string>& ALines) {
  std::string text;
  for (const std::string& line : ALines) text += line + "\n";
  return text;
}

// A recorder whose events wait until the test lets them through, so a test can see a
// worker still running after its route has answered.
class TGatedRecorder : public TKeyboardRecorder {
 public:
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags, std::uintptr_t dwExtraInfo) override {
    {
      std::unique_lock lock(fGateLock);
      fGateChanged.wait(lock, [this] { return fOpen; });
    }
    TKeyboardRecorder::keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
  }
  void Open() {
    std::lock_guard lock(fGateLock);
    fOpen = true;
    fGateChanged.notify_all();
  }

 private:
  std::mutex fGateLock;
  std::condition_variable fGateChanged;
  bool fOpen = false;
};

// What the client got back.
struct TReply {
  int Status = 0;
  std::string ContentLength;  // the header's value
  std::string Body;
};

// The HTTP service on a loopback port of its own with the main module, a fresh simulated
// joystick (device 2) and a fresh keyboard recorder for every test. The routes' own behaviour
// is tested in open mode, where a request needs no credential.
class TInputRoutesFixture : public ::testing::Test {
 protected:
  ~TInputRoutesFixture() override { GetDeviceStore().Open({}); }
  TInputRoutesFixture() {
    GetDeviceStore().Open({});
    GetDeviceStore().SetOpenMode(true);
    // As Start leaves it: device 2 owned, so presses stick.
    UseJoystickLibrary({});
    GetvJoy().SetId(2);
    GetvJoy().Acquire();
    FJoystick->ClearCalls();
    FService.Start();
  }

  // A fresh library; the next GetvJoy creates a joystick object on it.
  TvJoySimulated& UseJoystickLibrary(TvJoySimulatedOptions AOptions) {
    auto library = std::make_unique<TvJoySimulated>(AOptions);
    FJoystick = library.get();
    SelectvJoyLibrary(std::move(library));
    return *FJoystick;
  }

  // One request on a fresh loopback connection to the service; a body goes as a form.
  // AHeaders: further header lines, each ending in CR LF.
  TReply Request(const std::string& AMethod, const std::string& ATarget, const std::string& ABody = {},
                 const std::string& AHeaders = {}) {
    std::string bytes = AMethod + " " + ATarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + AHeaders;
    if (!ABody.empty())
      bytes += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(ABody.size()) +
               "\r\n";
    bytes += "\r\n" + ABody;
    const TClientRead read = Exchange(FService.Port(), bytes);
    EXPECT_TRUE(read.Closed) << "the service did not close the connection";
    const THTTPReply parsed = ParseReply(read.Bytes);
    EXPECT_TRUE(parsed.Valid) << read.Bytes;
    return {parsed.Status, parsed.Header("Content-Length"), parsed.Body};
  }

  static void ExpectEmpty200(const TReply& AReply) {
    EXPECT_EQ(AReply.Status, 200);
    EXPECT_EQ(AReply.ContentLength, "0");
    EXPECT_EQ(AReply.Body, "");
  }

  TvJoySimulated& Joystick() { return *FJoystick; }
  TKeyboardRecorder& Keyboard() { return *FKeyboard; }
  TKeyboardWatch& Workers() { return FWorkers; }
  TTestService& Service() { return FService; }

 private:
  TvJoySimulated* FJoystick = nullptr;
  std::shared_ptr<TKeyboardRecorder> FKeyboard = std::make_shared<TKeyboardRecorder>();
  // The recorder for the key-sequence workers, which are waited for at the end.
  TKeyboardWatch FWorkers{FKeyboard};
  TTestRoutes FUnusedRoutes;
  // The main module with no page files: only the input routes matter here.
  TTestService FService{FUnusedRoutes, MainPageModuleClass(u"/nonexistent-page-dir")};
};

class InputRoutes : public TInputRoutesFixture {
 protected:
  // The button numbers of the SetBtn calls, each as "down N" or "up N".
  std::vector<std::string> ButtonCalls() {
    std::vector<std::string> calls;
    for (const TvJoyCall& call : Joystick().Calls()) {
      if (call.Name != "SetBtn") continue;
      EXPECT_EQ(call.Args.at(1), 2) << "device";
      calls.push_back((call.Args.at(0) == 0 ? "up " : "down ") + std::to_string(call.Args.at(2)));
    }
    return calls;
  }
  // The key lines the recorder would print, after every worker has ended.
  std::vector<std::string> KeyLines() {
    Workers().WaitForWorkers();
    std::vector<std::string> lines;
    for (const TKeyEvent& event : Keyboard().Events()) lines.push_back(FormatKeyEventLine(event));
    return lines;
  }
};

const std::vector<std::string> kKeyA{"key vk=0x41 scan=30 flags=0 extra=13", "key vk=0x41 scan=30 flags=2 extra=13"};

// --- Joystick routes ---

TEST_F(InputRoutes, ButtonIdListsReachTheJoystickAsButtonNumbers) {
  const struct {
    const char* value;
    std::vector<int> buttons;
  } cases[] = {
      {"1,5", {1, 5}},     {",1,5", {1, 5}}, {"3,1,3", {3, 1}}, {"0,-2,abc,,7", {7}}, {" 4,5 ", {4}},
      {"$10", {16}},       {"256", {0}},     {"300", {44}},     {"1,257", {1, 1}},   {"", {}},
      {"x1F,0X20", {31, 32}}, {"-0,+3", {3}}, {"2147483648,9", {9}}, {",,,", {}},
  };
  for (const auto& c : cases) {
    for (const char* route : {"/ButtonsDown", "/ButtonsUp", "/ButtonsPress"}) {
      SCOPED_TRACE(std::string(route) + "?str=" + c.value);
      Joystick().ClearCalls();
      ExpectEmpty200(Request("GET", std::string(route) + "?str=" + Encode(c.value)));
      std::vector<std::string> expected;
      std::vector<int> seen;
      for (int b : c.buttons) {
        // One press holds a button once, however many ids wrap to it.
        if (std::string(route) == "/ButtonsPress" && std::find(seen.begin(), seen.end(), b) != seen.end()) continue;
        seen.push_back(b);
        const std::string n = std::to_string(b);
        if (std::string(route) != "/ButtonsUp") expected.push_back("down " + n);
        if (std::string(route) != "/ButtonsDown") expected.push_back("up " + n);
      }
      EXPECT_EQ(Join(ButtonCalls()), Join(expected));
      if (c.buttons.empty()) {
        EXPECT_TRUE(Joystick().Calls().empty());
      }
    }
  }
}

TEST_F(InputRoutes, PressReleasesEachButtonBeforeTheNextAndAnswersAfterAll) {
  const auto start = std::chrono::steady_clock::now();
  ExpectEmpty200(Request("GET", "/ButtonsPress?str=1,2,3"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(Join(ButtonCalls()), Join({"down 1", "up 1", "down 2", "up 2", "down 3", "up 3"}));
  EXPECT_GE(elapsed, std::chrono::milliseconds(3 * TwmMainPage::kButtonPressMilliseconds));
  EXPECT_TRUE(Joystick().PressedButtons(2).empty());
}

// A recorder that tells of every Sleep, on the thread that sleeps.
class TSleepWatchingRecorder : public TKeyboardRecorder {
 public:
  explicit TSleepWatchingRecorder(std::function<void(std::uint32_t)> AOnSleep)
      : TKeyboardRecorder(false), fOnSleep(std::move(AOnSleep)) {}
  void Sleep(std::uint32_t dwMilliseconds) override {
    fOnSleep(dwMilliseconds);
    TKeyboardRecorder::Sleep(dwMilliseconds);
  }

 private:
  std::function<void(std::uint32_t)> fOnSleep;
};

TEST_F(InputRoutes, PressHoldsEachButtonWithTheKeyboardsSleep) {
  std::vector<std::string> holds;
  std::mutex holdsLock;
  // The platform's sleep sits behind the keyboard interface; a recorder that only records it
  // makes the hold take no time (as the fuzz target's does).
  TKeyboardWatch workers(std::make_shared<TSleepWatchingRecorder>([&](std::uint32_t AHold) {
    std::lock_guard lock(holdsLock);
    // The button is down while it is held.
    holds.push_back(std::to_string(AHold) + "ms with " + std::to_string(Joystick().PressedButtons(2).size()) +
                    " down");
  }));
  ExpectEmpty200(Request("GET", "/ButtonsPress?str=4,9"));
  EXPECT_EQ(Join(ButtonCalls()), Join({"down 4", "up 4", "down 9", "up 9"}));
  std::lock_guard lock(holdsLock);
  EXPECT_EQ(Join(holds), Join({"30ms with 1 down", "30ms with 1 down"}));
}

TEST_F(InputRoutes, DownKeepsButtonsPressedUntilUp) {
  ExpectEmpty200(Request("GET", "/ButtonsDown?str=%2C1%2C5"));
  ExpectEmpty200(Request("GET", "/buttonsdown?str=3"));
  EXPECT_EQ(Joystick().PressedButtons(2), (std::vector<std::uint8_t>{1, 3, 5}));
  ExpectEmpty200(Request("GET", "/ButtonsUp?str=,1,2,3,4,5,6"));
  EXPECT_TRUE(Joystick().PressedButtons(2).empty());
}

TEST_F(InputRoutes, JoystickRoutesReadOnlyTheQueryWhateverTheMethod) {
  const struct {
    const char* method;
    const char* target;
    const char* body;
    std::vector<std::string> calls;
  } cases[] = {
      {"POST", "/ButtonsDown", "str=2", {}},
      {"POST", "/ButtonsDown?str=2", "", {"down 2"}},
      {"POST", "/ButtonsDown?str=2", "str=3", {"down 2"}},
      {"PUT", "/ButtonsUp?str=4", "str=5", {"up 4"}},
      {"DELETE", "/ButtonsDown?str=6", "", {"down 6"}},
      {"HEAD", "/ButtonsDown?str=7", "", {"down 7"}},
      {"OPTIONS", "/ButtonsDown?str=8", "", {"down 8"}},
      {"POST", "/ButtonsPress", "str=9", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target + " body " + c.body);
    Joystick().ClearCalls();
    ExpectEmpty200(Request(c.method, c.target, c.body));
    EXPECT_EQ(Join(ButtonCalls()), Join(c.calls));
  }
}

TEST_F(InputRoutes, AVersionMismatchGivesTheErrorPageBeforeAnyButton) {
  TvJoySimulated& mismatched = UseJoystickLibrary({.VersionMismatch = true});
  const TReply reply = Request("GET", "/ButtonsDown?str=1,2");
  EXPECT_EQ(reply.Status, 500);
  EXPECT_EQ(reply.Body, Utf16ToUtf8(ErrorPageText(u"Version of Driver (534) does NOT match DLL Version (537)",
                                                  u"/ButtonsDown")));
  EXPECT_EQ(Join(ButtonCalls()), "");
  // An empty list asks for no joystick at all, so nothing fails.
  ExpectEmpty200(Request("GET", "/ButtonsPress?str="));
  ExpectEmpty200(Request("GET", "/ButtonsUp?str=0,-1"));
  EXPECT_EQ(mismatched.Calls().size(), 1u) << "only the creation's version check";
  // Once the driver matches, the next request creates the object (on device 1) and presses.
  mismatched.SetVersions(TvJoySimulated::kLibraryVersion, TvJoySimulated::kLibraryVersion);
  mismatched.ClearCalls();
  ExpectEmpty200(Request("GET", "/ButtonsDown?str=1"));
  ASSERT_EQ(mismatched.Calls().size(), 2u);
  EXPECT_EQ(mismatched.Calls()[0].Text(), "DriverMatch");
  EXPECT_EQ(mismatched.Calls()[1].Text(), "SetBtn -1 1 1");
}

TEST_F(InputRoutes, ABadEscapeGivesTheErrorPage) {
  const struct {
    const char* target;
    const char16_t* message;
  } cases[] = {
      {"/KeyboardKey?str=%4", u"Error decoding URL style (%XX) encoded string at position 5"},
      {"/ButtonsDown?str=%zz", u"Invalid URL encoded character (%zz) at position 5"},
      {"/ButtonsPress?str=1%", u"Error decoding URL style (%XX) encoded string at position 6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const TReply reply = Request("GET", c.target);
    EXPECT_EQ(reply.Status, 500);
    const std::string path(c.target, std::string_view(c.target).find('?'));
    EXPECT_EQ(reply.Body, Utf16ToUtf8(ErrorPageText(c.message, Utf8ToUtf16(path))));
  }
  // A bad escape in a form body fails a keyboard POST the same way.
  const TReply reply = Request("POST", "/KeyboardKey", "str=%g1");
  EXPECT_EQ(reply.Status, 500);
  EXPECT_NE(reply.Body.find("Invalid URL encoded character (%g1) at position 5"), std::string::npos);
  EXPECT_EQ(Join(ButtonCalls()), "");
  EXPECT_EQ(Join(KeyLines()), "");
}

// --- Keyboard routes ---

TEST_F(InputRoutes, KeyboardRoutesReadTheQueryForGetAndTheBodyForPost) {
  const std::string emptyForm = "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 0\r\n";
  const std::string emptyText = "Content-Type: text/plain\r\nContent-Length: 0\r\n";
  const struct {
    const char* method;
    const char* target;
    const char* body;
    std::string headers;
    const char* played;  // "" when no worker may run
  } cases[] = {
      {"GET", "/KeyboardKey?str=a", "", "", "a"},
      {"GET", "/KeyboardKey?str=a", "str=b", "", "a"},
      // Without a body, or with an empty form, the query stands in for the body.
      {"POST", "/KeyboardKey?str=a", "", "", "a"},
      {"POST", "/KeyboardKey?str=a", "", emptyForm, "a"},
      {"POST", "/KeyboardKey?str=a", "", emptyText, ""},
      {"POST", "/KeyboardKey", "str=b", "", "b"},
      {"POST", "/KeyboardKey?str=a", "str=b", "", "b"},
      {"POST", "/KeyboardKey?str=a", "other=1", "", ""},
      {"PUT", "/KeyboardKey?str=a", "str=b", "", ""},
      {"DELETE", "/KeyboardKey?str=a", "", "", ""},
      {"HEAD", "/KeyboardKey?str=a", "", "", ""},
      {"PATCH", "/KeyboardKey?str=a", "str=b", "", ""},
      {"OPTIONS", "/KeyboardKey?str=a", "", "", ""},
      {"GET", "/KeyboardKey?str=", "", "", ""},
      {"GET", "/KeyboardKey", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target + " body " + c.body + " " + c.headers);
    Keyboard().Clear();
    ExpectEmpty200(Request(c.method, c.target, c.body, c.headers));
    const std::vector<std::string> lines = KeyLines();
    if (*c.played == 0) {
      // A worker that ran would at least have looked its keys up.
      EXPECT_TRUE(Keyboard().Calls().empty()) << "a worker was started";
    } else {
      const auto vk = static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(*c.played)));
      const auto scan = static_cast<std::uint8_t>(vk == 'A' ? 30 : 48);
      EXPECT_EQ(Join(lines), Join({FormatKeyEventLine({vk, scan, 0, 13}), FormatKeyEventLine({vk, scan, 2, 13})}));
    }
  }
}

TEST_F(InputRoutes, BlanksOnlyAreASequenceToo) {
  ExpectEmpty200(Request("GET", "/KeyboardKey?str=++"));
  const std::string space = "key vk=0x20 scan=57 flags=";
  EXPECT_EQ(Join(KeyLines()), Join({space + "0 extra=13", space + "2 extra=13", space + "0 extra=13",
                                    space + "2 extra=13"}));
}

TEST_F(InputRoutes, KeyboardDownHoldsTheKeyUntilKeyboardUp) {
  ExpectEmpty200(Request("GET", "/KeyboardDown?str=a"));
  EXPECT_EQ(Join(KeyLines()), Join({kKeyA[0]}));
  EXPECT_TRUE(Keyboard().GetKeyState('A') & 0x8000);
  Keyboard().Clear();
  // The release only releases: no second press for the game to count.
  ExpectEmpty200(Request("POST", "/KeyboardUp", "str=a"));
  EXPECT_EQ(Join(KeyLines()), Join({kKeyA[1]}));
  EXPECT_FALSE(Keyboard().GetKeyState('A') & 0x8000);
}

// A recorder whose first key-down waits until the test lets it go: the worker that sends it
// is still playing while later requests come in.
class TFirstDownWaits : public TKeyboardRecorder {
 public:
  TFirstDownWaits() {
    SetListener([this](const std::string& ALine) {
      std::lock_guard lock(fGateLock);
      fEvents += ALine.starts_with("key ");
      fChanged.notify_all();
    });
  }
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags, std::uintptr_t dwExtraInfo) override {
    if (!(dwFlags & 2)) {
      std::unique_lock lock(fGateLock);
      if (!fHeld) {
        fHeld = true;
        fChanged.notify_all();
        fChanged.wait(lock, [this] { return fOpen; });
      }
    }
    TKeyboardRecorder::keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
  }
  bool WaitUntilHeld() { return Wait([this] { return fHeld; }); }
  bool WaitForEvents(std::size_t ACount) { return Wait([this, ACount] { return fEvents >= ACount; }); }
  void Open() {
    std::lock_guard lock(fGateLock);
    fOpen = true;
    fChanged.notify_all();
  }

 private:
  template <class TCondition>
  bool Wait(TCondition ACondition) {
    std::unique_lock lock(fGateLock);
    return fChanged.wait_for(lock, std::chrono::minutes(1), ACondition);
  }

  std::mutex fGateLock;
  std::condition_variable fChanged;
  bool fHeld = false, fOpen = false;
  std::size_t fEvents = 0;
};

TEST_F(InputRoutes, AReleasePlaysAfterTheEarlierPressOfTheSameSequence) {
  const struct {
    const char* Sequence;
    const char* Events;
  } cases[] = {
      {"l", "Z↓ Z↑ L↓ L↑"},
      {"+a", "Z↓ Z↑ Shift↓ A↓ Shift↑ A↑ Shift↑"},
      {"A", "Z↓ Z↑ Shift↓ A↓ A↑ Shift↑"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Sequence);
    const auto keyboard = std::make_shared<TFirstDownWaits>();
    TKeyboardWatch workers(keyboard);
    ExpectEmpty200(Request("GET", std::string("/KeyboardDown?str=") + Encode(c.Sequence)));
    ASSERT_TRUE(keyboard->WaitUntilHeld());
    ExpectEmpty200(Request("GET", std::string("/KeyboardUp?str=") + Encode(c.Sequence)));
    // Another key plays while the press waits; by then an unordered release would have played.
    ExpectEmpty200(Request("GET", "/KeyboardKey?str=z"));
    EXPECT_TRUE(keyboard->WaitForEvents(2)) << "z was held up by the waiting press";
    EXPECT_FALSE(WaitForKeySequences(std::chrono::milliseconds(0)));
    keyboard->Open();
    EXPECT_TRUE(WaitForKeySequences(std::chrono::minutes(1)));
    workers.WaitForWorkers();
    EXPECT_EQ(Notation(keyboard->Events()), c.Events);
  }
}

TEST_F(InputRoutes, SpecialCharactersArriveIntactThroughTheEscapes) {
  // "+a" is Shift+A; "{ENTER}" a named key; "%" is Alt: all need escaping in a query.
  ExpectEmpty200(Request("GET", "/KeyboardKey?str=" + Encode("+a{ENTER}")));
  EXPECT_EQ(Join(KeyLines()), Join({"key vk=0x10 scan=42 flags=0 extra=13", kKeyA[0], kKeyA[1],
                                    "key vk=0x10 scan=42 flags=2 extra=13", "key vk=0x0D scan=28 flags=0 extra=13",
                                    "key vk=0x0D scan=28 flags=2 extra=13"}));
}

TEST_F(InputRoutes, AnInvalidSequenceIsLoggedByItsWorkerAndStillAnswered200) {
  TLogWatch log;
  ExpectEmpty200(Request("GET", "/KeyboardKey?str=" + Encode("{NOSUCHKEY}")));
  Workers().WaitForWorkers();
  EXPECT_EQ(log.Messages(), std::vector<std::u16string>{u"Invalid Key Name"});
}

TEST_F(InputRoutes, ConcurrentKeyboardRouteAnswersWhileItsWorkerStillRuns) {
  const auto gated = std::make_shared<TGatedRecorder>();
  TGatedRecorder& gate = *gated;
  TKeyboardWatch workers(gated);
  ExpectEmpty200(Request("GET", "/KeyboardKey?str=a"));
  EXPECT_EQ(workers.LiveWorkers(), 1);
  EXPECT_TRUE(gate.Events().empty());
  gate.Open();
  workers.WaitForWorkers();
  std::vector<std::string> lines;
  for (const TKeyEvent& event : gate.Events()) lines.push_back(FormatKeyEventLine(event));
  EXPECT_EQ(Join(lines), Join(kKeyA));
}

TEST_F(InputRoutes, ConcurrentJoystickRequestsEachPressTheirButtons) {
  std::vector<std::thread> threads;
  std::vector<TReply> replies(8);
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([this, i, &replies] {
      replies[i] = Request("GET", "/ButtonsDown?str=" + std::to_string(i + 1) + "," + std::to_string(i + 11));
    });
  for (std::thread& t : threads) t.join();
  for (const TReply& reply : replies) ExpectEmpty200(reply);
  EXPECT_EQ(Joystick().PressedButtons(2),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18}));
}

}  // namespace

// --- Requests from other sites ---

class CrossSiteRequests : public InputRoutes {
 protected:
  std::string Exchange(const std::string& ABytes) { return ::Exchange(Service().Port(), ABytes).Bytes; }
  static std::string WithoutDate(std::string AReply) {
    const std::size_t date = AReply.find("Date: ");
    if (date != std::string::npos) AReply.replace(date + 6, AReply.find("\r\n", date) - date - 6, "*");
    return AReply;
  }
  std::string HostName() const {
    const std::string name = LocalHostName();
    return name.substr(0, name.find('.'));
  }
};

TEST_F(CrossSiteRequests, AreRefusedWith403BeforeAnyKeyOrButtonOrWebModule) {
  const std::string kRefusals[] = {
      "Host: 127.0.0.1\r\nSec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n",
      "Host: 127.0.0.1\r\nSec-Fetch-Site: same-site\r\n",
      "Host: 127.0.0.1:8080\r\nOrigin: http://127.0.0.2:9000\r\n",
      "Host: 127.0.0.1:8080\r\nOrigin: null\r\n",
      "Host: rebound.example:8080\r\n",
      "Host: rebound.example\r\nSec-Fetch-Site: same-origin\r\nOrigin: http://rebound.example\r\n",
  };
  const int idleBefore = Service().Handler().InactiveCount();
  for (const std::string& headers : kRefusals) {
    for (const char* target : {"/KeyboardKey?str=%23r", "/KeyboardDown?str=a", "/KeyboardUp?str=a",
                               "/ButtonsPress?str=7", "/ButtonsDown?str=7", "/ButtonsUp?str=7"}) {
      SCOPED_TRACE(target + (" with " + headers));
      EXPECT_EQ(WithoutDate(Exchange(std::string("GET ") + target + " HTTP/1.1\r\n" + headers + "\r\n")),
                "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nContent-Length: 0\r\nDate: *\r\n\r\n");
    }
    const std::string body = "str=calc~";
    EXPECT_EQ(ParseReply(Exchange("POST /KeyboardKey HTTP/1.1\r\n" + headers +
                                  "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body))
                  .Status,
              403);
  }
  EXPECT_EQ(KeyLines(), std::vector<std::string>{});
  EXPECT_TRUE(Joystick().Calls().empty());
  EXPECT_EQ(Service().Handler().ActiveCount(), 0);
  EXPECT_EQ(Service().Handler().InactiveCount(), idleBefore);
}

TEST_F(CrossSiteRequests, FromThisSiteOrWithoutBrowserHeadersAreServed) {
  std::vector<std::string> allowed = {
      "Host: 127.0.0.1:8080\r\n",
      "Host: 127.0.0.1:8080\r\nSec-Fetch-Site: same-origin\r\n",
      "Host: 127.0.0.1:8080\r\nSec-Fetch-Site: none\r\n",
      "Host: 192.168.178.20:8080\r\nOrigin: http://192.168.178.20:8080\r\nSec-Fetch-Site: same-origin\r\n",
      "Host: [::1]:8080\r\n",
      "Host: localhost:8080\r\n",
  };
  if (!HostName().empty()) {
    allowed.push_back("Host: " + HostName() + ":8080\r\n");
    allowed.push_back("Host: " + HostName() + ".fritz.box:8080\r\nOrigin: http://" + HostName() + ".fritz.box:8080\r\n");
  }
  for (const std::string& headers : allowed) {
    SCOPED_TRACE(headers);
    Joystick().ClearCalls();
    EXPECT_EQ(ParseReply(Exchange("GET /ButtonsPress?str=7 HTTP/1.1\r\n" + headers + "\r\n")).Status, 200);
    EXPECT_EQ(Join(ButtonCalls()), Join({"down 7", "up 7"}));
  }
  // HTTP/1.0 needs no Host.
  Joystick().ClearCalls();
  EXPECT_EQ(ParseReply(Exchange("GET /ButtonsDown?str=3 HTTP/1.0\r\n\r\n")).Status, 200);
  EXPECT_EQ(Join(ButtonCalls()), Join({"down 3"}));
  EXPECT_EQ(ParseReply(Exchange("GET /KeyboardKey?str=a HTTP/1.0\r\n\r\n")).Status, 200);
  EXPECT_EQ(KeyLines(), kKeyA);
}

TEST_F(CrossSiteRequests, LeaveThePageOpenToEveryone) {
  const THTTPReply reply =
      ParseReply(Exchange("GET / HTTP/1.1\r\nHost: rebound.example\r\nSec-Fetch-Site: cross-site\r\nOrigin: null\r\n\r\n"));
  // No page files here: the page route answers its empty 200.
  EXPECT_EQ(reply.Status, 200);
}
