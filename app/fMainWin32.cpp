#include "app/fMainWin32.h"

#include "app/TapdeckResources.h"
#include "base/uErrors.h"
#include "base/uSystem_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

namespace {

using C = TMainControl;

constexpr wchar_t kWindowClass[] = L"TfrmMain";
constexpr int kClientWidth = 322, kClientHeight = 234;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // single border
// Labels size themselves to their text; these give the places of every control, in pixels
// at 96 DPI (left, top, width, height; 0 width: as wide as the text).
struct TPlace {
  C Control;
  const wchar_t* Class;
  DWORD Style, ExStyle;
  int Left, Top, Width, Height;
  const wchar_t* Text;
};
constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
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
};

std::size_t Index(C c) { return static_cast<std::size_t>(c); }

const TPlace& PlaceOf(C c) {
  for (const TPlace& place : kPlaces)
    if (place.Control == c) return place;
  return kPlaces[0];  // every control has a place
}
HWND Hwnd(void* p) { return static_cast<HWND>(p); }

std::wstring WindowText(HWND AWindow) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(AWindow)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(AWindow, text.data(), static_cast<int>(text.size()))));
  return text;
}

LRESULT CALLBACK WindowProc(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  if (AMessage == WM_NCCREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCTW*>(ALParam);
    ::SetWindowLongPtrW(AWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* view = reinterpret_cast<TfrmMainWin32*>(::GetWindowLongPtrW(AWindow, GWLP_USERDATA));
  if (view && view->Window() == AWindow) return view->Handle(AMessage, AWParam, ALParam);
  return ::DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
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

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    // The program's own icon from its resources (the caption and the taskbar show it); the
    // system's default where an executable has none.
    wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_TAPDECK));
    if (!wc.hIcon) wc.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    return ::RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace

TfrmMainWin32::TfrmMainWin32(TfrmMainPlatform APlatform) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
  ::InitCommonControlsEx(&controls);
  RegisterWindowClass();
  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  const HWND window = ::CreateWindowExW(0, kWindowClass, L"Tapdeck", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), this);
  if (!window) throw Exception(u"Cannot create the main window: " + SystemErrorText(::GetLastError()));
  FWindow = window;
  FDpi = ::GetDpiForWindow(window);
  CreateControls();
  Layout();
  FForm = std::make_unique<TfrmMain>(*this, std::move(APlatform));
  FForm->Fire(TMainEvent::FormCreate);
}

TfrmMainWin32::~TfrmMainWin32() {
  if (FWindow) ::DestroyWindow(Hwnd(FWindow));
  FForm.reset();
  if (FFont) ::DeleteObject(static_cast<HFONT>(FFont));
}

void TfrmMainWin32::CreateControls() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  int id = 100;
  for (const TPlace& place : kPlaces) {
    const HWND control = ::CreateWindowExW(place.ExStyle, place.Class, place.Text, place.Style, 0, 0, 0, 0,
                                           Hwnd(FWindow), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)),
                                           instance, nullptr);
    FControls[Index(place.Control)] = control;
  }
  // The arrows sit inside the device field's right edge; the window applies every step.
  const HWND device = Hwnd(Control(C::edtvJoyDeviceId));
  FUpDown = ::CreateWindowExW(0, UPDOWN_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS | UDS_ALIGNRIGHT, 0, 0,
                              0, 0, Hwnd(FWindow), nullptr, instance, nullptr);
  ::SendMessageW(Hwnd(FUpDown), UDM_SETRANGE32, TfrmMain::DeviceIdRules().MinValue(),
                 TfrmMain::DeviceIdRules().MaxValue());
  ::SetWindowSubclass(device, DeviceFieldProc, 1, 0);
  ::SendMessageW(Hwnd(Control(C::edtWebpageTitle)), EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"Webpage title"));
}

// Places every control for the window's DPI, with the system's message font at that DPI.
void TfrmMainWin32::Layout() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, FDpi);
  const HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont);
  for (const TPlace& place : kPlaces)
    ::SendMessageW(Hwnd(Control(place.Control)), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (FFont) ::DeleteObject(static_cast<HFONT>(FFont));
  FFont = font;
  for (const TPlace& place : kPlaces) Place(place.Control);
  // Attaching the buddy again places the arrows inside the field's right edge.
  ::SendMessageW(Hwnd(FUpDown), UDM_SETBUDDY, reinterpret_cast<WPARAM>(Control(C::edtvJoyDeviceId)), 0);
  ::InvalidateRect(Hwnd(FWindow), nullptr, TRUE);
}

