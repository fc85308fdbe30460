#include "app/fMain.h"

#include <algorithm>
#include <utility>

#include "app/uQRCode.h"
#include "base/uAddresses.h"
#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uIntConv.h"
#include "base/uText.h"
#include "base/uUserFolders.h"
#include "joystick/vJoyClass.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"
#include "web/uDevices.h"
#include "web/uHTTPWebBrokerBridge.h"
#include "web/uHeldInputs.h"

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
  const auto inUserFolder = [](const char16_t* AName) {
    return [name = std::u16string(AName)] {
      const std::u16string user = UserTapdeckFolder();
      return user.empty() ? user : user + name;
    };
  };
  if (!FPlatform.DevicesFile) FPlatform.DevicesFile = inUserFolder(u"devices.json");
  if (!FPlatform.SettingsFile) FPlatform.SettingsFile = inUserFolder(u"settings.json");
  if (!FPlatform.TogglesFile) FPlatform.TogglesFile = inUserFolder(u"toggles.json");
}

TfrmMain::~TfrmMain() {
  Fire(TMainEvent::FormDestroy);
  FServer.reset();
  // Nothing stays pressed when the program closes.
  ReleaseEverythingHeld();
  FSources.reset();
  GetPairing().Cancel();
  GetDeviceStore().Flush();
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
    case TMainEvent::ButtonPairClick: return ButtonPairClick();
    case TMainEvent::ButtonDevicesClick: return ButtonDevicesClick();
    case TMainEvent::chkOpenModeClick: return chkOpenModeClick();
    case TMainEvent::PairingCardClose: return PairingCardClose();
    case TMainEvent::chkNoJoystickClick: return chkNoJoystickClick();
    case TMainEvent::lblGameClick: return lblGameClick();
    case TMainEvent::lblBindingsClick: return lblBindingsClick();
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
  // Who may press keys is known before anything can be served.
  FDevicesError = GetDeviceStore().Open(FPlatform.DevicesFile());
  FView.SetChecked(TMainControl::chkOpenMode, GetDeviceStore().OpenMode());
  ShowAccess();
  FSettings = ReadWindowSettings(FPlatform.SettingsFile(), FSettingsError);
  FView.SetChecked(TMainControl::chkNoJoystick, FSettings.NoJoystick);
  FSources = std::make_unique<TLiveSources>();
  FSources->SetStatusFolder(FSettings.Status);
  if (std::u16string problem = FSources->SetToggleFile(FPlatform.TogglesFile()); !problem.empty())
    FSettingsError = std::move(problem);
  FServer = std::make_unique<TIdHTTPWebBrokerBridge>();
  FIPAdresses = std::make_unique<TStrings>();
  for (auto& address : FPlatform.LocalAddresses()) FIPAdresses->Add(std::move(address));
  // The bindings are read before the panel, whose game actions are checked against them.
  FBindingsDevice = GetPageInfo().VirtualJoystickId();
  FSources->SetBindings(FSettings.Bindings, FBindingsDevice);
  // A refused panel leaves the built-in page in use; start-up goes on, and the window tells
  // once it is up.
  FPanelError = LoadPanel();
  LoadSettings();
}

std::u16string TfrmMain::LoadPanel() {
  std::u16string file;
  const std::vector<std::u16string> candidates = FPlatform.PanelFiles();
  // The editor saves to the user's own file (the first candidate), where it is found first;
  // also when that file is refused, so the editor can put it right.
  for (const std::u16string& candidate : candidates)
    if (!candidate.empty()) {
      GetPageInfo().SetPanelSaveFile(candidate);
      break;
    }
  std::u16string problem;
  FRefusedPanel.clear();
  try {
    const TPanel panel = FindPanel(candidates, file);
    GetPageInfo().SetPanelFile(file);
    UsePanel(GetPageInfo(), panel);
  } catch (const EPanelError& e) {
    // The built-in page is served meanwhile, so that the editor can be reached to put the
    // file right; the editor opens the refused file with its problems marked.
    for (const std::u16string& candidate : candidates)
      if (!candidate.empty() && FileExists(candidate)) {
        FRefusedPanel = candidate;
        break;
      }
    GetPageInfo().SetPanelFile({});
    UsePanel(GetPageInfo(), BuiltInPanel());
    problem = e.Message() +
              u"\n\nTapdeck uses its built-in page meanwhile. Click \u201cPanel:\u201d in the window to put the file right in "
              u"the panel editor.";
  }
  ShowPanelInUse();
  TakePanelTitle();
  return problem;
}

