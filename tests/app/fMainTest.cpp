#include "app/fMain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/uAddresses.h"
#include "base/uFiles.h"
#include "base/uSockets.h"
#include "base/uText.h"
#include "joystick/vJoyClass.h"
#include "joystick/vJoySimulated.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/support/TempDir.h"
#include "web/uDevices.h"
#include "web/uHTTPWebBrokerBridge.h"
#include "web/uPairing.h"
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
  bool Checked(C c) const override { return checked.count(c) > 0 && checked.at(c); }
  void SetChecked(C c, bool value) override { checked[c] = value; }
  void SetWarning(C c, bool value) override { warnings[c] = value; }
  void ShowPairingCard(const TPairingCardView& card) override { cards.push_back(card); }
  void HidePairingCard() override { cards.clear(); }
  void ShowDevices(const std::vector<TDeviceRow>& rows, bool open) override {
    if (open) devicesOpen = true;
    if (devicesOpen) deviceRows = rows;
  }
  void ShowScriptKey(const std::u16string& name, const std::u16string& key) override { scriptKeys.push_back({name, key}); }
  std::optional<std::u16string> PickFolder(const std::u16string&, const std::u16string&) override {
    ++folderPicks;
    return pickedFolder;
  }
  std::map<C, bool> checked, warnings;
  std::optional<std::u16string> pickedFolder;
  int folderPicks = 0;
  std::vector<TPairingCardView> cards;
  bool devicesOpen = false;
  std::vector<TDeviceRow> deviceRows;
  std::vector<std::pair<std::u16string, std::u16string>> scriptKeys;

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
    // The user's own panel and devices never reach a test.
    if (!platform.PanelFiles) platform.PanelFiles = [] { return std::vector<std::u16string>{}; };
    for (auto* file : {&platform.DevicesFile, &platform.SettingsFile, &platform.TogglesFile})
      if (!*file) *file = [] { return std::u16string(); };
    form = std::make_unique<TfrmMain>(view, std::move(platform));
    view.form = form.get();
    form->Fire(TMainEvent::FormCreate);
  }
  // A window whose port field holds a port that is free now.
  void CreateOnFreePort(TfrmMainPlatform platform = {}) {
    Create(std::move(platform));
    port = FreePort();
    ASSERT_NE(port, 0);
    view.SelectAllAndType(C::EditPort, IntToStr(port));
  }
  // The address of the free port's page on the first test address.
  std::u16string Url() const { return u"http://192.0.2.7:" + IntToStr(port); }
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
  std::uint16_t port = 0;
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
  port = FreePort();
  view.SelectAllAndType(C::EditPort, IntToStr(port));
  view.texts[C::edtWebpageTitle] = u"Mine";
  Click(TMainEvent::ButtonOpenBrowserClick);
  Click(TMainEvent::ButtonStartClick);
  ASSERT_EQ(view.errors.size(), 3u);
  EXPECT_EQ(view.errors[1], view.errors[0]);
  EXPECT_EQ(view.errors[2], view.errors[0]);
  EXPECT_EQ(GetPageInfo().PageTitle(), u"Mine");
  EXPECT_EQ(GetPageInfo().WebServerPortNr(), port);
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

TEST_F(MainWindowConcurrent, AChosenPortIsListenedOnAndServesThePage) {
  CreateOnFreePort(WithAddresses({u"192.0.2.7"}));
  EXPECT_EQ(view.Text(C::edtURL), Url());
  Click(TMainEvent::ButtonStartClick);
  ASSERT_TRUE(view.errors.empty()) << Utf16ToUtf8(view.errors[0]);
  ASSERT_TRUE(Active());
  EXPECT_EQ(BoundIPv4Port(Server()), port);
  EXPECT_EQ(view.Text(C::edtURL), Url());
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
  EXPECT_EQ(GetPageInfo().WebServerPortNr(), port);
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
  EXPECT_EQ(view.opened, std::vector<std::u16string>{u"http://127.0.0.1:" + IntToStr(port) + u"/edit"});
  Click(TMainEvent::lblPanelClick);
  EXPECT_EQ(view.opened.size(), 2u);
  EXPECT_EQ(BoundIPv4Port(Server()), port);
  EXPECT_TRUE(view.errors.empty());
}