// Labels take the size of their text in the current font.
void TfrmMainWin32::Place(TMainControl AControl) {
  const TPlace& place = PlaceOf(AControl);
  const auto scale = [this](int v) { return ::MulDiv(v, static_cast<int>(FDpi), 96); };
  const HWND control = Hwnd(Control(AControl));
  int width = scale(place.Width), height = scale(place.Height);
  if (place.Height == 0) {
    const std::wstring text = WindowText(control);
    const HDC dc = ::GetDC(control);
    const HGDIOBJ oldFont = ::SelectObject(dc, static_cast<HFONT>(FFont));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, L"Xy", 2, &extent);
    height = extent.cy;
    if (place.Width == 0) {
      ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      // Some room to spare, so the last character is never cut, within the client area.
      width = std::min(static_cast<int>(extent.cx) + scale(8), scale(kClientWidth - place.Left));
    }
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(control, dc);
  }
  ::SetWindowPos(control, nullptr, scale(place.Left), scale(place.Top), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMainWin32::Show(int ACmdShow) {
  const HWND window = Hwnd(FWindow);
  RECT frame{0, 0, ::MulDiv(kClientWidth, static_cast<int>(FDpi), 96), ::MulDiv(kClientHeight, static_cast<int>(FDpi), 96)};
  ::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, 0, FDpi);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height, SWP_NOZORDER);
  ::ShowWindow(window, ACmdShow);
  ::UpdateWindow(window);
  ::SetFocus(Hwnd(Control(C::EditPort)));
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
    // Tab and Shift+Tab move between the controls, as in a dialog.
    if (FWindow && ::IsDialogMessageW(Hwnd(FWindow), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  if (FForm) FForm->Fire(TMainEvent::ApplicationEvents1Idle);
  return true;
}

std::intptr_t TfrmMainWin32::Handle(unsigned AMessage, std::uintptr_t AWParam, std::intptr_t ALParam) {
  const HWND window = Hwnd(FWindow);
  switch (AMessage) {
    case WM_COMMAND: {
      if (!FForm) break;
      const auto from = reinterpret_cast<void*>(ALParam);
      const WORD code = HIWORD(AWParam);
      if (code == EN_CHANGE && !FSettingText) {
        if (from == Control(C::EditPort)) FForm->Fire(TMainEvent::EditPortChange);
        if (from == Control(C::edtvJoyDeviceId)) FForm->Fire(TMainEvent::edtvJoyDeviceIdChange);
      } else if (code == EN_KILLFOCUS && from == Control(C::edtvJoyDeviceId)) {
        LeaveDeviceId();
      } else if (code == BN_CLICKED) {
        if (from == Control(C::ButtonStart)) FForm->Fire(TMainEvent::ButtonStartClick);
        if (from == Control(C::ButtonStop)) FForm->Fire(TMainEvent::ButtonStopClick);
        if (from == Control(C::ButtonOpenBrowser)) FForm->Fire(TMainEvent::ButtonOpenBrowserClick);
        // STN_CLICKED, from the "Panel:" label (SS_NOTIFY): the same code as BN_CLICKED.
        if (from == Control(C::lblPanel)) FForm->Fire(TMainEvent::lblPanelClick);
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
    case WM_DPICHANGED: {
      FDpi = HIWORD(AWParam);
      const auto* suggested = reinterpret_cast<const RECT*>(ALParam);
      ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_DESTROY:
      // The controller goes while the controls still exist: FormDestroy, then the service
      // stops and waits for its connections.
      FForm.reset();
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      FWindow = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, AMessage, AWParam, ALParam);
}

void* TfrmMainWin32::Control(TMainControl AControl) const { return FControls[Index(AControl)]; }

std::u16string TfrmMainWin32::Text(TMainControl AControl) const {
  return FromWide(WindowText(Hwnd(Control(AControl))));
}

void TfrmMainWin32::SetText(TMainControl AControl, const std::u16string& AText) {
  if (Text(AControl) == AText) return;
  const HWND control = Hwnd(Control(AControl));
  FSettingText = true;
  ::SetWindowTextW(control, ToWide(AText).c_str());
  FSettingText = false;
  // The change event fires here rather than from EN_CHANGE, so that an error it raises
  // passes to the handler that set the text.
  if (AControl == C::EditPort) FForm->FireChange(TMainEvent::EditPortChange);
  if (AControl == C::edtvJoyDeviceId) FForm->FireChange(TMainEvent::edtvJoyDeviceIdChange);
  if (AControl == C::Label1 || AControl == C::Label2 || AControl == C::lblVJoyStatus || AControl == C::Label3)
    Place(AControl);
}

void TfrmMainWin32::SetEnabled(TMainControl AControl, bool AEnabled) {
  const HWND control = Hwnd(Control(AControl));
  if ((::IsWindowEnabled(control) != 0) == AEnabled) return;
  ::EnableWindow(control, AEnabled);
  if (AControl == C::edtvJoyDeviceId) ::EnableWindow(Hwnd(FUpDown), AEnabled);
}

void TfrmMainWin32::ShowErrorBox(const std::u16string& AMessage, const std::u16string& ATitle) {
  ::MessageBoxW(Hwnd(FWindow), ToWide(AMessage).c_str(), ToWide(ATitle).c_str(), MB_OK | MB_ICONERROR);
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
