#include "app/fPairingCardWin32.h"

#include <algorithm>

#include "app/uQRCode.h"

TfrmPairingCardWin32::TfrmPairingCardWin32(HWND AOwner, std::function<void()> AOnClose)
    : FOnClose(std::move(AOnClose)) {
  Create(L"TapdeckPairingCard", AOwner, u"Pair a phone", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU);
  FDigits = AddControl(L"STATIC", u"", SS_CENTER | SS_NOPREFIX, 0, -1);
  FNote = AddControl(L"STATIC", u"", SS_LEFT | SS_NOPREFIX, 0, -1);
  FClose = AddControl(L"BUTTON", u"Close", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDCANCEL);
}

TfrmPairingCardWin32::~TfrmPairingCardWin32() {
  Destroy();
  if (FDigitsFont) ::DeleteObject(FDigitsFont);
}

void TfrmPairingCardWin32::Show(const TPairingCardView& ACard) {
  FCard = ACard;
  ::SetWindowTextW(FDigits, ToWide(FCard.Code).c_str());
  ::SetWindowTextW(FNote, ToWide(FCard.Note).c_str());
  Layout();
  ::InvalidateRect(Window(), nullptr, TRUE);
  if (!Visible()) {
    ShowBesideOwner();
    ::SetFocus(FClose);
  }
}

void TfrmPairingCardWin32::Hide() { ::ShowWindow(Window(), SW_HIDE); }

void TfrmPairingCardWin32::UserClose() {
  Hide();
  FOnClose();
}

// From the top: the code, the digits, the note, Close; as wide as the code, or a readable
// width for the note alone.
void TfrmPairingCardWin32::Layout() {
  if (FDigitsFontDpi != Dpi()) {
    LOGFONTW font{};
    ::GetObjectW(Font(true), sizeof font, &font);
    font.lfHeight = -Scale(32);
    if (FDigitsFont) ::DeleteObject(FDigitsFont);
    FDigitsFont = ::CreateFontIndirectW(&font);
    FDigitsFontDpi = Dpi();
  }
  for (const HWND control : {FNote, FClose})
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  ::SendMessageW(FDigits, WM_SETFONT, reinterpret_cast<WPARAM>(FDigitsFont), FALSE);

  const int margin = Scale(12), gap = Scale(8);
  const bool code =
      FCard.Live && FCard.QRSize > 0 &&
      FCard.QRModules.size() == static_cast<std::size_t>(FCard.QRSize) * static_cast<std::size_t>(FCard.QRSize);
  int width = Scale(260), top = margin;
  FCode = {};
  if (code) {
    // Whole pixels per module, at least 232 pixels (at 96 DPI) with the quiet zone.
    const int modules = FCard.QRSize + 2 * TQRCode::kQuietZone;
    FModule = (Scale(232) + modules - 1) / modules;
    const int side = FModule * modules;
    width = std::max(width, side);
    FCode = {margin + (width - side) / 2, top, margin + (width - side) / 2 + side, top + side};
    top += side + gap;
    ::SetWindowPos(FDigits, nullptr, margin, top, width, Scale(40), SWP_NOZORDER | SWP_NOACTIVATE);
    top += Scale(40) + gap;
  }
  ::ShowWindow(FDigits, code ? SW_SHOWNA : SW_HIDE);

  // The note's height for its words wrapped at the card's width.
  RECT note{0, 0, width, 0};
  const HDC dc = ::GetDC(FNote);
  const HGDIOBJ old = ::SelectObject(dc, Font());
  const std::wstring text = ToWide(FCard.Note);
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &note, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(FNote, dc);
  ::SetWindowPos(FNote, nullptr, margin, top, width, note.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
  top += note.bottom + gap;

  ::SetWindowPos(FClose, nullptr, margin + width - Scale(75), top, Scale(75), Scale(25), SWP_NOZORDER | SWP_NOACTIVATE);
  SetClientSize(width + 2 * margin, top + Scale(25) + margin);
}

// Black modules on white, the quiet zone around them.
void TfrmPairingCardWin32::Paint(HDC ADC) const {
  if (::IsRectEmpty(&FCode)) return;
  ::FillRect(ADC, &FCode, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  const auto black = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  const int left = FCode.left + FModule * TQRCode::kQuietZone, top = FCode.top + FModule * TQRCode::kQuietZone;
  for (int row = 0; row < FCard.QRSize; ++row)
    for (int column = 0; column < FCard.QRSize; ++column)
      if (FCard.QRModules[static_cast<std::size_t>(row * FCard.QRSize + column)]) {
        const RECT module{left + column * FModule, top + row * FModule, left + (column + 1) * FModule,
                          top + (row + 1) * FModule};
        ::FillRect(ADC, &module, black);
      }
}

LRESULT TfrmPairingCardWin32::Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  switch (AMessage) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(Window(), &paint);
      Paint(dc);
      ::EndPaint(Window(), &paint);
      return 0;
    }
    case WM_PRINTCLIENT: Paint(reinterpret_cast<HDC>(AWParam)); return 0;
    case WM_COMMAND:
      // Close, Escape and Enter (through the dialog keys of the message loop).
      if (LOWORD(AWParam) == IDCANCEL || LOWORD(AWParam) == IDOK) UserClose();
      return 0;
    case WM_CLOSE: UserClose(); return 0;
    default: return TWin32Window::Handle(AMessage, AWParam, ALParam);
  }
}
