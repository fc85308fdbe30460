#include "app/fMain.h"

#include <utility>

#include "base/uAddresses.h"
#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uIntConv.h"
#include "base/uText.h"
#include "base/uUserFolders.h"
#include "joystick/vJoyClass.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"
#include "web/uHTTPWebBrokerBridge.h"

namespace {

constexpr std::int32_t kDefaultPort = 8080;

// Keeps the handler depth right on every way out of a handler.
struct TDepthGuard {
  int& depth;
  explicit TDepthGuard(int& d) : depth(d) { ++depth; }
  ~TDepthGuard() { --depth; }
};

}  // namespace

std::u16string ErrorBoxMessage(const std::u16string& AMessage) {
  if (!AMessage.empty() && AMessage.back() > u'.') return AMessage + u".";
  return AMessage;
}

std::u16string KeyboardStatusText(bool AHasOutput, const std::u16string& AOutputName) {
  if (!AHasOutput) return u"Keyboard: no output (needs /dev/uinput or X11)";
  return u"Keyboard: " + AOutputName;
}

std::u16string ApplicationTitle(const std::u16string& AExecutablePath) {
  std::u16string name = AExecutablePath.substr(ExtractFilePath(AExecutablePath).size());
  name = name.substr(0, name.find(u'.'));
  for (std::size_t i = 1; i < name.size(); ++i) name[i] = LowerCaseAscii(name[i]);
  return name;
}

const TSpinEditRules& TfrmMain::DeviceIdRules() {
  static const TSpinEditRules rules(1, 16);
  return rules;
}

TfrmMain::TfrmMain(IMainView& AView, TfrmMainPlatform APlatform) : FView(AView), FPlatform(std::move(APlatform)) {
  if (!FPlatform.LocalAddresses) FPlatform.LocalAddresses = LocalIPv4Addresses;
  if (!FPlatform.PanelFiles)
    FPlatform.PanelFiles = [] {
      const std::u16string user = UserTapdeckFolder();
      return std::vector<std::u16string>{user.empty() ? user : user + u"panel.json",
                                         ExtractFilePath(ExecutablePath()) + u"panel.json"};
    };
}

TfrmMain::~TfrmMain() {
  Fire(TMainEvent::FormDestroy);
  FServer.reset();
}

void TfrmMain::HandleToolkitEvent(const std::function<void()>& AAction) {
  try {
    TDepthGuard guard(FHandlerDepth);
    AAction();
  } catch (const Exception& e) {
    ShowError(e.Message());
  } catch (const std::exception& e) {
    ShowError(Utf8ToUtf16(e.what()));
  }
}

void TfrmMain::Fire(TMainEvent AEvent) {
  HandleToolkitEvent([this, AEvent] { Run(AEvent); });
}

void TfrmMain::FireChange(TMainEvent AEvent) {
  if (FHandlerDepth == 0) return Fire(AEvent);
  TDepthGuard guard(FHandlerDepth);
  Run(AEvent);
}

void TfrmMain::Run(TMainEvent AEvent) {
  switch (AEvent) {
    case TMainEvent::FormCreate: return FormCreate();
    case TMainEvent::FormDestroy: return FormDestroy();
    case TMainEvent::ButtonStartClick: return ButtonStartClick();
    case TMainEvent::ButtonStopClick: return ButtonStopClick();
    case TMainEvent::ButtonOpenBrowserClick: return ButtonOpenBrowserClick();
    case TMainEvent::lblPanelClick: return lblPanelClick();
    case TMainEvent::EditPortChange: return EditPortChange();
    case TMainEvent::edtvJoyDeviceIdChange: return edtvJoyDeviceIdChange();
    case TMainEvent::ApplicationEvents1Idle: {
      bool done = true;
      return ApplicationEvents1Idle(done);
    }
  }
}

void TfrmMain::ShowError(const std::u16string& AMessage) {
  FView.ShowErrorBox(ErrorBoxMessage(AMessage), ApplicationTitle(ExecutablePath()));
}

void TfrmMain::FormCreate() {
  FServer = std::make_unique<TIdHTTPWebBrokerBridge>();
  FIPAdresses = std::make_unique<TStrings>();
  for (auto& address : FPlatform.LocalAddresses()) FIPAdresses->Add(std::move(address));
  // A refused panel leaves the built-in page in use; start-up goes on.
  try {
    LoadPanel(true);
  } catch (const EPanelError& e) {
    FPanelError = e.Message();
    ShowPanelInUse();
  }
  LoadSettings();
}

