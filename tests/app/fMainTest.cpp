#include "app/fMain.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/uAddresses.h"
#include "base/uFiles.h"
#include "base/uSockets.h"
#include "base/uText.h"
#include "joystick/vJoyClass.h"
#include "joystick/vJoySimulated.h"
#include "page/uPageInfo.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/support/TempDir.h"
#include "web/uHTTPWebBrokerBridge.h"
#include "web/uMainPage.h"
#include "web/uWebRequestHandler.h"

namespace {

using C = TMainControl;

// Behaves as the toolkit does: a field's change event fires whenever its text changes,
// typed or set by the program; typed characters go through the device field's filter;
// arrows and leaving the field follow its rules. Everything else is stored.
class TFakeView : public IMainView {
 public:
  TfrmMain* form = nullptr;
  std::map<C, std::u16string> texts{
      {C::EditPort, u"8080"},
      {C::edtvJoyDeviceId, u"1"},
      {C::ButtonStart, u"Start"},
      {C::ButtonStop, u"Stop"},
      {C::ButtonOpenBrowser, u"Open Browser"},
      {C::lblVJoyStatus, u"Status: Not Acquired"},
  };
  std::map<C, bool> enabled;
  std::vector<std::u16string> errors;
  std::vector<std::u16string> errorTitles;
  std::vector<std::u16string> opened;
  int beeps = 0;
  std::map<C, int> changes;
  // Runs after each text change and its change event.
  std::function<void(C)> afterChange;

  std::u16string Text(C c) const override {
    const auto it = texts.find(c);
    return it == texts.end() ? std::u16string() : it->second;
  }
  void SetText(C c, const std::u16string& text) override {
    if (Text(c) == text) return;
    texts[c] = text;
    ++changes[c];
    if (c == C::EditPort) form->FireChange(TMainEvent::EditPortChange);
    if (c == C::edtvJoyDeviceId) form->FireChange(TMainEvent::edtvJoyDeviceIdChange);
    if (afterChange) afterChange(c);
  }
  void SetEnabled(C c, bool value) override { enabled[c] = value; }
  void ShowErrorBox(const std::u16string& message, const std::u16string& title) override {
    errors.push_back(message);
    errorTitles.push_back(title);
  }
  void ShellOpen(const std::u16string& url) override { opened.push_back(url); }
  void SetHint(C c, const std::u16string& text) override { hints[c] = text; }
  std::map<C, std::u16string> hints;

  // What the user does.
  void SelectAllAndType(C c, const std::u16string& keys) {
    bool first = true;
    for (char16_t ch : keys) {
      if (c == C::edtvJoyDeviceId && !TSpinEditRules::AcceptsChar(ch, u'.')) {
        ++beeps;
        continue;
      }
      SetText(c, (first ? std::u16string() : Text(c)) + ch);
      first = false;
    }
  }
  void Step(int delta) {
    form->HandleToolkitEvent([&] {
      SetText(C::edtvJoyDeviceId, TfrmMain::DeviceIdRules().SteppedText(Text(C::edtvJoyDeviceId), delta));
    });
  }
  void LeaveDeviceField() {
    form->HandleToolkitEvent([&] {
      if (auto text = TfrmMain::DeviceIdRules().TextOnExit(Text(C::edtvJoyDeviceId)))
        SetText(C::edtvJoyDeviceId, *text);
    });
  }
};

// A window over the fake view, with the simulated joystick library and fresh page settings,
// as at the start of the process.
class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { joy = &StartAsANewProcess(options); }
  void TearDown() override {
    form.reset();
    ForgetProcessObjects();
  }

