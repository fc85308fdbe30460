#pragma once
// The main window as a native Win32 window: a thin view over TfrmMain. It creates the
// controls at their fixed places (scaled to the monitor's DPI), forwards every event to the
// controller and otherwise only stores texts, states and hints; the pairing card and the
// device list are windows of their own, owned by it.

#include <array>
#include <memory>

#include "app/fMain.h"
#include "app/uWin32Window.h"

class TfrmPairingCardWin32;
class TfrmDevicesWin32;

class TfrmMainWin32 : public IMainView, public TWin32Window {
 public:
  // The client area at 96 DPI.
  static constexpr int kWidth = kMainWindowWidth, kHeight = kMainWindowHeight;

  // Creates the window, its controls and the controller, then runs FormCreate (an error
  // there is shown in the error box; the window is still created). Not shown yet.
  explicit TfrmMainWin32(TfrmMainPlatform APlatform = {});
  // Destroys the window if it still exists (the controller goes first, see WM_DESTROY).
  ~TfrmMainWin32() override;

  // Shows the window in the middle of its monitor's work area.
  void Show(int ACmdShow);
  // The message loop; after every batch of messages, when the queue is empty, the idle
  // refresh runs and the thread sleeps until the next message (a timer wakes it every
  // second). Returns the exit code.
  int Run();
  // One turn of that loop without the sleep: handles every pending message, then runs the
  // idle refresh. False once the loop is to end (AExitCode then holds the code).
  bool ProcessMessages(int& AExitCode);

  TfrmMain& Form() { return *FForm; }
  // A control's window, for tests.
  HWND ControlHandle(TMainControl AControl) const { return Control(AControl); }

  std::u16string Text(TMainControl AControl) const override;
  void SetText(TMainControl AControl, const std::u16string& AText) override;
  void SetEnabled(TMainControl AControl, bool AEnabled) override;
  void ShowErrorBox(const std::u16string& AMessage, const std::u16string& ATitle) override;
  void ShellOpen(const std::u16string& AUrl) override;
  void SetHint(TMainControl AControl, const std::u16string& AText) override;
  bool Checked(TMainControl AControl) const override;
  void SetChecked(TMainControl AControl, bool AChecked) override;
  void SetWarning(TMainControl AControl, bool AWarning) override;
  void ShowPairingCard(const TPairingCardView& ACard) override;
  void HidePairingCard() override;
  void ShowDevices(const std::vector<TDeviceRow>& ARows, bool AOpen) override;
  void ShowScriptKey(const std::u16string& AName, const std::u16string& AKey) override;
  std::optional<std::u16string> PickFolder(const std::u16string& ATitle, const std::u16string& AStart) override;

 protected:
  LRESULT Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) override;
  void Layout() override;

 private:
  void CreateControls();
  void Place(TMainControl AControl);
  void StepDeviceId(int ADelta);
  void LeaveDeviceId();
  HWND Control(TMainControl AControl) const;
  // The control of a child window, or nothing when it is none of the window's controls.
  std::optional<TMainControl> ControlOf(HWND AWindow) const;
  // Whether the window takes the dialog keys (Tab, Escape, Enter) for the message's window.
  bool TakesDialogKeys(HWND ARoot) const;

  static constexpr std::size_t kControls = static_cast<std::size_t>(TMainControl::lblBindings) + 1;
  HWND FUpDown = nullptr;   // the device field's arrows
  HWND FToolTip = nullptr;  // the controls' hints
  bool FSettingText = false;
  std::array<HWND, kControls> FControls{};
  std::array<bool, kControls> FWarning{};
  std::array<bool, kControls> FHinted{};
  std::unique_ptr<TfrmPairingCardWin32> FCard;
  std::unique_ptr<TfrmDevicesWin32> FDevices;
  std::unique_ptr<TfrmMain> FForm;
};