void TfrmMain::TakePanelTitle() {
  // A title typed since the last panel came stays until another panel comes.
  if (FShownModel == GetPageInfo().ModelVersion()) return;
  FShownModel = GetPageInfo().ModelVersion();
  FPanelTitle = GetPageInfo().PageTitle();
  FTitleFromPanel = PlainPanelText(FPanelTitle);
  FView.SetText(TMainControl::edtWebpageTitle, FTitleFromPanel);
}

void TfrmMain::ShowPanelInUse() {
  const std::u16string file = GetPageInfo().PanelFile();
  std::u16string line = u"Panel: built-in";
  if (!file.empty())
    line = u"Panel: " + file.substr(ExtractFilePath(file).size());
  else if (!FRefusedPanel.empty())
    line = u"Panel: built-in (your " + FRefusedPanel.substr(ExtractFilePath(FRefusedPanel).size()) + u" has an error)";
  FView.SetText(TMainControl::lblPanel, line);
  FView.SetHint(TMainControl::lblPanel, file.empty() ? FRefusedPanel : file);
  FShownPanelFile = file;
}

void TfrmMain::FormDestroy() { FIPAdresses.reset(); }

std::u16string TfrmMain::GetURL() const {
  const std::u16string host = FIPAdresses && FIPAdresses->Count() > 0 ? FIPAdresses->Strings(0) : u"localhost";
  // The address actually served: the port listened on while the service runs, the port the
  // field gives otherwise; a text that gives none shows as typed (Start refuses it).
  std::u16string port = FView.Text(TMainControl::EditPort);
  if (FServer && FServer->Active() && FServer->Bindings().Count() > 0)
    port = IntToStr(FServer->Bindings().Items(0).BoundPort());
  else if (const std::optional<std::int32_t> value = TryStrToInt(port); value && *value >= 1 && *value <= 65535)
    port = IntToStr(*value);
  return u"http://" + host + u":" + port;
}

std::uint16_t TfrmMain::PortValue() const {
  const std::u16string text = FView.Text(TMainControl::EditPort);
  // Whole decimal numbers only: "0x1F90" or "+80" are numbers to the integer conversion, but
  // not what a user means by a port.
  const bool digits = !text.empty() && text.size() <= 5 &&
                      std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  const std::int32_t value = digits ? StrToIntDef(text, 0) : 0;
  if (value < 1 || value > 65535)
    throw Exception(u"The port must be a whole number from 1 to 65535, not \u201c" + text + u"\u201d");
  return static_cast<std::uint16_t>(value);
}

std::int32_t TfrmMain::DeviceIdValue() const {
  return DeviceIdRules().Value(FView.Text(TMainControl::edtvJoyDeviceId));
}

void TfrmMain::LoadSettings() {
  TPageInfo& info = GetPageInfo();
  // As the panel wrote it: the page shows "&" as "&amp;", the field as "&".
  FView.SetText(TMainControl::edtWebpageTitle, PlainPanelText(info.PageTitle()));
  // At start-up this changes the field's text, whose change event sets the joystick's device
  // number (and so constructs the joystick object) before the next step.
  FView.SetText(TMainControl::edtvJoyDeviceId, DeviceIdRules().TextForValue(info.VirtualJoystickId()));
  FView.SetText(TMainControl::EditPort, IntToStr(info.WebServerPortNr()));
  FView.SetText(TMainControl::edtURL, GetURL());
}

void TfrmMain::StoreSettings() {
  TPageInfo& info = GetPageInfo();
  // The panel's title goes back as the panel gave it; a title the user typed goes as typed.
  const std::u16string title = FView.Text(TMainControl::edtWebpageTitle);
  info.SetPageTitle(!FTitleFromPanel.empty() && title == FTitleFromPanel ? FPanelTitle : title);
  info.SetVirtualJoystickId(DeviceIdValue());
  info.SetWebServerPortNr(StrToIntDef(FView.Text(TMainControl::EditPort), kDefaultPort));
}

void TfrmMain::StartServer() {
  if (FServer->Active()) return;
  // A port that is no port is refused before anything starts: the phone would get an
  // address that does not work.
  const std::uint16_t port = PortValue();
  // Read again at every Start, so a file edited by hand takes effect; a refused one leaves
  // the built-in page in use, and the start goes on.
  const std::u16string panelProblem = LoadPanel();
  StoreSettings();
  GetPageInfo().SetNoJoystick(FSettings.NoJoystick);
  if (FBindingsDevice != GetPageInfo().VirtualJoystickId()) {
    FBindingsDevice = GetPageInfo().VirtualJoystickId();
    FSources->SetBindings(FSettings.Bindings, FBindingsDevice);
  }
  // Keys only: no joystick device is needed, and none is acquired.
  if (!FSettings.NoJoystick) GetvJoy().Acquire();
  FServer->Bindings().Clear();
  FServer->SetDefaultPort(port);
  FServer->SetActive(true);
  FView.SetText(TMainControl::edtURL, GetURL());
  if (!panelProblem.empty()) ShowError(panelProblem);
}