  void Create(TfrmMainPlatform platform = {}) {
    // The user's own panel never reaches a test.
    if (!platform.PanelFiles) platform.PanelFiles = [] { return std::vector<std::u16string>{}; };
    form = std::make_unique<TfrmMain>(view, std::move(platform));
    view.form = form.get();
    form->Fire(TMainEvent::FormCreate);
  }
  // A window whose port field asks the system for a free port.
  void CreateOnFreePort(TfrmMainPlatform platform = {}) {
    Create(std::move(platform));
    view.SelectAllAndType(C::EditPort, u"0");
  }
  void Click(TMainEvent e) { form->Fire(e); }
  void Idle() { form->Fire(TMainEvent::ApplicationEvents1Idle); }
  TIdHTTPWebBrokerBridge& Server() { return *form->Server(); }
  bool Active() { return Server().Active(); }
  int CallCount(const std::string& name) {
    int n = 0;
    for (const auto& c : joy->Calls()) n += c.Name == name;
    return n;
  }

  TvJoySimulatedOptions options;
  TvJoySimulated* joy = nullptr;
  TFakeView view;
  std::unique_ptr<TfrmMain> form;
};

// The same, for the tests that start the service: its listener and connection threads run
// beside the test's own.
class MainWindowConcurrent : public MainWindow {};
// Those that listen on a fixed port; CTest runs them one at a time (tests/tests.cmake).
using MainWindowConcurrentPort8080 = MainWindowConcurrent;

// Whether another program holds the port: then a start on it cannot be checked here.
bool PortTakenElsewhere(std::uint16_t APort) {
  TSocket probe = TSocket::Open(TIPVersion::IPv4);
  return !probe.Bind("", APort);
}

std::u16string FirstHost() {
  const auto addresses = LocalIPv4Addresses();
  return addresses.empty() ? u"localhost" : addresses.front();
}

TfrmMainPlatform WithAddresses(std::vector<std::u16string> addresses) {
  TfrmMainPlatform p;
  p.LocalAddresses = [addresses] { return addresses; };
  return p;
}

// --- Start-up ---------------------------------------------------------------------------

TEST_F(MainWindow, CreationCopiesTheSettingsAndSetsTheDeviceNumberThroughTheChangeEvent) {
  Create(WithAddresses({u"192.0.2.7", u"198.51.100.1"}));
  EXPECT_EQ(view.Text(C::edtWebpageTitle), GetPageInfo().PageTitle());
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"2");
  EXPECT_EQ(view.changes[C::edtvJoyDeviceId], 1);
  EXPECT_EQ(GetvJoy().Id(), 2);
  // The port text was already "8080": no change, no event.
  EXPECT_EQ(view.changes[C::EditPort], 0);
  EXPECT_EQ(view.Text(C::edtURL), u"http://192.0.2.7:8080");
  EXPECT_TRUE(view.errors.empty());
  EXPECT_FALSE(Active());
}

TEST_F(MainWindow, NoLocalAddressShowsLocalhost) {
  Create(WithAddresses({}));
  EXPECT_EQ(view.Text(C::edtURL), u"http://localhost:8080");
}

TEST_F(MainWindow, TheDefaultAddressListIsTheSystems) {
  Create();
  EXPECT_EQ(view.Text(C::edtURL), u"http://" + FirstHost() + u":8080");
}