void TfrmMain::LoadPanel(bool ATakeTitle) {
  std::u16string file;
  const std::vector<std::u16string> candidates = FPlatform.PanelFiles();
  // The editor saves to the user's own file (the first candidate), where it is found first;
  // also when that file is refused, so the editor can put it right.
  for (const std::u16string& candidate : candidates)
    if (!candidate.empty()) {
      GetPageInfo().SetPanelSaveFile(candidate);
      break;
    }
  const TPanel panel = FindPanel(candidates, file);
  GetPageInfo().SetPanelFile(file);
  if (ATakeTitle)
    UsePanel(GetPageInfo(), panel);
  else
    GetPageInfo().SetModel(panel.Model);
  ShowPanelInUse();
}

void TfrmMain::ShowPanelInUse() {
  const std::u16string file = GetPageInfo().PanelFile();
  FView.SetText(TMainControl::lblPanel,
                file.empty() ? u"Panel: built-in" : u"Panel: " + file.substr(ExtractFilePath(file).size()));
  FView.SetHint(TMainControl::lblPanel, file);
  FShownPanelFile = file;
}

void TfrmMain::FormDestroy() { FIPAdresses.reset(); }

std::u16string TfrmMain::GetURL() const {
  const std::u16string host = FIPAdresses && FIPAdresses->Count() > 0 ? FIPAdresses->Strings(0) : u"localhost";
  return u"http://" + host + u":" + FView.Text(TMainControl::EditPort);
}

std::int32_t TfrmMain::DeviceIdValue() const {
  return DeviceIdRules().Value(FView.Text(TMainControl::edtvJoyDeviceId));
}

void TfrmMain::LoadSettings() {
  TPageInfo& info = GetPageInfo();
  FView.SetText(TMainControl::edtWebpageTitle, info.PageTitle());
  // At start-up this changes the field's text, whose change event sets the joystick's device
  // number (and so constructs the joystick object) before the next step.
  FView.SetText(TMainControl::edtvJoyDeviceId, DeviceIdRules().TextForValue(info.VirtualJoystickId()));
  FView.SetText(TMainControl::EditPort, IntToStr(info.WebServerPortNr()));
  FView.SetText(TMainControl::edtURL, GetURL());
}

void TfrmMain::StoreSettings() {
  TPageInfo& info = GetPageInfo();
  info.SetPageTitle(FView.Text(TMainControl::edtWebpageTitle));
  info.SetVirtualJoystickId(DeviceIdValue());
  info.SetWebServerPortNr(StrToIntDef(FView.Text(TMainControl::EditPort), kDefaultPort));
}

void TfrmMain::StartServer() {
  if (FServer->Active()) return;
  // Read again at every Start, so a file edited by hand takes effect; a refused one stops
  // the start. The title field keeps the title.
  LoadPanel(false);
  StoreSettings();
  GetvJoy().Acquire();
  FServer->Bindings().Clear();
  FServer->SetDefaultPort(static_cast<std::uint16_t>(GetPageInfo().WebServerPortNr()));
  FServer->SetActive(true);
}

void TfrmMain::ButtonStartClick() { StartServer(); }

void TfrmMain::ButtonStopClick() {
  FServer->SetActive(false);
  FServer->Bindings().Clear();
}

void TfrmMain::ButtonOpenBrowserClick() {
  StartServer();
  const std::u16string url = GetURL();
  FView.ShellOpen(url);
}

void TfrmMain::lblPanelClick() {
  StartServer();
  FView.ShellOpen(GetURL() + u"/edit");
}

void TfrmMain::EditPortChange() { FView.SetText(TMainControl::edtURL, GetURL()); }

void TfrmMain::edtvJoyDeviceIdChange() {
  GetvJoy().SetId(DeviceIdValue());
  FView.SetText(TMainControl::edtURL, GetURL());
}

void TfrmMain::ApplicationEvents1Idle(bool& /*Done*/) {
  const bool active = FServer && FServer->Active();
  FView.SetEnabled(TMainControl::ButtonStart, !active);
  FView.SetEnabled(TMainControl::ButtonStop, active);
  FView.SetEnabled(TMainControl::EditPort, !active);
  FView.SetEnabled(TMainControl::edtvJoyDeviceId, !active);

  // While the joystick object cannot be constructed (its versions differ) every pass would
  // fail the same way; the start that needs the device reports it instead.
  bool acquired = false;
  try {
    acquired = GetvJoy().IsAcquired();
  } catch (const EvJoyException&) {
  }
  FView.SetText(TMainControl::lblVJoyStatus, acquired ? u"Status: Acquired" : u"Status: Not Acquired");

  if (FPlatform.KeyboardStatus) FView.SetText(TMainControl::lblKeyboardStatus, FPlatform.KeyboardStatus());

  // The editor saved a panel, which is in use now.
  if (GetPageInfo().PanelFile() != FShownPanelFile) ShowPanelInUse();

  // The window is up: a panel refused at start-up is told now, once.
  if (!FPanelError.empty()) ShowError(std::exchange(FPanelError, std::u16string()));
}
