#include "app/uWin32Window.h"

#include <algorithm>
#include <set>

#include "app/TapdeckResources.h"
#include "base/uErrors.h"

namespace {

void RegisterClassOnce(const wchar_t* AClass, WNDPROC AProcedure) {
  static std::set<std::wstring> registered;
  if (!registered.insert(AClass).second) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = AProcedure;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  // The program's own icon from its resources (the caption and the taskbar show it); the
  // system's default where an executable has none.
  wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_TAPDECK));
  if (!wc.hIcon) wc.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = AClass;
  ::RegisterClassExW(&wc);
}

}  // namespace

std::u16string WindowText(HWND AWindow) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(AWindow)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(AWindow, text.data(), static_cast<int>(text.size()))));
  return FromWide(text);
}

TWin32Window::~TWin32Window() {
  Destroy();
  if (FFont) ::DeleteObject(FFont);
  if (FBoldFont) ::DeleteObject(FBoldFont);
}

void TWin32Window::Create(const wchar_t* AClass, HWND AOwner, const std::u16string& ATitle, DWORD AStyle) {
  RegisterClassOnce(AClass, Procedure);
  // The procedure learns FWindow with the first message.
  ::CreateWindowExW(0, AClass, ToWide(ATitle).c_str(), AStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, AOwner, nullptr,
                    ::GetModuleHandleW(nullptr), this);
  if (!FWindow) throw Exception(u"Cannot create the window \"" + ATitle + u"\": " + SystemErrorText(::GetLastError()));
  FDpi = ::GetDpiForWindow(FWindow);
  MakeFonts(false);
}

void TWin32Window::Destroy() {
  if (FWindow) ::DestroyWindow(FWindow);
}

LRESULT CALLBACK TWin32Window::Procedure(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  if (AMessage == WM_NCCREATE) {
    auto* self = static_cast<TWin32Window*>(reinterpret_cast<const CREATESTRUCTW*>(ALParam)->lpCreateParams);
    self->FWindow = AWindow;
    ::SetWindowLongPtrW(AWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWin32Window*>(::GetWindowLongPtrW(AWindow, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
  switch (AMessage) {
    case WM_DPICHANGED: {
      self->FDpi = HIWORD(AWParam);
      const auto* suggested = reinterpret_cast<const RECT*>(ALParam);
      ::SetWindowPos(AWindow, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      self->MakeFonts(true);
      return 0;
    }
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(AWindow, GWLP_USERDATA, 0);
      self->FWindow = nullptr;
      return ::DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
    default: return self->Handle(AMessage, AWParam, ALParam);
  }
}

LRESULT TWin32Window::Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  return ::DefWindowProcW(FWindow, AMessage, AWParam, ALParam);
}

void TWin32Window::MakeFonts(bool ALayout) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, FDpi);
  const HFONT oldFont = FFont, oldBold = FBoldFont;
  FFont = ::CreateFontIndirectW(&metrics.lfMessageFont);
  metrics.lfMessageFont.lfWeight = FW_BOLD;
  FBoldFont = ::CreateFontIndirectW(&metrics.lfMessageFont);
  if (ALayout) {
    Layout();
    ::InvalidateRect(FWindow, nullptr, TRUE);
  }
  if (oldFont) ::DeleteObject(oldFont);
  if (oldBold) ::DeleteObject(oldBold);
}

HWND TWin32Window::AddControl(const wchar_t* AClass, const std::u16string& AText, DWORD AStyle, DWORD AExStyle,
                              int AId) {
  const HWND control =
      ::CreateWindowExW(AExStyle, AClass, ToWide(AText).c_str(), WS_CHILD | WS_VISIBLE | AStyle, 0, 0, 0, 0, FWindow,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)), ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  return control;
}

void TWin32Window::SetClientSize(int AWidth, int AHeight) {
  RECT frame{0, 0, AWidth, AHeight};
  ::AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(::GetWindowLongW(FWindow, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(::GetWindowLongW(FWindow, GWL_EXSTYLE)), FDpi);
  ::SetWindowPos(FWindow, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Window::ShowBesideOwner() {
  if (Visible()) {
    ::SetActiveWindow(FWindow);
    return;
  }
  RECT self{}, owner{};
  ::GetWindowRect(FWindow, &self);
  ::GetWindowRect(::GetWindow(FWindow, GW_OWNER), &owner);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromRect(&owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const int width = self.right - self.left, gap = Scale(8);
  const int left = owner.right + gap + width <= monitor.rcWork.right ? owner.right + gap : owner.left - gap - width;
  MoveOnScreen(FWindow, left, owner.top);
  ::ShowWindow(FWindow, SW_SHOW);
}

void MoveOnScreen(HWND AWindow, int ALeft, int ATop) {
  RECT self{};
  ::GetWindowRect(AWindow, &self);
  const int width = self.right - self.left, height = self.bottom - self.top;
  const RECT wanted{ALeft, ATop, ALeft + width, ATop + height};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  const int left = std::max(static_cast<int>(area.left), std::min(ALeft, static_cast<int>(area.right) - width));
  const int top = std::max(static_cast<int>(area.top), std::min(ATop, static_cast<int>(area.bottom) - height));
  ::SetWindowPos(AWindow, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