TEST_F(MainWindow, VersionMismatchAtStartUpStopsCreationInsideLoadSettings) {
  options.VersionMismatch = true;
  SetUp();
  Create(WithAddresses({u"192.0.2.7"}));
  ASSERT_EQ(view.errors.size(), 1u);
  // Ends in ")": no full stop added.
  EXPECT_EQ(view.errors[0], u"Version of Driver (534) does NOT match DLL Version (537)");
  EXPECT_EQ(view.errorTitles[0], ApplicationTitle(ExecutablePath()));
  EXPECT_EQ(view.Text(C::edtWebpageTitle), GetPageInfo().PageTitle());
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"2");
  EXPECT_EQ(view.Text(C::EditPort), u"8080");
  EXPECT_EQ(view.Text(C::edtURL), u"");

  // The window stays usable: the idle refresh reports nothing and shows the device as not
  // owned, pass after pass.
  view.texts[C::lblVJoyStatus] = u"";
  Idle();
  Idle();
  EXPECT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.Text(C::lblVJoyStatus), u"Status: Not Acquired");
  EXPECT_TRUE(view.enabled[C::ButtonStart]);

  // Start and Open Browser report the same failure after storing the settings; the
  // service stays stopped and no browser opens.
  view.SelectAllAndType(C::EditPort, u"0");
  view.texts[C::edtWebpageTitle] = u"Mine";
  Click(TMainEvent::ButtonOpenBrowserClick);
  Click(TMainEvent::ButtonStartClick);
  ASSERT_EQ(view.errors.size(), 3u);
  EXPECT_EQ(view.errors[1], view.errors[0]);
  EXPECT_EQ(view.errors[2], view.errors[0]);
  EXPECT_EQ(GetPageInfo().PageTitle(), u"Mine");
  EXPECT_EQ(GetPageInfo().WebServerPortNr(), 0);
  EXPECT_FALSE(Active());
  EXPECT_TRUE(view.opened.empty());
}

// --- Start and Stop ----------------------------------------------------------------------

const char16_t kBindError[] = u"Could not bind socket. Address and port are already in use.";

TEST_F(MainWindowConcurrentPort8080, StartUntouchedAcquiresDeviceTwoAndListensOn8080) {
  if (PortTakenElsewhere(8080)) GTEST_SKIP() << "another program holds port 8080: the start on it cannot be checked";
  Create();
  Click(TMainEvent::ButtonStartClick);
  EXPECT_EQ(joy->GetVJDStatus(2), VJD_STAT_OWN);
  EXPECT_EQ(GetPageInfo().VirtualJoystickId(), 2);
  EXPECT_EQ(GetPageInfo().WebServerPortNr(), 8080);
  EXPECT_EQ(Server().DefaultPort(), 8080);
  EXPECT_EQ(view.Text(C::edtURL), u"http://" + FirstHost() + u":8080");
  EXPECT_TRUE(view.errors.empty()) << Utf16ToUtf8(view.errors.empty() ? u"" : view.errors[0]);
  EXPECT_TRUE(Active());
  EXPECT_EQ(BoundIPv4Port(Server()), 8080);
  EXPECT_TRUE(LoopbackConnects(8080));
}

TEST_F(MainWindowConcurrent, PortZeroListensOnAPortTheSystemChoosesAndServesThePage) {
  CreateOnFreePort(WithAddresses({u"192.0.2.7"}));
  EXPECT_EQ(view.Text(C::edtURL), u"http://192.0.2.7:0");
  Click(TMainEvent::ButtonStartClick);
  ASSERT_TRUE(view.errors.empty()) << Utf16ToUtf8(view.errors[0]);
  ASSERT_TRUE(Active());
  const std::uint16_t port = BoundIPv4Port(Server());
  EXPECT_GT(port, 0);
  EXPECT_EQ(view.Text(C::edtURL), u"http://192.0.2.7:0");
  const std::string response = LoopbackGet(port, "/");
  EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response.substr(0, 200);
  EXPECT_NE(response.find("<html"), std::string::npos);
}

TEST_F(MainWindowConcurrent, AChosenDeviceNumberIsAcquiredAndStored) {
  CreateOnFreePort();
  view.SelectAllAndType(C::edtvJoyDeviceId, u"5");
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(view.errors.empty());
  EXPECT_EQ(GetPageInfo().VirtualJoystickId(), 5);
  EXPECT_EQ(joy->GetVJDStatus(5), VJD_STAT_OWN);
  EXPECT_EQ(joy->GetVJDStatus(2), VJD_STAT_FREE);
  EXPECT_TRUE(Active());
}

