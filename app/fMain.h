#pragma once
// TfrmMain: the main window's behaviour, free of any GUI toolkit. It edits the three page
// settings, starts and stops the HTTP service, shows the page's address and whether the
// joystick device is owned. It reaches its controls only through IMainView; each toolkit
// supplies a thin view that forwards its events to Fire.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/uSettings.h"
#include "app/uSpinEdit.h"
#include "base/uStrings.h"
#include "web/uLiveSources.h"
#include "web/uPairing.h"

class TIdHTTPWebBrokerBridge;

enum class TMainControl {
  EditPort,
  edtvJoyDeviceId,
  ButtonStart,
  ButtonStop,
  ButtonOpenBrowser,
  edtWebpageTitle,
  edtURL,
  Label1,
  Label2,
  lblVJoyStatus,
  Label3,
  // Where the keyboard's output goes (or that there is none); shown under the joystick status.
  lblKeyboardStatus,
  // Which panel is in use: "Panel: built-in" or the panel file's name (its path as the hint).
  lblPanel,
  // Pairing: shows the card with the QR code and the 6-digit code for a phone.
  ButtonPair,
  // The paired devices and the keys for scripts, each with Forget.
  ButtonDevices,
  // A check box: "Any device on this network may press keys (no pairing)".
  chkOpenMode,
  // Who may press keys now; in the colour of a warning while any device may.
  lblAccess,
  // A check box: "No joystick (keys only)": Start acquires no joystick device.
  chkNoJoystick,
  // The game's status file: found where, and when it last changed; a click picks its folder.
  lblGame,
  // The game's key bindings in use, or why none; a click picks their folder.
  lblBindings,
};

enum class TMainEvent {
  FormCreate,
  FormDestroy,
  ButtonStartClick,
  ButtonStopClick,
  ButtonOpenBrowserClick,
  EditPortChange,
  edtvJoyDeviceIdChange,
  ApplicationEvents1Idle,
  // The "Panel:" label was clicked: the panel editor opens in the browser.
  lblPanelClick,
  ButtonPairClick,
  ButtonDevicesClick,
  // The open-mode check box was clicked (its new state is its Checked()).
  chkOpenModeClick,
  // The pairing card was closed by the user: its code is void.
  PairingCardClose,
  chkNoJoystickClick,
  lblGameClick,
  lblBindingsClick,
};

// What the pairing card shows: the QR code of the page's address with the one-time secret
// in its fragment, and the 6-digit code for a phone that types the address instead.
struct TPairingCardView {
  std::u16string Url;
  std::u16string Code;  // "123 456": two groups, for reading aloud
  std::vector<bool> QRModules;
  int QRSize = 0;  // modules per side, without the quiet zone
  std::u16string Note;
  bool Live = true;  // false once paired, expired or voided: the codes are shown no more
};

// One line of the device list.
struct TDeviceRow {
  std::string Id;
  std::u16string Name;
  std::u16string Kind;      // "Phone" or "Script"
  std::u16string LastSeen;  // "just now", "5 min ago", "never"
  bool operator==(const TDeviceRow&) const = default;
};

// The client area every view gives the window: the specified 322 x 234 for the specified
// controls, then room below for pairing, the joystick choice and the game's files.
inline constexpr int kMainWindowWidth = 322;
inline constexpr int kMainWindowHeight = 372;