TEST_F(MainWindowConcurrent, OpenBrowserStartsWhenStoppedAndOnlyOpensWhenRunning) {
  CreateOnFreePort(WithAddresses({u"192.0.2.7"}));
  GetDeviceStore().SetOpenMode(true);
  Click(TMainEvent::ButtonOpenBrowserClick);
  ASSERT_TRUE(Active());
  const std::uint16_t port = BoundIPv4Port(Server());
  EXPECT_EQ(view.opened, std::vector<std::u16string>{Url()});
  Click(TMainEvent::ButtonOpenBrowserClick);
  EXPECT_EQ(view.opened.size(), 2u);
  EXPECT_EQ(view.opened[1], Url());
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

// A port that is no port would give the phone an address that does not work: it is refused
// before anything starts, with the text as typed.
TEST_F(MainWindowConcurrent, PortTextsThatAreNoPortAreRefusedBeforeStarting) {
  for (const std::u16string text : {u"abc", u"99999", u"0", u"", u"+80", u"0x1F90", u"80 "}) {
    SCOPED_TRACE(Utf16ToUtf8(text));
    TearDown();
    SetUp();
    view = TFakeView();
    Create(WithAddresses({u"192.0.2.7"}));
    view.SetText(C::EditPort, text);
    Click(TMainEvent::ButtonStartClick);
    EXPECT_FALSE(Active());
    EXPECT_EQ(view.errors, std::vector<std::u16string>{u"The port must be a whole number from 1 to 65535, not \u201c" +
                                                        text + u"\u201d."});
    EXPECT_EQ(CallCount("AcquireVJD"), 0) << "refused before the joystick is touched";
  }
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
                                             {C::ButtonStop, false},
                                             {C::chkNoJoystick, true}}));
  EXPECT_EQ(view.Text(C::lblVJoyStatus), u"Status: Not Acquired");
  Click(TMainEvent::ButtonStartClick);
  Idle();
  EXPECT_EQ(view.enabled, (std::map<C, bool>{{C::EditPort, false},
                                             {C::edtvJoyDeviceId, false},
                                             {C::ButtonStart, false},
                                             {C::ButtonStop, true},
                                             {C::chkNoJoystick, false}}));
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
// What the window says of kBadPanel in AFolder: the file's full path, the problem, and that the
// built-in page is served meanwhile.
std::u16string BadMessage(const TempDir& AFolder) {
  return AFolder.File("panel.json") +
         u": the rows above the tabs, row 1, cell 1 (\"Boost\"): keys \"{BOSST}\": Invalid Key Name\n\nTapdeck uses its "
         u"built-in page meanwhile. Click \u201cPanel:\u201d in the window to put the file right in the panel editor.";
}

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
  // Another panel in use brings its title into the field, and to the page.
  EXPECT_EQ(view.Text(C::edtWebpageTitle), u"Portable");
  EXPECT_NE(page.find("<title>Portable</title>"), std::string::npos);
}