TEST_F(MainWindowConcurrent, ChangingTheNumberWhileOwnedGivesTheDeviceUpAtOnce) {
  CreateOnFreePort();
  Click(TMainEvent::ButtonStartClick);
  Idle();
  EXPECT_EQ(view.Text(C::lblVJoyStatus), u"Status: Acquired");
  Click(TMainEvent::ButtonStopClick);
  view.Step(+1);
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"3");
  EXPECT_EQ(GetvJoy().Id(), 3);
  EXPECT_EQ(joy->GetVJDStatus(2), VJD_STAT_FREE);
  EXPECT_EQ(CallCount("RelinquishVJD"), 1);
  EXPECT_EQ(joy->GetVJDStatus(3), VJD_STAT_FREE) << "the new device waits for the next start";
  Idle();
  EXPECT_EQ(view.Text(C::lblVJoyStatus), u"Status: Not Acquired");
}

TEST_F(MainWindowConcurrent, MissingDeviceShowsTheErrorAndLeavesTheServiceStopped) {
  options.MissingDevice = 2;
  SetUp();
  CreateOnFreePort();
  view.texts[C::edtWebpageTitle] = u"Mine";
  for (TMainEvent e : {TMainEvent::ButtonStartClick, TMainEvent::ButtonOpenBrowserClick}) {
    view.errors.clear();
    Click(e);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], u"vJoy Device 2 is missing.");
    EXPECT_EQ(view.errorTitles[0], ApplicationTitle(ExecutablePath()));
    EXPECT_FALSE(Active());
    // The steps after the failing one did not run.
    EXPECT_EQ(Server().DefaultPort(), 80);
  }
  EXPECT_TRUE(view.opened.empty());
  EXPECT_EQ(GetPageInfo().PageTitle(), u"Mine");
  EXPECT_EQ(GetPageInfo().WebServerPortNr(), 0);
  // The window goes on: another device starts.
  view.Step(+1);
  view.errors.clear();
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(view.errors.empty());
  EXPECT_TRUE(Active());
}

TEST_F(MainWindowConcurrent, StartWhileRunningDoesNothingNotEvenStoreTheTitle) {
  CreateOnFreePort();
  view.texts[C::edtWebpageTitle] = u"First";
  Click(TMainEvent::ButtonStartClick);
  ASSERT_TRUE(Active());
  const std::uint16_t port = BoundIPv4Port(Server());
  const std::size_t calls = joy->Calls().size();
  view.texts[C::edtWebpageTitle] = u"Second";
  Click(TMainEvent::ButtonStartClick);
  EXPECT_EQ(GetPageInfo().PageTitle(), u"First");
  EXPECT_EQ(joy->Calls().size(), calls);
  EXPECT_TRUE(Active());
  EXPECT_EQ(BoundIPv4Port(Server()), port);
  EXPECT_TRUE(view.errors.empty());
}

TEST_F(MainWindowConcurrent, ThePanelLabelStartsTheServiceAndOpensTheEditor) {
  CreateOnFreePort(WithAddresses({u"192.0.2.7"}));
  Click(TMainEvent::lblPanelClick);
  ASSERT_TRUE(Active());
  const std::uint16_t port = BoundIPv4Port(Server());
  EXPECT_EQ(view.opened, std::vector<std::u16string>{u"http://192.0.2.7:0/edit"});
  Click(TMainEvent::lblPanelClick);
  EXPECT_EQ(view.opened.size(), 2u);
  EXPECT_EQ(BoundIPv4Port(Server()), port);
  EXPECT_TRUE(view.errors.empty());
}

TEST_F(MainWindowConcurrent, OpenBrowserStartsWhenStoppedAndOnlyOpensWhenRunning) {
  CreateOnFreePort(WithAddresses({u"192.0.2.7"}));
  Click(TMainEvent::ButtonOpenBrowserClick);
  ASSERT_TRUE(Active());
  const std::uint16_t port = BoundIPv4Port(Server());
  EXPECT_EQ(view.opened, std::vector<std::u16string>{u"http://192.0.2.7:0"});
  Click(TMainEvent::ButtonOpenBrowserClick);
  EXPECT_EQ(view.opened.size(), 2u);
  EXPECT_EQ(view.opened[1], u"http://192.0.2.7:0");
  EXPECT_EQ(BoundIPv4Port(Server()), port);
  EXPECT_TRUE(view.errors.empty());
}

