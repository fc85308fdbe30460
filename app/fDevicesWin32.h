#pragma once
// The device list of the Win32 window: a window of its own, owned by the main window and not
// modal, with the paired phones and script keys (name, kind, last seen) and the buttons
// Rename…, Forget, Forget all and Key for a script…, each handed to the controller.

#include <string>
#include <vector>

#include "app/fMain.h"
#include "app/uWin32Window.h"

class TfrmDevicesWin32 : public TWin32Window {
 public:
  TfrmDevicesWin32(HWND AOwner, TfrmMain& AForm);
  ~TfrmDevicesWin32() override;

  // The list's rows; the selected device stays selected.
  void SetRows(const std::vector<TDeviceRow>& ARows);
  // Shows the list beside the owner, or brings the open one forward.
  void Show();

 protected:
  LRESULT Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) override;
  void Layout() override;

 private:
  // The id of the selected row; empty when none is selected.
  std::string SelectedDevice() const;
  void Rename();
  void ForgetAll();
  void AddScriptKey();

  TfrmMain& FForm;
  HWND FList = nullptr;
  std::vector<HWND> FButtons;
  std::vector<TDeviceRow> FRows;
};