// The controls as the controller sees them. A view holds no logic of its own: it stores
// texts and enabled states, and forwards its events to TfrmMain (Fire, FireChange,
// HandleToolkitEvent).
class IMainView {
 public:
  virtual ~IMainView() = default;
  virtual std::u16string Text(TMainControl AControl) const = 0;
  // When the text differs from the current one, the field's change event (EditPortChange,
  // edtvJoyDeviceIdChange) fires at once through TfrmMain::FireChange, before SetText
  // returns, as the toolkit does.
  virtual void SetText(TMainControl AControl, const std::u16string& AText) = 0;
  virtual void SetEnabled(TMainControl AControl, bool AEnabled) = 0;
  // Modal: the message, the title, an error icon and an OK button.
  virtual void ShowErrorBox(const std::u16string& AMessage, const std::u16string& ATitle) = 0;
  // Opens the URL with the desktop's default action (the browser); the result is ignored.
  virtual void ShellOpen(const std::u16string& AUrl) = 0;
  // The text shown when the pointer rests on the control; a view without hints ignores it.
  virtual void SetHint(TMainControl /*AControl*/, const std::u16string& /*AText*/) {}
  // A check box's state; setting it fires no event.
  virtual bool Checked(TMainControl AControl) const = 0;
  virtual void SetChecked(TMainControl AControl, bool AChecked) = 0;
  // Shows a label's text in the colour of a warning, or in the normal colour.
  virtual void SetWarning(TMainControl AControl, bool AWarning) = 0;
  // Opens the pairing card beside the window, or updates the open one. Closing it fires
  // TMainEvent::PairingCardClose.
  virtual void ShowPairingCard(const TPairingCardView& ACard) = 0;
  // Closes the card without firing its close event.
  virtual void HidePairingCard() = 0;
  // Opens the device list (AOpen) or only updates it when it is open. Its buttons call
  // ForgetDevice, ForgetAllDevices, RenameDevice and NewScriptKey through HandleToolkitEvent.
  virtual void ShowDevices(const std::vector<TDeviceRow>& ARows, bool AOpen) = 0;
  // Shows a script's key, once, so that it can be copied.
  virtual void ShowScriptKey(const std::u16string& AName, const std::u16string& AKey) = 0;
  // Asks the user for a folder (modal), starting at AStart; nothing when cancelled.
  virtual std::optional<std::u16string> PickFolder(const std::u16string& ATitle, const std::u16string& AStart) = 0;
};

// The platform services the window uses, replaceable by tests.
struct TfrmMainPlatform {
  // The local IPv4 addresses (default: LocalIPv4Addresses).
  std::function<std::vector<std::u16string>()> LocalAddresses;
  // The keyboard status line's text; empty means the line stays empty. Left unset until the
  // keyboard subsystem can say whether its events reach any output.
  std::function<std::u16string()> KeyboardStatus;
  // The panel files to look for, in order (default: panel.json in the user's Tapdeck folder,
  // then beside the executable); none found means the built-in page.
  std::function<std::vector<std::u16string>()> PanelFiles;
  // The list of paired devices (default: devices.json in the user's Tapdeck folder); empty:
  // kept in memory only.
  std::function<std::u16string()> DevicesFile;
  // The window's own settings and the toggle cells' state (default: settings.json and
  // toggles.json in the user's Tapdeck folder); empty: kept in memory only.
  std::function<std::u16string()> SettingsFile;
  std::function<std::u16string()> TogglesFile;
};

class TfrmMain {
 public:
  explicit TfrmMain(IMainView& AView, TfrmMainPlatform APlatform = {});
  // Runs FormDestroy, then destroys the service, which stops first and waits for every
  // connection thread.
  ~TfrmMain();
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // An event the toolkit delivers: runs its handler. An error that escapes it is shown in
  // the error box and the program goes on.
  void Fire(TMainEvent AEvent);
  // A change event that a view fires because a field's text was set. Inside a running
  // handler (the program set the text) an error passes to that handler, whose remaining
  // steps then do not run; otherwise it is handled as Fire does.
  void FireChange(TMainEvent AEvent);
  // Runs a piece of the toolkit's own behaviour that may fire change events (a field's
  // arrows, leaving a field), with the error handling of Fire. Every error box of the window
  // comes from here.
  void HandleToolkitEvent(const std::function<void()>& AAction);

