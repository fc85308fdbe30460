// The Win32 view on a real display (Wine on Xvfb in CI): its controls and places, the
// device field's typing rules and arrows, the service started and stopped by clicking its
// buttons, and the error box. scripts/windows.sh runs it with a display; without one every
// test skips.

#include "app/fMainWin32.h"

#include <gtest/gtest.h>

#include "app/TapdeckResources.h"
#include "base/uFiles.h"
#include "base/uSystem_win32.h"

#include <commctrl.h>

#include <set>

#include "joystick/vJoyClass.h"
#include "page/uPageInfo.h"
#include "tests/app/WindowTestSupport.h"
#include "web/uHTTPWebBrokerBridge.h"

namespace {

using C = TMainControl;

HWND H(void* p) { return static_cast<HWND>(p); }

std::u16string TextOf(HWND AWindow) {
  wchar_t text[256] = {};
  ::GetWindowTextW(AWindow, text, 256);
  return FromWide(text);
}

// The next message box: what it showed, answered with OK from inside its own modal loop.
struct TShownBox {
  std::u16string Title, Text;
  UINT Style = 0;
};
TShownBox* gShown = nullptr;

BOOL CALLBACK FindDialog(HWND AWindow, LPARAM AFound) {
  wchar_t name[16] = {};
  ::GetClassNameW(AWindow, name, 16);
  if (std::wstring_view(name) != L"#32770") return TRUE;
  *reinterpret_cast<HWND*>(AFound) = AWindow;
  return FALSE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&box));
  if (!box || !gShown) return;
  ::KillTimer(nullptr, timer);
  gShown->Title = TextOf(box);
  gShown->Text = TextOf(::GetDlgItem(box, 0xFFFF));  // the message's static control
  gShown->Style = ::GetWindowLongW(box, GWL_STYLE);
  ::SendMessageW(box, WM_COMMAND, IDOK, 0);
}