TEST_F(MainWindowPanel, ATitleTypedSinceThePanelCameWinsUntilThePanelChanges) {
  user.Write("panel.json", R"({"tapdeckPanel": 1, "title": "Tom & Jerry", "above": [[{"text": "A"}]]})");
  CreateWithPanels();
  // Shown as written, sent as the page writes it.
  EXPECT_EQ(view.Text(C::edtWebpageTitle), u"Tom & Jerry");
  Click(TMainEvent::ButtonStartClick);
  EXPECT_NE(Page().find("<title>Tom &amp; Jerry</title>"), std::string::npos);
  Click(TMainEvent::ButtonStopClick);
  view.texts[C::edtWebpageTitle] = u"Mine";
  Click(TMainEvent::ButtonStartClick);
  EXPECT_NE(Page().find("<title>Mine</title>"), std::string::npos);
  Click(TMainEvent::ButtonStopClick);
  user.Write("panel.json", R"({"tapdeckPanel": 1, "title": "Other", "above": [[{"text": "B"}]]})");
  Click(TMainEvent::ButtonStartClick);
  EXPECT_EQ(view.Text(C::edtWebpageTitle), u"Other");
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
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: built-in (your panel.json has an error)");
  Idle();
  Idle();
  EXPECT_EQ(view.errors, std::vector<std::u16string>{BadMessage(user)});
  // Start reads it again, says so, and serves the built-in page, so the editor can be reached.
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(Active());
  ASSERT_EQ(view.errors.size(), 2u);
  EXPECT_EQ(view.errors[1], BadMessage(user));
  EXPECT_NE(Page().find("Toggle Landing Gear"), std::string::npos);
  // Mended in the editor (which saves and puts it in use), the line names it.
  Click(TMainEvent::ButtonStopClick);
  user.Write("panel.json", kGoodPanel);
  UsePanel(GetPageInfo(), ReadPanelFile(user.File("panel.json")));
  GetPageInfo().SetPanelFile(user.File("panel.json"));
  Idle();
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: panel.json");
  EXPECT_EQ(view.Text(C::edtWebpageTitle), u"Good");
}

TEST_F(MainWindowPanel, APanelBrokenAfterStartUpGivesTheBuiltInPageAtTheNextStart) {
  user.Write("panel.json", kGoodPanel);
  CreateWithPanels();
  Click(TMainEvent::ButtonStartClick);
  Click(TMainEvent::ButtonStopClick);
  user.Write("panel.json", kBadPanel);
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(Active());
  EXPECT_EQ(view.errors, std::vector<std::u16string>{BadMessage(user)});
  EXPECT_NE(GetPageInfo().GetHTML().find(u"Toggle Landing Gear"), std::u16string::npos);
  EXPECT_EQ(view.Text(C::lblPanel), u"Panel: built-in (your panel.json has an error)");
}

// --- Pairing and the devices that may press keys --------------------------------------------

class MainWindowDevices : public MainWindow {
 protected:
  void CreateWithDevices() {
    TfrmMainPlatform platform = WithAddresses({u"192.0.2.7"});
    platform.DevicesFile = [this] { return dir.File("devices.json"); };
    Create(std::move(platform));
  }
  TempDir dir;
};

TEST_F(MainWindowDevices, APhonePairsWithTheCardsCodeAndTheCardSaysSo) {
  CreateWithDevices();
  EXPECT_EQ(view.Text(C::lblAccess), u"Only paired phones press keys: 0 phones.");
  Click(TMainEvent::ButtonPairClick);
  ASSERT_EQ(view.cards.size(), 1u);
  const TPairingCardView card = view.cards.back();
  ASSERT_TRUE(card.Live);
  const std::optional<TPairingOffer> offer = GetPairing().Current();
  ASSERT_TRUE(offer);
  EXPECT_EQ(card.Url, u"http://192.0.2.7:8080/#pair=" + AsciiToUtf16(offer->Secret));
  EXPECT_EQ(card.Code, AsciiToUtf16(offer->Code.substr(0, 3) + " " + offer->Code.substr(3)));
  EXPECT_EQ(card.QRModules.size(), static_cast<std::size_t>(card.QRSize * card.QRSize));
  EXPECT_GE(card.QRSize, 21);

  Click(TMainEvent::ButtonDevicesClick);
  EXPECT_TRUE(view.deviceRows.empty());
  EXPECT_EQ(GetPairing().Redeem("", offer->Code, u"Android \u00B7 Chrome").Outcome, TPairingOutcome::Paired);
  Idle();
  EXPECT_FALSE(view.cards.back().Live);
  EXPECT_EQ(view.cards.back().Note, u"Paired: Android \u00B7 Chrome.");
  ASSERT_EQ(view.deviceRows.size(), 1u);
  EXPECT_EQ(view.deviceRows[0].Name, u"Android \u00B7 Chrome");
  EXPECT_EQ(view.deviceRows[0].LastSeen, u"just now");
  EXPECT_EQ(view.Text(C::lblAccess), u"Only paired phones press keys: 1 phone.");

  form->RenameDevice(view.deviceRows[0].Id, u"Tablet");
  Idle();
  EXPECT_EQ(view.deviceRows[0].Name, u"Tablet");
  form->ForgetDevice(view.deviceRows[0].Id);
  Idle();
  EXPECT_TRUE(view.deviceRows.empty());
  EXPECT_TRUE(GetDeviceStore().Devices().empty());
}