void TfrmMain::ButtonStartClick() { StartServer(); }

void TfrmMain::ButtonStopClick() {
  FServer->SetActive(false);
  FServer->Bindings().Clear();
  // Whatever a phone or a script still holds goes up before Stop is done.
  ReleaseEverythingHeld();
  FView.SetText(TMainControl::edtURL, GetURL());
}

void TfrmMain::ButtonOpenBrowserClick() {
  StartServer();
  std::u16string url = GetURL();
  // The PC's own browser pairs as it opens: the secret goes no further than this PC, in the
  // address's fragment, which the browser never sends.
  if (!GetDeviceStore().OpenMode()) url += u"/#pair=" + AsciiToUtf16(GetPairing().Begin().Secret);
  FView.ShellOpen(url);
}

void TfrmMain::lblPanelClick() {
  StartServer();
  // On the loopback address: the editor answers nowhere else.
  FView.ShellOpen(u"http://127.0.0.1:" + FView.Text(TMainControl::EditPort) + u"/edit");
}

void TfrmMain::ButtonPairClick() {
  FCardOffer = GetPairing().Begin();
  ShowPairingCard();
}

void TfrmMain::PairingCardClose() {
  if (FCardOffer && GetPairing().Current() && GetPairing().Current()->Secret == FCardOffer->Secret)
    GetPairing().Cancel();
  FCardOffer.reset();
}

void TfrmMain::ShowPairingCard() {
  if (!FCardOffer) return;
  TPairingCardView card;
  const std::optional<TPairingOffer> current = GetPairing().Current();
  card.Live = current && current->Secret == FCardOffer->Secret;
  if (card.Live) {
    card.Url = GetURL() + u"/#pair=" + AsciiToUtf16(FCardOffer->Secret);
    card.Code = AsciiToUtf16(FCardOffer->Code.substr(0, 3) + " " + FCardOffer->Code.substr(3));
    const TQRCode qr(Utf16ToUtf8(card.Url));
    card.QRSize = qr.Size();
    for (int row = 0; row < qr.Size(); ++row)
      for (int column = 0; column < qr.Size(); ++column) card.QRModules.push_back(qr.Dark(row, column));
    card.Note = u"Scan the code with the phone's camera, or open " + GetURL() +
                u" on the phone and type the code. Good for one phone, for 2 minutes.";
  } else if (const std::u16string name = GetPairing().PairedName(FCardOffer->Secret); !name.empty()) {
    card.Note = u"Paired: " + name + u".";
  } else {
    card.Note = u"This code is no longer valid (it expired, or was tried wrongly too often). Press \u201cPair a phone\u201d for a new one.";
  }
  FView.ShowPairingCard(card);
}

void TfrmMain::ButtonDevicesClick() {
  FView.ShowDevices(DeviceRows(), true);
  FShownDevices = GetDeviceStore().Version();
}

std::vector<TDeviceRow> TfrmMain::DeviceRows() const {
  std::vector<TDeviceRow> rows;
  const std::int64_t now = UnixNow();
  for (const TDevice& device : GetDeviceStore().Devices())
    rows.push_back({device.Id, device.Name, device.Kind == TDeviceKind::Script ? u"Script" : u"Phone",
                    LastSeenText(device.LastSeen, now)});
  return rows;
}

void TfrmMain::ForgetDevice(const std::string& AId) { GetDeviceStore().Forget(AId); }

void TfrmMain::ForgetAllDevices() { GetDeviceStore().ForgetAll(); }

void TfrmMain::RenameDevice(const std::string& AId, const std::u16string& AName) {
  GetDeviceStore().Rename(AId, AName);
}

void TfrmMain::NewScriptKey(const std::u16string& AName) {
  std::string id;
  const std::string key = GetDeviceStore().Add(AName, TDeviceKind::Script, &id);
  std::u16string name = AName;
  for (const TDevice& device : GetDeviceStore().Devices())
    if (device.Id == id) name = device.Name;
  FView.ShowScriptKey(name, AsciiToUtf16(key));
}

void TfrmMain::chkOpenModeClick() {
  GetDeviceStore().SetOpenMode(FView.Checked(TMainControl::chkOpenMode));
  ShowAccess();
}

void TfrmMain::chkNoJoystickClick() {
  FSettings.NoJoystick = FView.Checked(TMainControl::chkNoJoystick);
  SaveWindowSettings();
}