TEST_F(MainWindowConcurrent, StopThenStartKeepsTheDeviceOwnedAndItsButtons) {
  CreateOnFreePort();
  Click(TMainEvent::ButtonStartClick);
  GetvJoy().ButtonDown(5);
  Click(TMainEvent::ButtonStopClick);
  EXPECT_FALSE(Active());
  Idle();
  EXPECT_EQ(view.Text(C::lblVJoyStatus), u"Status: Acquired");
  const int resets = CallCount("ResetButtons");
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(Active());
  EXPECT_EQ(CallCount("ResetButtons"), resets);
  EXPECT_TRUE(joy->ButtonPressed(2, 5));
  EXPECT_EQ(CallCount("RelinquishVJD"), 0);
}

TEST_F(MainWindowConcurrent, StopEndsTheServiceAndAnotherStartListensAgain) {
  CreateOnFreePort();
  Click(TMainEvent::ButtonStartClick);
  const std::uint16_t port = BoundIPv4Port(Server());
  Click(TMainEvent::ButtonStopClick);
  EXPECT_FALSE(Active());
  EXPECT_FALSE(LoopbackConnects(port));
  Click(TMainEvent::ButtonStartClick);
  ASSERT_TRUE(Active());
  EXPECT_EQ(LoopbackGet(BoundIPv4Port(Server()), "/").rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST_F(MainWindowConcurrent, PortInUseShowsTheBindErrorAfterAcquiringTheDevice) {
  TIdHTTPWebBrokerBridge other;
  other.SetDefaultPort(0);
  other.SetActive(true);
  const std::u16string busy = IntToStr(BoundIPv4Port(other));

  CreateOnFreePort();
  view.SelectAllAndType(C::EditPort, busy);
  Click(TMainEvent::ButtonStartClick);
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0], kBindError);
  EXPECT_FALSE(Active());
  EXPECT_TRUE(GetvJoy().IsAcquired());
  EXPECT_EQ(IntToStr(GetPageInfo().WebServerPortNr()), busy);
  Click(TMainEvent::ButtonOpenBrowserClick);
  EXPECT_EQ(view.errors.size(), 2u);
  EXPECT_TRUE(view.opened.empty());
}

TEST_F(MainWindowConcurrent, DestroyingTheWindowStopsTheServiceWithAConnectionOpen) {
  CreateOnFreePort();
  Click(TMainEvent::ButtonStartClick);
  const std::uint16_t port = BoundIPv4Port(Server());
  TTestClient silent(port);
  ASSERT_TRUE(silent.Connected());
  form.reset();
  EXPECT_FALSE(LoopbackConnects(port));
}

// --- The port field ----------------------------------------------------------------------

TEST_F(MainWindow, EveryKeystrokeInThePortFieldUpdatesTheAddress) {
  Create(WithAddresses({u"192.0.2.7"}));
  std::vector<std::u16string> urls;
  view.afterChange = [&](C c) {
    if (c == C::EditPort) urls.push_back(view.Text(C::edtURL));
  };
  view.SelectAllAndType(C::EditPort, u"81x");
  EXPECT_EQ(urls, (std::vector<std::u16string>{u"http://192.0.2.7:8", u"http://192.0.2.7:81",
                                                u"http://192.0.2.7:81x"}));
}