  void FormCreate();
  void FormDestroy();
  void ButtonStartClick();
  void ButtonStopClick();
  void ButtonOpenBrowserClick();
  // Starts the service when it is stopped, as Open Browser does, and opens the editor.
  void lblPanelClick();
  void EditPortChange();
  void edtvJoyDeviceIdChange();
  // Leaves Done as it arrives.
  void ApplicationEvents1Idle(bool& Done);
  // A fresh pairing offer on the card.
  void ButtonPairClick();
  void PairingCardClose();
  void ButtonDevicesClick();
  void chkOpenModeClick();
  void chkNoJoystickClick();
  // Pick the folder of the game's status file, or of its key bindings.
  void lblGameClick();
  void lblBindingsClick();
  // The device list's buttons.
  void ForgetDevice(const std::string& AId);
  void ForgetAllDevices();
  void RenameDevice(const std::string& AId, const std::u16string& AName);
  // A key for a script, shown once through the view.
  void NewScriptKey(const std::u16string& AName);

  std::u16string GetURL() const;

  // The service; null before FormCreate has run.
  TIdHTTPWebBrokerBridge* Server() const { return FServer.get(); }

  // The device-number field's limits and rules, shared by every view.
  static const TSpinEditRules& DeviceIdRules();

 private:
  void LoadSettings();
  // Reads the panel in use and shows which one it is. A refused file leaves the built-in page
  // in use and is told by the returned message (empty when all went well).
  std::u16string LoadPanel();
  // The title field takes the title of the panel in use, unless the user typed one since the
  // panel last changed.
  void TakePanelTitle();
  // The port of the port field: a whole number from 1 to 65535; raises Exception otherwise.
  std::uint16_t PortValue() const;
  void SaveWindowSettings();
  // The "Panel:" line for the panel in use.
  void ShowPanelInUse();
  void StoreSettings();
  void StartServer();
  // The card of the offer in force, or of the one that ended (with a note saying how).
  void ShowPairingCard();
  void ShowAccess();
  std::vector<TDeviceRow> DeviceRows() const;
  void Run(TMainEvent AEvent);
  std::int32_t DeviceIdValue() const;
  void ShowError(const std::u16string& AMessage);

  IMainView& FView;
  TfrmMainPlatform FPlatform;
  std::unique_ptr<TIdHTTPWebBrokerBridge> FServer;
  std::unique_ptr<TStrings> FIPAdresses;
  int FHandlerDepth = 0;
  // A panel refused at start-up, shown once the window is up.
  std::u16string FPanelError;
  // The panel file the "Panel:" label last showed; a save in the editor changes the page
  // object's, and the next idle pass shows it.
  std::u16string FShownPanelFile;
  // The device list could not be read at start-up: told once the window is up.
  std::u16string FDevicesError;
  // The pairing offer the card shows, and what the card and the device list last showed.
  std::optional<TPairingOffer> FCardOffer;
  std::uint64_t FShownDevices = ~std::uint64_t{0};
  std::u16string FShownWriteError;
  // The panel file that was refused and is not in use (the built-in page is); empty when none.
  std::u16string FRefusedPanel;
  // The model the window last showed, and the title it put in the title field from a panel
  // (as shown, and as the page shows it), so that a title the user typed since is kept.
  std::uint64_t FShownModel = ~std::uint64_t{0};
  std::u16string FTitleFromPanel;
  std::u16string FPanelTitle;
  TWindowSettings FSettings;
  std::u16string FSettingsError;
  std::unique_ptr<TLiveSources> FSources;
  std::int32_t FBindingsDevice = 0;  // the device number the bindings were read for
};

// The error box's message: a full stop appended when the last character's code lies above
// that of ".".
std::u16string ErrorBoxMessage(const std::u16string& AMessage);
// The keyboard status line: where the keys go, or that they go nowhere and what would help.
std::u16string KeyboardStatusText(bool AHasOutput, const std::u16string& AOutputName);
// The application's title from the executable's path: the file name up to its first ".",
// every letter after the first in lower case ("Tapdeck" for Tapdeck.exe, "tapdeck" for tapdeck).
std::u16string ApplicationTitle(const std::u16string& AExecutablePath);