void TfrmMain::lblGameClick() {
  const TStatusFileInfo info = FSources->StatusInfo();
  const std::optional<std::u16string> folder =
      FView.PickFolder(u"The folder of the game\u2019s Status.json", info.Folder);
  if (!folder || folder->empty()) return;
  std::u16string picked = *folder;
  if (picked.back() != u'/' && picked.back() != PathDelimiter()) picked.push_back(PathDelimiter());
  FSettings.Status = {TGameFolderChoice::Picked, picked};
  FSources->SetStatusFolder(FSettings.Status);
  SaveWindowSettings();
}

void TfrmMain::lblBindingsClick() {
  const std::optional<std::u16string> folder =
      FView.PickFolder(u"The game\u2019s Bindings folder (Options\\Bindings)", ExtractFilePath(GetBindings().Current()->FileName()));
  if (!folder || folder->empty()) return;
  std::u16string picked = *folder;
  if (picked.back() != u'/' && picked.back() != PathDelimiter()) picked.push_back(PathDelimiter());
  FSettings.Bindings = {TGameFolderChoice::Picked, picked};
  FSources->SetBindings(FSettings.Bindings, FBindingsDevice);
  SaveWindowSettings();
}

void TfrmMain::SaveWindowSettings() { WriteWindowSettings(FPlatform.SettingsFile(), FSettings); }

void TfrmMain::ShowAccess() {
  const bool open = GetDeviceStore().OpenMode();
  std::u16string text;
  if (open) {
    text = u"Any device on this network may press keys.";
  } else {
    std::size_t phones = 0, scripts = 0;
    for (const TDevice& device : GetDeviceStore().Devices()) ++(device.Kind == TDeviceKind::Script ? scripts : phones);
    text = u"Only paired phones press keys: " + IntToStr(static_cast<std::int64_t>(phones)) +
           (phones == 1 ? u" phone" : u" phones") +
           (scripts > 0 ? u", " + IntToStr(static_cast<std::int64_t>(scripts)) + (scripts == 1 ? u" script" : u" scripts")
                        : u"") +
           u".";
  }
  FView.SetText(TMainControl::lblAccess, text);
  FView.SetWarning(TMainControl::lblAccess, open);
  if (FView.Checked(TMainControl::chkOpenMode) != open) FView.SetChecked(TMainControl::chkOpenMode, open);
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
  FView.SetEnabled(TMainControl::chkNoJoystick, !active);

  // While the joystick object cannot be constructed (its versions differ) every pass would
  // fail the same way; the start that needs the device reports it instead.
  bool acquired = false;
  try {
    acquired = GetvJoy().IsAcquired();
  } catch (const EvJoyException&) {
  }
  FView.SetText(TMainControl::lblVJoyStatus, acquired ? u"Status: Acquired" : u"Status: Not Acquired");

  if (FPlatform.KeyboardStatus) FView.SetText(TMainControl::lblKeyboardStatus, FPlatform.KeyboardStatus());

  // The editor saved a panel, which is in use now: the line names it and the title field
  // takes its title.
  if (GetPageInfo().PanelFile() != FShownPanelFile || GetPageInfo().ModelVersion() != FShownModel) {
    if (!GetPageInfo().PanelFile().empty()) FRefusedPanel.clear();
    ShowPanelInUse();
    TakePanelTitle();
  }
  if (FSources) {
    FView.SetText(TMainControl::lblGame, FSources->GameLine());
    FView.SetText(TMainControl::lblBindings, FSources->BindingsLine());
  }

  // A phone paired with the card's code, or the code ran out: the card says so.
  if (FCardOffer) {
    const std::optional<TPairingOffer> current = GetPairing().Current();
    if (!current || current->Secret != FCardOffer->Secret) {
      ShowPairingCard();
      FCardOffer.reset();
    }
  }
  // A device came or went.
  if (GetDeviceStore().Version() != FShownDevices) {
    FShownDevices = GetDeviceStore().Version();
    FView.ShowDevices(DeviceRows(), false);
    ShowAccess();
  }

  // The window is up: a panel refused at start-up is told now, once.
  if (!FPanelError.empty()) ShowError(std::exchange(FPanelError, std::u16string()));
  if (!FDevicesError.empty()) ShowError(std::exchange(FDevicesError, std::u16string()));
  if (!FSettingsError.empty()) ShowError(std::exchange(FSettingsError, std::u16string()));
  if (std::u16string error = GetDeviceStore().LastWriteError(); !error.empty() && error != FShownWriteError)
    ShowError(FShownWriteError = std::move(error));
}
