#pragma once
// The pairing card of the Win32 window: a window of its own, owned by the main window and
// not modal, showing the QR code of the page's address (drawn module by module, in whole
// pixels), the 6-digit code, a note and Close; once the offer has ended, only the note.

#include <functional>

#include "app/fMain.h"
#include "app/uWin32Window.h"

class TfrmPairingCardWin32 : public TWin32Window {
 public:
  // AOnClose runs when the user closes the card (Close, Enter, Escape or the title bar).
  TfrmPairingCardWin32(HWND AOwner, std::function<void()> AOnClose);
  ~TfrmPairingCardWin32() override;

  // Shows the card beside the owner, or updates the open one where it is.
  void Show(const TPairingCardView& ACard);
  // Hides the card; AOnClose does not run.
  void Hide();

 protected:
  LRESULT Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) override;
  void Layout() override;

 private:
  void Paint(HDC ADC) const;
  void UserClose();

  std::function<void()> FOnClose;
  TPairingCardView FCard;
  HWND FDigits = nullptr;
  HWND FNote = nullptr;
  HWND FClose = nullptr;
  HFONT FDigitsFont = nullptr;  // large and bold, for the current DPI
  UINT FDigitsFontDpi = 0;
  RECT FCode{};     // the QR code with its quiet zone; empty while none is shown
  int FModule = 0;  // pixels per module
};
