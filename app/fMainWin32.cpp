#include "app/fMainWin32.h"

#include "app/fDevicesWin32.h"
#include "app/fPairingCardWin32.h"
#include "app/uDialogsWin32.h"
#include "base/uErrors.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

namespace {

using C = TMainControl;
using E = TMainEvent;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // single border
constexpr UINT_PTR kRefreshTimer = 1;
// Text in the colour of a warning (amber on the window's background), also drawn bold.
constexpr COLORREF kWarningColour = RGB(0xb3, 0x5c, 0x00);

// The places of every control, in pixels at 96 DPI (left, top, width, height; 0 height: one
// line of text; 0 width too: as wide as the text).
struct TPlace {
  C Control;
  const wchar_t* Class;
  DWORD Style, ExStyle;
  int Left, Top, Width, Height;
  const wchar_t* Text;
};
constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kCheckBox = WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE;
constexpr DWORD kLabel = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
// A label that opens something when clicked (SS_NOTIFY: it reports clicks).
constexpr DWORD kLink = kLabel | SS_ENDELLIPSIS | SS_NOTIFY;
// In the order of keyboard focus.
constexpr TPlace kPlaces[] = {
    {C::EditPort, L"EDIT", kEdit, WS_EX_CLIENTEDGE, 136, 8, 121, 21, L"8080"},
    {C::edtvJoyDeviceId, L"EDIT", kEdit, WS_EX_CLIENTEDGE, 136, 35, 121, 22, L"1"},
    {C::ButtonStart, L"BUTTON", kButton, 0, 24, 92, 75, 25, L"Start"},
    {C::ButtonStop, L"BUTTON", kButton, 0, 105, 92, 75, 25, L"Stop"},
    {C::ButtonOpenBrowser, L"BUTTON", kButton, 0, 24, 123, 107, 25, L"Open Browser"},
    {C::edtWebpageTitle, L"EDIT", kEdit, WS_EX_CLIENTEDGE, 24, 154, 273, 21, L""},
    {C::edtURL, L"EDIT", kEdit | ES_READONLY, WS_EX_CLIENTEDGE, 24, 197, 273, 21, L""},
    {C::Label1, L"STATIC", kLabel, 0, 24, 11, 0, 0, L"Port"},
    {C::Label2, L"STATIC", kLabel, 0, 24, 38, 0, 0, L"Virtual Joystick #id"},
    {C::lblVJoyStatus, L"STATIC", kLabel, 0, 136, 63, 0, 0, L"Status: Not Acquired"},
    {C::Label3, L"STATIC", kLabel, 0, 24, 181, 0, 0, L"Open the following url in a browser on your  device:"},
    {C::lblKeyboardStatus, L"STATIC", kLabel | SS_ENDELLIPSIS, 0, 24, 76, 292, 0, L""},
    {C::lblPanel, L"STATIC", kLabel | SS_PATHELLIPSIS | SS_NOTIFY, 0, 140, 128, 157, 0, L"Panel: built-in"},
    // Below the address: who may press keys, the joystick choice, the game's files.
    {C::ButtonPair, L"BUTTON", kButton, 0, 24, 226, 107, 25, L"Pair a phone"},
    {C::ButtonDevices, L"BUTTON", kButton, 0, 137, 226, 80, 25, L"Devices\u2026"},
    {C::chkOpenMode, L"BUTTON", kCheckBox, 0, 24, 256, 292, 30,
     L"Any device on this network may press keys\n(no pairing)"},
    {C::lblAccess, L"STATIC", kLabel | SS_ENDELLIPSIS, 0, 24, 290, 292, 0, L""},
    {C::chkNoJoystick, L"BUTTON", kCheckBox, 0, 24, 308, 292, 20, L"No joystick (keys only)"},
    {C::lblGame, L"STATIC", kLink, 0, 24, 332, 292, 0, L""},
    {C::lblBindings, L"STATIC", kLink, 0, 24, 350, 292, 0, L""},
};

// What a click on a control fires (BN_CLICKED; STN_CLICKED from a label has the same code).
constexpr struct {
  C Control;
  E Event;
} kClicks[] = {
    {C::ButtonStart, E::ButtonStartClick},
    {C::ButtonStop, E::ButtonStopClick},
    {C::ButtonOpenBrowser, E::ButtonOpenBrowserClick},
    {C::lblPanel, E::lblPanelClick},
    {C::ButtonPair, E::ButtonPairClick},
    {C::ButtonDevices, E::ButtonDevicesClick},
    {C::chkOpenMode, E::chkOpenModeClick},
    {C::chkNoJoystick, E::chkNoJoystickClick},
    {C::lblGame, E::lblGameClick},
    {C::lblBindings, E::lblBindingsClick},
};

std::size_t Index(C c) { return static_cast<std::size_t>(c); }

const TPlace& PlaceOf(C c) {
  for (const TPlace& place : kPlaces)
    if (place.Control == c) return place;
  return kPlaces[0];  // every control has a place
}

// The device field lets through only what the rules accept, and beeps at the rest.
LRESULT CALLBACK DeviceFieldProc(HWND AEdit, UINT AMessage, WPARAM AWParam, LPARAM ALParam, UINT_PTR, DWORD_PTR) {
  if (AMessage == WM_CHAR) {
    wchar_t separator[4] = L".";
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4);
    if (!TSpinEditRules::AcceptsChar(static_cast<char16_t>(AWParam), static_cast<char16_t>(separator[0]))) {
      ::MessageBeep(MB_OK);
      return 0;
    }
  }
  return ::DefSubclassProc(AEdit, AMessage, AWParam, ALParam);
}

}  // namespace