class Win32MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { StartAsANewProcess(options); }
  void TearDown() override {
    window.reset();
    ForgetProcessObjects();
  }
  void Show() {
    TfrmMainPlatform platform;
    platform.LocalAddresses = [] { return std::vector<std::u16string>{u"192.0.2.7"}; };
    try {
      window = std::make_unique<TfrmMainWin32>(std::move(platform));
    } catch (const Exception& e) {
      GTEST_SKIP() << "no window on this system (needs a display): " << e.what();
    }
    window->Show(SW_SHOWNORMAL);
    Settle();
  }
  // Handles what is pending and runs the idle refresh.
  void Settle() {
    int code = 0;
    for (int i = 0; i < 5; ++i) window->ProcessMessages(code);
  }
  HWND Control(C c) { return H(window->ControlHandle(c)); }
  // The control's place in the window's client area.
  RECT Place(C c) {
    RECT r{};
    ::GetWindowRect(Control(c), &r);
    ::MapWindowPoints(nullptr, H(window->Window()), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  void Click(C c) {
    ::SendMessageW(Control(c), BM_CLICK, 0, 0);
    Settle();
  }
  void Type(C c, const wchar_t* keys) {
    for (; *keys; ++keys) ::SendMessageW(Control(c), WM_CHAR, *keys, 0);
  }
  void Retype(C c, const wchar_t* keys) {
    ::SendMessageW(Control(c), EM_SETSEL, 0, -1);
    Type(c, keys);
  }
  TIdHTTPWebBrokerBridge& Server() { return *window->Form().Server(); }

  TvJoySimulatedOptions options;
  std::unique_ptr<TfrmMainWin32> window;
};

TEST_F(Win32MainWindow, ControlsHaveTheirTextsAndPlaces) {
  Show();
  RECT client{};
  ::GetClientRect(H(window->Window()), &client);
  const UINT dpi = ::GetDpiForWindow(H(window->Window()));
  const auto scale = [dpi](int v) { return static_cast<LONG>(::MulDiv(v, static_cast<int>(dpi), 96)); };
  EXPECT_EQ(client.right, scale(322));
  EXPECT_EQ(client.bottom, scale(234));
  EXPECT_EQ(TextOf(H(window->Window())), u"Tapdeck");
  EXPECT_EQ(::GetWindowLongW(H(window->Window()), GWL_STYLE) & WS_THICKFRAME, 0) << "the window must not be resizable";

  const struct {
    C control;
    const char16_t* text;
    int left, top, width, height;
  } places[] = {
      {C::EditPort, u"8080", 136, 8, 121, 21},
      {C::ButtonStart, u"Start", 24, 92, 75, 25},
      {C::ButtonStop, u"Stop", 105, 92, 75, 25},
      {C::ButtonOpenBrowser, u"Open Browser", 24, 123, 107, 25},
      {C::edtURL, u"http://192.0.2.7:8080", 24, 197, 273, 21},
  };
  for (const auto& p : places) {
    const RECT r = Place(p.control);
    EXPECT_EQ(r.left, scale(p.left)) << static_cast<int>(p.control);
    EXPECT_EQ(r.top, scale(p.top)) << static_cast<int>(p.control);
    EXPECT_EQ(r.right - r.left, scale(p.width)) << static_cast<int>(p.control);
    EXPECT_EQ(r.bottom - r.top, scale(p.height)) << static_cast<int>(p.control);
    EXPECT_EQ(TextOf(Control(p.control)), p.text);
  }
  // The device field and its arrows share the field's place.
  const RECT device = Place(C::edtvJoyDeviceId);
  EXPECT_EQ(device.left, scale(136));
  EXPECT_EQ(device.top, scale(35));
  EXPECT_EQ(TextOf(Control(C::edtvJoyDeviceId)), u"2");

  const struct {
    C control;
    const char16_t* text;
    int left, top;
  } labels[] = {
      {C::Label1, u"Port", 24, 11},
      {C::Label2, u"Virtual Joystick #id", 24, 38},
      {C::lblVJoyStatus, u"Status: Not Acquired", 136, 63},
      {C::Label3, u"Open the following url in a browser on your  device:", 24, 181},
  };
  for (const auto& l : labels) {
    const RECT r = Place(l.control);
    EXPECT_EQ(r.left, scale(l.left));
    EXPECT_EQ(r.top, scale(l.top));
    EXPECT_LE(r.right, client.right) << "reaches past the window";
    EXPECT_EQ(TextOf(Control(l.control)), l.text);
  }
  EXPECT_EQ(TextOf(Control(C::edtWebpageTitle)), GetPageInfo().PageTitle());
  EXPECT_NE(::GetWindowLongW(Control(C::edtURL), GWL_STYLE) & ES_READONLY, 0);
  wchar_t hint[32] = {};
  ::SendMessageW(Control(C::edtWebpageTitle), EM_GETCUEBANNER, reinterpret_cast<WPARAM>(hint), 32);
  EXPECT_EQ(FromWide(hint), u"Webpage title");
}

// The window carries the program's icon (the caption and the taskbar show the class icon),
// and the icon resource holds every size Windows asks for, the 256 one for Explorer's large
// views among them.
TEST_F(Win32MainWindow, TheWindowCarriesTheProgramsIconInEverySize) {
  Show();
  const auto icon = reinterpret_cast<HICON>(::GetClassLongPtrW(H(window->Window()), GCLP_HICON));
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(icon, ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION))) << "the system's default icon";

  const HMODULE module = ::GetModuleHandleW(nullptr);
  const HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(IDI_TAPDECK), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
  ASSERT_NE(group, nullptr);
  const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
  ASSERT_NE(data, nullptr);
  // The group's header (reserved, type, count: three 16-bit words), then 14 bytes per image
  // whose first byte is the width (0 for 256).
  const int count = data[4] | (data[5] << 8);
  std::set<int> widths;
  for (int i = 0; i < count; ++i) widths.insert(data[6 + 14 * i] == 0 ? 256 : data[6 + 14 * i]);
  EXPECT_EQ(widths, (std::set<int>{16, 24, 32, 48, 64, 256}));
}