TEST_F(MainWindowConcurrentPort8080, PortTextsThatAreNoPortStillStartAndShowAsTyped) {
  const struct {
    std::u16string text;
    std::int32_t stored;
    std::uint16_t port;
  } cases[] = {{u"abc", 8080, 8080}, {u"70000", 70000, 4464}, {u"", 8080, 8080}};
  std::string unchecked;
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    if (PortTakenElsewhere(c.port)) {
      if (unchecked.find(std::to_string(c.port)) == std::string::npos) unchecked += " " + std::to_string(c.port);
      continue;
    }
    TearDown();
    SetUp();
    view = TFakeView();
    Create(WithAddresses({u"192.0.2.7"}));
    view.SelectAllAndType(C::EditPort, c.text);
    if (c.text.empty()) view.SetText(C::EditPort, u"");
    Click(TMainEvent::ButtonStartClick);
    EXPECT_EQ(GetPageInfo().WebServerPortNr(), c.stored);
    EXPECT_EQ(Server().DefaultPort(), c.port);
    EXPECT_EQ(view.Text(C::edtURL), u"http://192.0.2.7:" + c.text);
    EXPECT_TRUE(view.errors.empty()) << Utf16ToUtf8(view.errors.empty() ? u"" : view.errors[0]);
    EXPECT_TRUE(Active());
    EXPECT_EQ(BoundIPv4Port(Server()), c.port);
  }
  if (!unchecked.empty()) GTEST_SKIP() << "another program holds port" << unchecked << ": the start on it was not checked";
}

// --- The device-number field -------------------------------------------------------------

TEST_F(MainWindow, TypingNineNineThenLeavingSetsNineNinetyNineAndSixteen) {
  Create();
  std::vector<std::int32_t> ids;
  view.afterChange = [&](C c) {
    if (c == C::edtvJoyDeviceId) ids.push_back(GetvJoy().Id());
  };
  view.SelectAllAndType(C::edtvJoyDeviceId, u"99");
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"99");
  view.LeaveDeviceField();
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"16");
  EXPECT_EQ(ids, (std::vector<std::int32_t>{9, 99, 16}));
}

TEST_F(MainWindow, TheDeviceFieldRefusesLettersWithABeepAndStepsWithinItsLimits) {
  Create();
  const int changes = view.changes[C::edtvJoyDeviceId];
  view.SelectAllAndType(C::edtvJoyDeviceId, u"x");
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(view.changes[C::edtvJoyDeviceId], changes);
  view.SelectAllAndType(C::edtvJoyDeviceId, u"16");
  view.Step(+1);
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"16");
  view.SelectAllAndType(C::edtvJoyDeviceId, u"-");
  EXPECT_EQ(GetvJoy().Id(), 1) << "a text that is no integer reads as the lower limit";
  view.LeaveDeviceField();
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"-") << "its value lies inside the limits";
  view.Step(-1);
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"1");
}

// --- The idle refresh --------------------------------------------------------------------

TEST_F(MainWindowConcurrent, IdleRefreshEnablesTheControlsOfTheState) {
  CreateOnFreePort();
  Idle();
  EXPECT_EQ(view.enabled, (std::map<C, bool>{{C::EditPort, true},
                                             {C::edtvJoyDeviceId, true},
                                             {C::ButtonStart, true},
                                             {C::ButtonStop, false}}));
  EXPECT_EQ(view.Text(C::lblVJoyStatus), u"Status: Not Acquired");
  Click(TMainEvent::ButtonStartClick);
  Idle();
  EXPECT_EQ(view.enabled, (std::map<C, bool>{{C::EditPort, false},
                                             {C::edtvJoyDeviceId, false},
                                             {C::ButtonStart, false},
                                             {C::ButtonStop, true}}));
  EXPECT_EQ(view.Text(C::lblVJoyStatus), u"Status: Acquired");
  Click(TMainEvent::ButtonStopClick);
  Idle();
  EXPECT_TRUE(view.enabled[C::ButtonStart]);
  EXPECT_FALSE(view.enabled[C::ButtonStop]);
}

