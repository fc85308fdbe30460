#pragma once
// TfrmMain: the main window's behaviour, free of any GUI toolkit. It edits the three page
// settings, starts and stops the HTTP service, shows the page's address and whether the
// joystick device is owned. It reaches its controls only through IMainView; each toolkit
// supplies a thin view that forwards its events to Fire.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/uSpinEdit.h"
#include "base/uStrings.h"

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
};

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

  std::u16string GetURL() const;

  // The service; null before FormCreate has run.
  TIdHTTPWebBrokerBridge* Server() const { return FServer.get(); }

  // The device-number field's limits and rules, shared by every view.
  static const TSpinEditRules& DeviceIdRules();

 private:
  void LoadSettings();
  // Reads the panel in use and shows which one it is; raises EPanelError when it is refused.
  void LoadPanel(bool ATakeTitle);
  // The "Panel:" line for the panel in use.
  void ShowPanelInUse();
  void StoreSettings();
  void StartServer();
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
};

// The error box's message: a full stop appended when the last character's code lies above
// that of ".".
std::u16string ErrorBoxMessage(const std::u16string& AMessage);
// The keyboard status line: where the keys go, or that they go nowhere and what would help.
std::u16string KeyboardStatusText(bool AHasOutput, const std::u16string& AOutputName);
// The application's title from the executable's path: the file name up to its first ".",
// every letter after the first in lower case ("Tapdeck" for Tapdeck.exe, "tapdeck" for tapdeck).
std::u16string ApplicationTitle(const std::u16string& AExecutablePath);