TEST_F(MainWindowDevices, ClosingTheCardOrLettingItRunOutVoidsTheCode) {
  CreateWithDevices();
  Click(TMainEvent::ButtonPairClick);
  const std::string code = GetPairing().Current()->Code;
  Click(TMainEvent::PairingCardClose);
  EXPECT_FALSE(GetPairing().Current());
  EXPECT_EQ(GetPairing().Redeem("", code, u"Late").Outcome, TPairingOutcome::NoOffer);
  // Another offer (here: a second press) ends the card's: the card says its code is void.
  Click(TMainEvent::ButtonPairClick);
  GetPairing().Begin();
  Idle();
  EXPECT_FALSE(view.cards.back().Live);
  EXPECT_NE(view.cards.back().Note.find(u"no longer valid"), std::u16string::npos);
}

TEST_F(MainWindowDevices, OpenModeIsAWarnedSettingThatLasts) {
  CreateWithDevices();
  EXPECT_FALSE(view.Checked(C::chkOpenMode));
  EXPECT_FALSE(view.warnings[C::lblAccess]);
  view.checked[C::chkOpenMode] = true;
  Click(TMainEvent::chkOpenModeClick);
  EXPECT_TRUE(GetDeviceStore().OpenMode());
  EXPECT_TRUE(view.warnings[C::lblAccess]);
  EXPECT_EQ(view.Text(C::lblAccess), u"Any device on this network may press keys.");
  // Open Browser no longer pairs the PC's own browser: there is nothing to pair.
  form.reset();
  ForgetProcessObjects();
  view = TFakeView();
  CreateWithDevices();
  EXPECT_TRUE(view.Checked(C::chkOpenMode));
  EXPECT_TRUE(view.warnings[C::lblAccess]);
}

TEST_F(MainWindowDevices, ScriptKeysAreShownOnceAndForgetAllEndsEveryDevice) {
  CreateWithDevices();
  form->NewScriptKey(u"Home automation");
  ASSERT_EQ(view.scriptKeys.size(), 1u);
  EXPECT_EQ(view.scriptKeys[0].first, u"Home automation");
  const std::string key = Utf16ToUtf8(view.scriptKeys[0].second);
  EXPECT_TRUE(GetDeviceStore().Authenticate(key));
  EXPECT_EQ(ReadFileBytes(dir.File("devices.json")).find(key), std::string::npos);
  Idle();
  EXPECT_EQ(view.Text(C::lblAccess), u"Only paired phones press keys: 0 phones, 1 script.");
  form->ForgetAllDevices();
  EXPECT_FALSE(GetDeviceStore().Authenticate(key));
}

TEST_F(MainWindowDevices, ABrokenDeviceListIsToldOnceTheWindowIsUpAndKeptAside) {
  dir.Write("devices.json", "{broken");
  CreateWithDevices();
  EXPECT_TRUE(view.errors.empty());
  Idle();
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_NE(view.errors[0].find(u"could not be read"), std::u16string::npos);
  EXPECT_EQ(ReadFileBytes(dir.File("devices.json.bad")), "{broken");
  Idle();
  EXPECT_EQ(view.errors.size(), 1u);
}