TfrmMainWin32::TfrmMainWin32(TfrmMainPlatform APlatform) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);
  Create(L"TfrmMain", nullptr, u"Tapdeck", kWindowStyle);
  CreateControls();
  Layout();
  FForm = std::make_unique<TfrmMain>(*this, std::move(APlatform));
  FForm->Fire(E::FormCreate);
  // Wakes the message loop, so the idle refresh also runs while nobody touches the window
  // (a phone pairs, a pairing code runs out).
  ::SetTimer(Window(), kRefreshTimer, 1000, nullptr);
}

TfrmMainWin32::~TfrmMainWin32() {
  Destroy();
  FForm.reset();
}

void TfrmMainWin32::CreateControls() {
  int id = 100;
  for (const TPlace& place : kPlaces)
    FControls[Index(place.Control)] = AddControl(place.Class, FromWide(place.Text), place.Style, place.ExStyle, id++);
  // The arrows sit inside the device field's right edge; the window applies every step.
  const HWND device = Control(C::edtvJoyDeviceId);
  FUpDown = AddControl(UPDOWN_CLASSW, u"", UDS_ARROWKEYS | UDS_ALIGNRIGHT, 0, 0);
  ::SendMessageW(FUpDown, UDM_SETRANGE32, TfrmMain::DeviceIdRules().MinValue(), TfrmMain::DeviceIdRules().MaxValue());
  ::SetWindowSubclass(device, DeviceFieldProc, 1, 0);
  ::SendMessageW(Control(C::edtWebpageTitle), EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Webpage title"));
  FToolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                               0, 0, Window(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

// Places every control for the window's DPI, in the system's message font at that DPI (bold
// where a label warns).
void TfrmMainWin32::Layout() {
  for (const TPlace& place : kPlaces) {
    const HFONT font = Font(FWarning[Index(place.Control)]);
    ::SendMessageW(Control(place.Control), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    Place(place.Control);
  }
  // Attaching the buddy again places the arrows inside the field's right edge.
  ::SendMessageW(FUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Control(C::edtvJoyDeviceId)), 0);
  // Long paths in the hints wrap rather than run off the screen.
  ::SendMessageW(FToolTip, TTM_SETMAXTIPWIDTH, 0, Scale(600));
  SetClientSize(Scale(kWidth), Scale(kHeight));
}

// Labels take the height of a line of text in their font, and those without a width the
// width of their text.
void TfrmMainWin32::Place(TMainControl AControl) {
  const TPlace& place = PlaceOf(AControl);
  const HWND control = Control(AControl);
  int width = Scale(place.Width), height = Scale(place.Height);
  if (place.Height == 0) {
    const std::wstring text = ToWide(WindowText(control));
    const HDC dc = ::GetDC(control);
    const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, L"Xy", 2, &extent);
    height = extent.cy;
    if (place.Width == 0) {
      ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      // Some room to spare, so the last character is never cut, within the client area.
      width = std::min(static_cast<int>(extent.cx) + Scale(8), Scale(kWidth - place.Left));
    }
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(control, dc);
  }
  ::SetWindowPos(control, nullptr, Scale(place.Left), Scale(place.Top), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMainWin32::Show(int ACmdShow) {
  const HWND window = Window();
  RECT frame{};
  ::GetWindowRect(window, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  ::ShowWindow(window, ACmdShow);
  ::UpdateWindow(window);
  ::SetFocus(Control(C::EditPort));
}

int TfrmMainWin32::Run() {
  int exitCode = 0;
  while (ProcessMessages(exitCode)) ::WaitMessage();
  return exitCode;
}

bool TfrmMainWin32::ProcessMessages(int& AExitCode) {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      AExitCode = static_cast<int>(msg.wParam);
      return false;
    }
    // Tab and Shift+Tab move between the controls, Escape closes the card and the device
    // list, as in a dialog.
    if (const HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        TakesDialogKeys(root) && ::IsDialogMessageW(root, &msg))
      continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  if (FForm) FForm->Fire(E::ApplicationEvents1Idle);
  return true;
}

bool TfrmMainWin32::TakesDialogKeys(HWND ARoot) const {
  return ARoot &&
         (ARoot == Window() || (FCard && ARoot == FCard->Window()) || (FDevices && ARoot == FDevices->Window()));
}

std::optional<TMainControl> TfrmMainWin32::ControlOf(HWND AWindow) const {
  for (std::size_t i = 0; i < kControls; ++i)
    if (AWindow && FControls[i] == AWindow) return static_cast<C>(i);
  return std::nullopt;
}

LRESULT TfrmMainWin32::Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  switch (AMessage) {
    case WM_COMMAND: {
      const std::optional<C> from = ControlOf(reinterpret_cast<HWND>(ALParam));
      if (!FForm || !from) return 0;
      const WORD code = HIWORD(AWParam);
      if (code == EN_CHANGE && !FSettingText) {
        if (*from == C::EditPort) FForm->Fire(E::EditPortChange);
        if (*from == C::edtvJoyDeviceId) FForm->Fire(E::edtvJoyDeviceIdChange);
      } else if (code == EN_KILLFOCUS && *from == C::edtvJoyDeviceId) {
        LeaveDeviceId();
      } else if (code == BN_CLICKED) {
        for (const auto& click : kClicks)
          if (click.Control == *from) FForm->Fire(click.Event);
      }
      return 0;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(ALParam);
      if (header->hwndFrom == FUpDown && header->code == UDN_DELTAPOS) {
        StepDeviceId(reinterpret_cast<const NMUPDOWN*>(ALParam)->iDelta);
        return 1;  // the arrows keep no value of their own
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
      // Labels, check boxes and the read-only field ask for their colours here.
      if (const std::optional<C> control = ControlOf(reinterpret_cast<HWND>(ALParam));
          control && FWarning[Index(*control)]) {
        const auto dc = reinterpret_cast<HDC>(AWParam);
        ::SetTextColor(dc, kWarningColour);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_SETCURSOR:
      // The labels that open something show the hand.
      if (const std::optional<C> control = ControlOf(reinterpret_cast<HWND>(AWParam));
          control && (*control == C::lblPanel || *control == C::lblGame || *control == C::lblBindings)) {
        ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
        return TRUE;
      }
      break;
    case WM_TIMER: return 0;  // the loop runs the idle refresh once the queue is empty
    case WM_DESTROY:
      ::KillTimer(Window(), kRefreshTimer);
      // The controller goes while the controls still exist: FormDestroy, then the service
      // stops and waits for its connections.
      FForm.reset();
      ::PostQuitMessage(0);
      return 0;
    default: break;
  }
  return TWin32Window::Handle(AMessage, AWParam, ALParam);
}

HWND TfrmMainWin32::Control(TMainControl AControl) const { return FControls[Index(AControl)]; }

std::u16string TfrmMainWin32::Text(TMainControl AControl) const { return WindowText(Control(AControl)); }

void TfrmMainWin32::SetText(TMainControl AControl, const std::u16string& AText) {
  if (Text(AControl) == AText) return;
  const HWND control = Control(AControl);
  FSettingText = true;
  ::SetWindowTextW(control, ToWide(AText).c_str());
  FSettingText = false;
  // The change event fires here rather than from EN_CHANGE, so that an error it raises
  // passes to the handler that set the text.
  if (AControl == C::EditPort) FForm->FireChange(E::EditPortChange);
  if (AControl == C::edtvJoyDeviceId) FForm->FireChange(E::edtvJoyDeviceIdChange);
  if (PlaceOf(AControl).Width == 0) Place(AControl);
}

void TfrmMainWin32::SetEnabled(TMainControl AControl, bool AEnabled) {
  const HWND control = Control(AControl);
  if ((::IsWindowEnabled(control) != 0) == AEnabled) return;
  ::EnableWindow(control, AEnabled);
  if (AControl == C::edtvJoyDeviceId) ::EnableWindow(FUpDown, AEnabled);
}

void TfrmMainWin32::SetHint(TMainControl AControl, const std::u16string& AText) {
  std::wstring text = ToWide(AText);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Window();
  tool.uId = reinterpret_cast<UINT_PTR>(Control(AControl));
  tool.lpszText = text.data();
  bool& hinted = FHinted[Index(AControl)];
  ::SendMessageW(FToolTip, hinted ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  hinted = true;
}

bool TfrmMainWin32::Checked(TMainControl AControl) const {
  return ::SendMessageW(Control(AControl), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfrmMainWin32::SetChecked(TMainControl AControl, bool AChecked) {
  // BM_SETCHECK sends no BN_CLICKED.
  ::SendMessageW(Control(AControl), BM_SETCHECK, AChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TfrmMainWin32::SetWarning(TMainControl AControl, bool AWarning) {
  bool& warning = FWarning[Index(AControl)];
  if (warning == AWarning) return;
  warning = AWarning;
  ::SendMessageW(Control(AControl), WM_SETFONT, reinterpret_cast<WPARAM>(Font(AWarning)), TRUE);
}

void TfrmMainWin32::ShowPairingCard(const TPairingCardView& ACard) {
  if (!FCard) FCard = std::make_unique<TfrmPairingCardWin32>(Window(), [this] { FForm->Fire(E::PairingCardClose); });
  FCard->Show(ACard);
}

void TfrmMainWin32::HidePairingCard() {
  if (FCard) FCard->Hide();
}

void TfrmMainWin32::ShowDevices(const std::vector<TDeviceRow>& ARows, bool AOpen) {
  if (!AOpen && !(FDevices && FDevices->Visible())) return;
  if (!FDevices) FDevices = std::make_unique<TfrmDevicesWin32>(Window(), *FForm);
  FDevices->SetRows(ARows);
  if (AOpen) FDevices->Show();
}

void TfrmMainWin32::ShowScriptKey(const std::u16string& AName, const std::u16string& AKey) {
  const HWND owner = FDevices && FDevices->Visible() ? FDevices->Window() : Window();
  ShowTextToCopy(owner, u"Key for " + AName,
                 u"Send it in the header \"Tapdeck-Device\". It is shown only now: copy it.", AKey);
}

std::optional<std::u16string> TfrmMainWin32::PickFolder(const std::u16string& ATitle, const std::u16string& AStart) {
  return PickFolderDialog(Window(), ATitle, AStart);
}

void TfrmMainWin32::ShowErrorBox(const std::u16string& AMessage, const std::u16string& ATitle) {
  ::MessageBoxW(Window(), ToWide(AMessage).c_str(), ToWide(ATitle).c_str(), MB_OK | MB_ICONERROR);
}

void TfrmMainWin32::ShellOpen(const std::u16string& AUrl) {
  ::ShellExecuteW(nullptr, nullptr, ToWide(AUrl).c_str(), nullptr, nullptr, SW_SHOWNOACTIVATE);
}

void TfrmMainWin32::StepDeviceId(int ADelta) {
  FForm->HandleToolkitEvent([this, ADelta] {
    SetText(C::edtvJoyDeviceId, TfrmMain::DeviceIdRules().SteppedText(Text(C::edtvJoyDeviceId), ADelta));
  });
}

void TfrmMainWin32::LeaveDeviceId() {
  if (!FForm) return;
  // Also reached while a handler runs, when disabling the field moves the focus away.
  FForm->HandleToolkitEvent([this] {
    if (auto text = TfrmMain::DeviceIdRules().TextOnExit(Text(C::edtvJoyDeviceId))) SetText(C::edtvJoyDeviceId, *text);
  });
}
