#pragma once
// The main window as a native Win32 window: a thin view over TfrmMain. It creates the
// controls at their fixed places (scaled to the monitor's DPI), forwards every event to the
// controller and otherwise only stores texts and enabled states.

#include <array>
#include <cstdint>
#include <memory>

#include "app/fMain.h"

class TfrmMainWin32 : public IMainView {
 public:
  // Creates the window, its controls and the controller, then runs FormCreate (an error
  // there is shown in the error box; the window is still created). Not shown yet.
  explicit TfrmMainWin32(TfrmMainPlatform APlatform = {});
  // Destroys the window if it still exists (the controller goes first, see WM_DESTROY).
  ~TfrmMainWin32() override;
  TfrmMainWin32(const TfrmMainWin32&) = delete;
  TfrmMainWin32& operator=(const TfrmMainWin32&) = delete;

  // Shows the window in the middle of its monitor's work area.
  void Show(int ACmdShow);
  // The message loop; after every batch of messages, when the queue is empty, the idle
  // refresh runs and the thread sleeps until the next message. Returns the exit code.
  int Run();
  // One turn of that loop without the sleep: handles every pending message, then runs the
  // idle refresh. False once the loop is to end (AExitCode then holds the code).
  bool ProcessMessages(int& AExitCode);

  TfrmMain& Form() { return *FForm; }
  // The window handle (HWND) of a control, for tests.
  void* ControlHandle(TMainControl AControl) const { return Control(AControl); }

  std::u16string Text(TMainControl AControl) const override;
  void SetText(TMainControl AControl, const std::u16string& AText) override;
  void SetEnabled(TMainControl AControl, bool AEnabled) override;
  void ShowErrorBox(const std::u16string& AMessage, const std::u16string& ATitle) override;
  void ShellOpen(const std::u16string& AUrl) override;

  // The window procedure's work; public for the procedure only.
  std::intptr_t Handle(unsigned AMessage, std::uintptr_t AWParam, std::intptr_t ALParam);
  void* Window() const { return FWindow; }

 private:
  void CreateControls();
  void Layout();
  void Place(TMainControl AControl);
  void StepDeviceId(int ADelta);
  void LeaveDeviceId();
  void* Control(TMainControl AControl) const;

  void* FWindow = nullptr;  // HWND
  void* FUpDown = nullptr;  // the device field's arrows
  void* FFont = nullptr;    // HFONT, for the current DPI
  unsigned FDpi = 96;
  bool FSettingText = false;
  std::array<void*, static_cast<std::size_t>(TMainControl::lblPanel) + 1> FControls{};
  std::unique_ptr<TfrmMain> FForm;
};