TEST_F(Win32MainWindow, StartServesThePageAndStopEndsTheService) {
  Show();
  Retype(C::EditPort, L"0");
  EXPECT_EQ(TextOf(Control(C::edtURL)), u"http://192.0.2.7:0") << "a typed port reaches the address at once";
  Click(C::ButtonStart);
  ASSERT_TRUE(Server().Active());
  EXPECT_FALSE(::IsWindowEnabled(Control(C::ButtonStart)));
  EXPECT_TRUE(::IsWindowEnabled(Control(C::ButtonStop)));
  EXPECT_FALSE(::IsWindowEnabled(Control(C::EditPort)));
  EXPECT_FALSE(::IsWindowEnabled(Control(C::edtvJoyDeviceId)));
  EXPECT_EQ(TextOf(Control(C::lblVJoyStatus)), u"Status: Acquired");

  const std::uint16_t port = BoundIPv4Port(Server());
  const std::string response = LoopbackGet(port, "/");
  EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response.substr(0, 200);

  Click(C::ButtonStop);
  EXPECT_FALSE(Server().Active());
  EXPECT_FALSE(LoopbackConnects(port));
  EXPECT_TRUE(::IsWindowEnabled(Control(C::ButtonStart)));
  EXPECT_FALSE(::IsWindowEnabled(Control(C::ButtonStop)));
  EXPECT_EQ(TextOf(Control(C::lblVJoyStatus)), u"Status: Acquired") << "Stop keeps the device";
}

TEST_F(Win32MainWindow, TheDeviceFieldRefusesLettersStepsAndClampsOnLeaving) {
  Show();
  const HWND field = Control(C::edtvJoyDeviceId);
  Retype(C::edtvJoyDeviceId, L"9");
  EXPECT_EQ(GetvJoy().Id(), 9);
  Type(C::edtvJoyDeviceId, L"9a");
  EXPECT_EQ(TextOf(field), u"99") << "letters are refused";
  EXPECT_EQ(GetvJoy().Id(), 99);
  ::SetFocus(field);
  ::SetFocus(Control(C::EditPort));  // leaving the field clamps it
  Settle();
  EXPECT_EQ(TextOf(field), u"16");
  EXPECT_EQ(GetvJoy().Id(), 16);
  ::SetFocus(field);
  ::SendMessageW(field, WM_KEYDOWN, VK_DOWN, 0);  // the arrows' keys
  Settle();
  EXPECT_EQ(TextOf(field), u"15");
  EXPECT_EQ(GetvJoy().Id(), 15);
  ::SendMessageW(field, WM_CHAR, L'\r', 0);
  EXPECT_EQ(TextOf(field), u"15");
}

TEST_F(Win32MainWindow, AnErrorGoesToAnErrorBoxAndTheWindowGoesOn) {
  options.MissingDevice = 2;
  SetUp();
  Show();
  Retype(C::EditPort, L"0");
  TShownBox shown;
  gShown = &shown;
  ::SetTimer(nullptr, 0, 50, AnswerBox);
  Click(C::ButtonStart);
  gShown = nullptr;
  EXPECT_EQ(shown.Title, ApplicationTitle(ExecutablePath()));
  EXPECT_EQ(shown.Text, u"vJoy Device 2 is missing.");
  EXPECT_EQ(shown.Style & DS_MODALFRAME, static_cast<UINT>(DS_MODALFRAME));
  EXPECT_FALSE(Server().Active());
  Retype(C::edtvJoyDeviceId, L"3");
  Click(C::ButtonStart);
  EXPECT_TRUE(Server().Active());
}

}  // namespace