TEST_F(MainWindow, IdleRefreshShowsTheKeyboardStatusWhenThePlatformTellsIt) {
  TfrmMainPlatform platform = WithAddresses({});
  platform.KeyboardStatus = [] { return std::u16string(u"Keyboard: no output"); };
  Create(std::move(platform));
  Idle();
  EXPECT_EQ(view.Text(C::lblKeyboardStatus), u"Keyboard: no output");
}

TEST_F(MainWindow, IdleLeavesDoneAsItArrives) {
  Create();
  for (const bool arrives : {true, false}) {
    bool done = arrives;
    form->ApplicationEvents1Idle(done);
    EXPECT_EQ(done, arrives);
  }
}

// --- The error box -----------------------------------------------------------------------

// ---- Panel files ----

// The window with the panel files of a temporary folder: the user's, then the portable one.
class MainWindowPanel : public MainWindowConcurrent {
 protected:
  void CreateWithPanels() {
    TfrmMainPlatform platform;
    platform.PanelFiles = [this] { return std::vector<std::u16string>{user.File("panel.json"), portable.File("panel.json")}; };
    CreateOnFreePort(std::move(platform));
  }
  std::string Page() { return LoopbackGet(BoundIPv4Port(Server()), "/"); }

  TempDir user;
  TempDir portable;
};

const char* const kGoodPanel = R"({"tapdeckPanel": 1, "title": "Good", "above": [[{"text": "Hello", "keys": "h"}]]})";
const char* const kBadPanel = R"({"tapdeckPanel": 1, "above": [[{"text": "Boost", "keys": "{BOSST}"}]]})";
const char16_t* const kBadMessage =
    u"panel.json: the rows above the tabs, row 1, cell 1 (\"Boost\"): keys \"{BOSST}\": Invalid Key Name.";

TEST_F(MainWindowPanel, WithoutAPanelFileTheBuiltInPageIsInUse) {
  CreateWithPanels();
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: built-in");
  EXPECT_EQ(view.Text(C::edtWebpageTitle), u"Elite Dangerous Tapdeck");
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(view.errors.empty());
  EXPECT_NE(Page().find("Toggle Landing Gear"), std::string::npos);
}

TEST_F(MainWindowPanel, TheUsersPanelComesFirstAndGivesItsTitleAtStartUp) {
  user.Write("panel.json", kGoodPanel);
  portable.Write("panel.json", R"({"tapdeckPanel": 1, "title": "Portable", "above": [[{"text": "P"}]]})");
  CreateWithPanels();
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: panel.json");
  EXPECT_EQ(view.hints[C::lblPanel], user.File("panel.json"));
  EXPECT_EQ(view.Text(C::edtWebpageTitle), u"Good");
  // The portable copy is used when the user has none.
  user.Remove("panel.json");
  Click(TMainEvent::ButtonStartClick);
  EXPECT_EQ(view.hints[C::lblPanel], portable.File("panel.json"));
  const std::string page = Page();
  EXPECT_NE(page.find(">P</td>"), std::string::npos);
  // Later, the title field rules.
  EXPECT_NE(page.find("<title>Good</title>"), std::string::npos);
}

TEST_F(MainWindowPanel, TheEditorSavesToTheUsersFileWhicheverPanelIsInUse) {
  CreateWithPanels();
  EXPECT_EQ(GetPageInfo().PanelFile(), u"");
  EXPECT_EQ(GetPageInfo().PanelSaveFile(), user.File("panel.json"));
  portable.Write("panel.json", R"({"tapdeckPanel": 1, "title": "Portable", "above": [[{"text": "P"}]]})");
  Click(TMainEvent::ButtonStartClick);
  EXPECT_EQ(GetPageInfo().PanelFile(), portable.File("panel.json"));
  EXPECT_EQ(GetPageInfo().PanelSaveFile(), user.File("panel.json"));
  // A save in the editor puts the user's file in use: the label shows it at the next idle pass.
  GetPageInfo().SetPanelFile(user.File("panel.json"));
  Idle();
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: panel.json");
  EXPECT_EQ(view.hints[C::lblPanel], user.File("panel.json"));
}