TEST_F(MainWindowDevices, OpenBrowserPairsThePCsOwnBrowserThroughTheAddressFragment) {
  TfrmMainPlatform platform = WithAddresses({u"192.0.2.7"});
  platform.DevicesFile = [] { return std::u16string(); };
  Create(std::move(platform));
  port = FreePort();
  view.SelectAllAndType(C::EditPort, IntToStr(port));
  Click(TMainEvent::ButtonOpenBrowserClick);
  ASSERT_EQ(view.opened.size(), 1u);
  ASSERT_TRUE(GetPairing().Current());
  EXPECT_EQ(view.opened[0], Url() + u"/#pair=" + AsciiToUtf16(GetPairing().Current()->Secret));
}

// --- Keys only, and the game's files ---------------------------------------------------------

class MainWindowGame : public MainWindow {
 protected:
  void CreateWithSettings() {
    TfrmMainPlatform platform = WithAddresses({u"192.0.2.7"});
    platform.SettingsFile = [this] { return dir.File("settings.json"); };
    Create(std::move(platform));
    port = FreePort();
    view.SelectAllAndType(C::EditPort, IntToStr(port));
  }
  TempDir dir;
  TempDir game;
};

TEST_F(MainWindowGame, KeysOnlyStartsWithoutAJoystickAndTheChoiceLasts) {
  options.MissingDevice = 2;
  SetUp();
  CreateWithSettings();
  view.checked[C::chkNoJoystick] = true;
  Click(TMainEvent::chkNoJoystickClick);
  Click(TMainEvent::ButtonStartClick);
  EXPECT_TRUE(view.errors.empty()) << Utf16ToUtf8(view.errors.front());
  EXPECT_TRUE(Active());
  EXPECT_EQ(CallCount("AcquireVJD"), 0);
  // The joystick routes do nothing; keys work.
  GetDeviceStore().SetOpenMode(true);
  EXPECT_EQ(ParseReply(LoopbackGet(port, "/ButtonsDown?str=3")).Status, 200);
  EXPECT_EQ(CallCount("SetBtn"), 0);
  // The next run of the program starts with the same choice.
  form.reset();
  ForgetProcessObjects();
  view = TFakeView();
  CreateWithSettings();
  EXPECT_TRUE(view.Checked(C::chkNoJoystick));
}

TEST_F(MainWindowGame, TheGameLineFollowsAPickedFolderAndItsFile) {
  CreateWithSettings();
  view.pickedFolder = game.Base();
  Click(TMainEvent::lblGameClick);
  Idle();
  EXPECT_EQ(view.Text(C::lblGame), u"Game: no Status.json in " + game.Base() + u" yet");
  game.Write("Status.json", R"({"timestamp": "x", "event": "Status", "Flags": 4})");
  // The watcher reads the file within a moment: wait for the line, with a generous deadline.
  for (int i = 0; i < 200 && view.Text(C::lblGame).find(u"Status.json, changed") == std::u16string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    Idle();
  }
  EXPECT_EQ(view.Text(C::lblGame).substr(0, 27), u"Game: Status.json, changed ");
  // Picked once, kept: the settings file names the folder.
  std::string asJson;  // the folder as JSON writes it: each backslash doubled
  for (const char c : Utf16ToUtf8(game.Base())) asJson += c == '\\' ? std::string("\\\\") : std::string(1, c);
  EXPECT_NE(ReadFileBytes(dir.File("settings.json")).find(asJson), std::string::npos);
  // Cancelling the picker changes nothing.
  view.pickedFolder.reset();
  Click(TMainEvent::lblBindingsClick);
  EXPECT_EQ(view.folderPicks, 2);
}

TEST_F(MainWindowGame, ABrokenSettingsFileGivesTheDefaultsAndIsTold) {
  dir.Write("settings.json", "{no json");
  CreateWithSettings();
  EXPECT_FALSE(view.Checked(C::chkNoJoystick));
  Idle();
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_NE(view.errors[0].find(u"is not a settings file"), std::u16string::npos);
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