TEST_F(MainWindowPanel, ARefusedPanelAtStartUpIsShownOnceTheWindowIsUpAndTheBuiltInPageIsUsed) {
  user.Write("panel.json", kBadPanel);
  CreateWithPanels();
  EXPECT_TRUE(view.errors.empty()) << "shown before the window is up";
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: built-in");
  Idle();
  Idle();
  EXPECT_EQ(view.errors, std::vector<std::u16string>{kBadMessage});
  // Start reads it again and refuses to start with it.
  Click(TMainEvent::ButtonStartClick);
  EXPECT_FALSE(Active());
  ASSERT_EQ(view.errors.size(), 2u);
  EXPECT_EQ(view.errors[1], kBadMessage);
  // Mended by hand, it is taken at the next Start.
  user.Write("panel.json", kGoodPanel);
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(Active());
  EXPECT_NE(Page().find(">Hello</td>"), std::string::npos);
}

TEST_F(MainWindowPanel, APanelBrokenAfterStartUpStopsTheNextStartAndKeepsTheLastGoodOne) {
  user.Write("panel.json", kGoodPanel);
  CreateWithPanels();
  Click(TMainEvent::ButtonStartClick);
  Click(TMainEvent::ButtonStopClick);
  user.Write("panel.json", kBadPanel);
  Click(TMainEvent::ButtonStartClick);
  EXPECT_FALSE(Active());
  EXPECT_EQ(view.errors, std::vector<std::u16string>{kBadMessage});
  EXPECT_NE(GetPageInfo().GetHTML().find(u">Hello</td>"), std::u16string::npos);
  // The Panel line still names the panel in use.
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: panel.json");
}

TEST(ErrorBoxMessage, AddsAFullStopAfterCharactersAboveIt) {
  const struct {
    std::u16string in, out;
  } cases[] = {
      {u"vJoy Device 3 is missing", u"vJoy Device 3 is missing."},
      {u"port 80", u"port 80."},
      {u"done.", u"done."},
      {u"(537)", u"(537)"},
      {u"a-", u"a-"},
      {u"a/", u"a/."},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorBoxMessage(c.in), c.out) << Utf16ToUtf8(c.in);
}

TEST(ApplicationTitle, FileNameUpToItsFirstDotWithTheLaterLettersInLowerCase) {
  EXPECT_EQ(ApplicationTitle(u"/usr/lib/tapdeck/tapdeck"), u"tapdeck");
  EXPECT_EQ(ApplicationTitle(u"/opt/TAPDECK-Headless"), u"Tapdeck-headless");
  EXPECT_EQ(ApplicationTitle(u"/x/Tapdeck.v2.exe"), u"Tapdeck");
  EXPECT_EQ(ApplicationTitle(u"/x/.hidden"), u"");
}

TEST_F(MainWindow, AnErrorInAChangeEventIsShownAndEndsOnlyThatHandler) {
  Create();
  // From now on the joystick object cannot be made: its library's versions differ.
  options.VersionMismatch = true;
  SetUp();
  view.texts[C::edtURL] = u"before";
  view.SelectAllAndType(C::edtvJoyDeviceId, u"4");
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0], u"Version of Driver (534) does NOT match DLL Version (537)");
  EXPECT_EQ(view.Text(C::edtvJoyDeviceId), u"4");
  EXPECT_EQ(view.Text(C::edtURL), u"before") << "the handler's remaining step ran";
  // The program goes on: other events work, and the idle refresh reports nothing.
  view.SelectAllAndType(C::EditPort, u"81");
  EXPECT_EQ(view.Text(C::edtURL), u"http://" + FirstHost() + u":81");
  Idle();
  EXPECT_EQ(view.errors.size(), 1u);
}

}  // namespace
