// The Win32 view on a real display (Wine on Xvfb in CI): its controls and places, the
// device field's typing rules and arrows, the service started and stopped by clicking its
// buttons, the error box, the pairing card and its QR code, the device list with its dialogs,
// and the hints. scripts/windows.sh runs it with a display; without one every test skips.

#include "app/fMainWin32.h"

#include <gtest/gtest.h>

#include "app/TapdeckResources.h"
#include "base/uFiles.h"
#include "base/uSystem_win32.h"

#include <commctrl.h>

#include <deque>
#include <functional>
#include <set>

#include "joystick/vJoyClass.h"
#include "app/uQRCode.h"
#include "base/uText.h"
#include "page/uPageInfo.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/support/TempDir.h"
#include "web/uDevices.h"
#include "web/uHTTPWebBrokerBridge.h"
#include "web/uPairing.h"

namespace {

using C = TMainControl;

HWND H(void* p) { return static_cast<HWND>(p); }

std::u16string TextOf(HWND AWindow) {
  wchar_t text[256] = {};
  ::GetWindowTextW(AWindow, text, 256);
  return FromWide(text);
}

// The dialogs the test expects, in the order they come: each by its caption, with what to do
// in it. A thread timer answers them from inside their own modal loops; a dialog that is not
// the one expected is cancelled after a while, and the test fails, rather than hanging.
struct TAnswer {
  std::u16string Caption;
  std::function<void(HWND)> Act;
};
std::deque<TAnswer> gAnswers;
int gTicks = 0;

struct TFound {
  const std::u16string* Caption;  // null: any dialog
  HWND Dialog = nullptr;
};

BOOL CALLBACK FindDialog(HWND AWindow, LPARAM AFound) {
  auto& found = *reinterpret_cast<TFound*>(AFound);
  wchar_t name[16] = {};
  ::GetClassNameW(AWindow, name, 16);
  if (std::wstring_view(name) != L"#32770" || !::IsWindowVisible(AWindow)) return TRUE;
  if (found.Caption && TextOf(AWindow) != *found.Caption) return TRUE;
  found.Dialog = AWindow;
  return FALSE;
}

void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR timer, DWORD) {
  if (gAnswers.empty()) {
    ::KillTimer(nullptr, timer);
    return;
  }
  TFound found{&gAnswers.front().Caption};
  ::EnumThreadWindows(::GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&found));
  if (found.Dialog) {
    const TAnswer answer = std::move(gAnswers.front());
    gAnswers.pop_front();
    gTicks = 0;
    answer.Act(found.Dialog);
  } else if (++gTicks > 200) {
    TFound any{nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&any));
    if (!any.Dialog) return;
    ADD_FAILURE() << "expected the dialog \"" << Utf16ToUtf8(gAnswers.front().Caption) << "\", came \""
                  << Utf16ToUtf8(TextOf(any.Dialog)) << "\"";
    ::SendMessageW(any.Dialog, WM_COMMAND, IDCANCEL, 0);
  }
}

void Answer(std::deque<TAnswer> AAnswers) {
  gAnswers = std::move(AAnswers);
  gTicks = 0;
  ::SetTimer(nullptr, 0, 50, AnswerDialogs);
}

// Presses a dialog's button by its caption.
void Press(HWND ADialog, const wchar_t* AButton) {
  ::SendMessageW(::FindWindowExW(ADialog, nullptr, L"Button", AButton), BM_CLICK, 0, 0);
}

// An answer that types into the dialog's field and presses OK.
std::function<void(HWND)> TypeAndOK(const wchar_t* AText) {
  return [AText](HWND dialog) {
    ::SetWindowTextW(::FindWindowExW(dialog, nullptr, L"Edit", nullptr), AText);
    Press(dialog, L"OK");
  };
}

// The text that the clipboard holds.
std::u16string ClipboardText() {
  std::u16string text;
  if (!::OpenClipboard(nullptr)) return text;
  if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    text = FromWide(static_cast<const wchar_t*>(::GlobalLock(data)));
    ::GlobalUnlock(data);
  }
  ::CloseClipboard();
  return text;
}

// A window's client area as it paints it (WM_PRINTCLIENT), one 0xRRGGBB value per pixel.
struct TPicture {
  int Width = 0, Height = 0;
  std::vector<std::uint32_t> Pixels;
  std::uint32_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y * Width + x)] & 0xFFFFFF; }
};

TPicture Print(HWND AWindow) {
  RECT client{};
  ::GetClientRect(AWindow, &client);
  TPicture picture{client.right, client.bottom, {}};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.Width, -picture.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = ::SelectObject(dc, bitmap);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
  ::SendMessageW(AWindow, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  ::GdiFlush();
  const auto* first = static_cast<const std::uint32_t*>(bits);
  picture.Pixels.assign(first, first + picture.Width * picture.Height);
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  return picture;
}

// Checks that the picture holds exactly this QR code: square, whole pixels per module, every
// module as the code has it, the quiet zone white; returns the pixels per module.
int ExpectQRCode(const TPicture& APicture, const TQRCode& ACode) {
  int left = APicture.Width, top = APicture.Height, right = -1, bottom = -1;
  for (int y = 0; y < APicture.Height; ++y)
    for (int x = 0; x < APicture.Width; ++x)
      if (APicture.At(x, y) == 0) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  const int side = right - left + 1, size = ACode.Size();
  EXPECT_EQ(bottom - top + 1, side) << "not square";
  EXPECT_EQ(side % size, 0) << "modules of different widths";
  const int unit = side / size, quiet = TQRCode::kQuietZone * unit;
  if (unit == 0 || left < quiet || top < quiet || right + quiet >= APicture.Width ||
      bottom + quiet >= APicture.Height) {
    ADD_FAILURE() << "no room for the quiet zone";
    return unit;
  }
  int wrong = 0;
  for (int y = top - quiet; y <= bottom + quiet; ++y)
    for (int x = left - quiet; x <= right + quiet; ++x) {
      const int row = (y - top) / unit, column = (x - left) / unit;
      const bool inside = y >= top && y <= bottom && x >= left && x <= right;
      const bool dark = inside && ACode.Dark(row, column);
      if (APicture.At(x, y) != (dark ? 0u : 0xFFFFFFu)) ++wrong;
    }
  EXPECT_EQ(wrong, 0) << "pixels off the code";
  return unit;
}

class Win32MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { StartAsANewProcess(options); }
  void TearDown() override {
    window.reset();
    ForgetProcessObjects();
  }
  // Without panel files or a device list on disk unless the test gives them.
  void Show(TfrmMainPlatform platform = {}) {
    platform.LocalAddresses = [] { return std::vector<std::u16string>{u"192.0.2.7"}; };
    if (!platform.PanelFiles) platform.PanelFiles = [] { return std::vector<std::u16string>{}; };
    platform.DevicesFile = [] { return std::u16string(); };
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
  void Click(C c) { Click(Control(c)); }
  void Click(HWND AButton) {
    ::SendMessageW(AButton, BM_CLICK, 0, 0);
    Settle();
  }
  // Clicks "Pair a phone": the card it shows.
  HWND PairAPhone() {
    Click(C::ButtonPair);
    return Owned(L"Pair a phone");
  }
  // A window that the main window owns, by its caption.
  HWND Owned(const wchar_t* ACaption) {
    HWND w = nullptr;
    while ((w = ::FindWindowExW(nullptr, w, nullptr, ACaption)) && ::GetWindow(w, GW_OWNER) != H(window->Window())) {
    }
    return w;
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
  EXPECT_EQ(client.bottom, scale(TfrmMainWin32::kHeight));
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

  // Below the address, in this order from the top: their texts and kinds.
  const struct {
    C control;
    const char16_t* text;
    const wchar_t* kind;
    DWORD style;
  } below[] = {
      {C::ButtonPair, u"Pair a phone", L"Button", BS_PUSHBUTTON},
      {C::ButtonDevices, u"Devices\u2026", L"Button", BS_PUSHBUTTON},
      {C::chkOpenMode, u"Any device on this network may press keys\n(no pairing)", L"Button", BS_AUTOCHECKBOX},
      {C::lblAccess, u"Only paired phones press keys: 0 phones.", L"Static", SS_LEFTNOWORDWRAP},
      {C::chkNoJoystick, u"No joystick (keys only)", L"Button", BS_AUTOCHECKBOX},
      {C::lblGame, nullptr, L"Static", SS_NOTIFY},
      {C::lblBindings, nullptr, L"Static", SS_NOTIFY},
  };
  LONG top = Place(C::edtURL).bottom;
  for (const auto& b : below) {
    const RECT r = Place(b.control);
    EXPECT_GE(r.top, top) << static_cast<int>(b.control) << " out of order";
    top = r.top;
    if (b.text) {
      EXPECT_EQ(TextOf(Control(b.control)), b.text);
    }
    wchar_t kind[16] = {};
    ::GetClassNameW(Control(b.control), kind, 16);
    EXPECT_EQ(_wcsicmp(kind, b.kind), 0) << static_cast<int>(b.control);
    EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(Control(b.control), GWL_STYLE)) & b.style, b.style);
  }
  // Each of them within the window, and over no other control.
  for (const auto& b : below) {
    const RECT r = Place(b.control);
    EXPECT_TRUE(r.left >= 0 && r.right <= client.right && r.bottom <= client.bottom)
        << static_cast<int>(b.control) << " reaches past the window";
    for (int other = 0; other <= static_cast<int>(C::lblBindings); ++other) {
      const RECT o = Place(static_cast<C>(other));
      RECT both{};
      if (static_cast<C>(other) != b.control) {
        EXPECT_FALSE(::IntersectRect(&both, &r, &o)) << static_cast<int>(b.control) << " lies over " << other;
      }
    }
  }
}

// The open mode's check box reaches the controller, whose line then warns in colour and in
// bold; setting the box from the program fires nothing.
TEST_F(Win32MainWindow, TheOpenModeBoxReachesTheControllerAndItsLineWarnsInBold) {
  Show();
  const auto bold = [this] {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control(C::lblAccess), WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfWeight >= FW_BOLD;
  };
  const auto colour = [this] {
    const HDC dc = ::CreateCompatibleDC(nullptr);
    ::SendMessageW(H(window->Window()), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(Control(C::lblAccess)));
    const COLORREF text = ::GetTextColor(dc);
    ::DeleteDC(dc);
    return text;
  };
  const COLORREF normal = colour();
  EXPECT_FALSE(bold());
  Click(C::chkOpenMode);
  EXPECT_TRUE(GetDeviceStore().OpenMode());
  EXPECT_TRUE(window->Checked(C::chkOpenMode));
  EXPECT_EQ(TextOf(Control(C::lblAccess)), u"Any device on this network may press keys.");
  EXPECT_TRUE(bold());
  EXPECT_NE(colour(), normal);
  Click(C::chkOpenMode);
  EXPECT_FALSE(GetDeviceStore().OpenMode());
  EXPECT_FALSE(bold());
  EXPECT_EQ(colour(), normal);

  window->SetChecked(C::chkOpenMode, true);
  Settle();
  EXPECT_EQ(::SendMessageW(Control(C::chkOpenMode), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(GetDeviceStore().OpenMode());
}

// "Pair a phone" shows the card beside the window: the QR code of the address with the offer's
// secret, module for module, and its 6-digit code. Closing it by the user voids the offer;
// the program's own hiding does not.
TEST_F(Win32MainWindow, PairAPhoneShowsTheCardWithTheQRCodeDrawnAndClosingItVoidsTheCode) {
  Show();
  const HWND card = PairAPhone();
  ASSERT_NE(card, nullptr);
  EXPECT_TRUE(::IsWindowVisible(card));
  const std::optional<TPairingOffer> offer = GetPairing().Current();
  ASSERT_TRUE(offer);
  const TQRCode code("http://192.0.2.7:8080/#pair=" + offer->Secret);
  const int unit = ExpectQRCode(Print(card), code);
  const int dpi = static_cast<int>(::GetDpiForWindow(card));
  EXPECT_GE((code.Size() + 2 * TQRCode::kQuietZone) * unit, ::MulDiv(230, dpi, 96)) << "too small to scan";
  const std::wstring digits = ToWide(AsciiToUtf16(offer->Code.substr(0, 3) + " " + offer->Code.substr(3)));
  EXPECT_NE(::FindWindowExW(card, nullptr, L"Static", digits.c_str()), nullptr) << "no 6-digit code";

  ::PostMessageW(::FindWindowExW(card, nullptr, L"Button", L"Close"), WM_KEYDOWN, VK_ESCAPE, 0);
  Settle();
  EXPECT_FALSE(::IsWindowVisible(card));
  EXPECT_FALSE(GetPairing().Current()) << "the card's code is still good";

  Click(C::ButtonPair);
  EXPECT_TRUE(::IsWindowVisible(card));
  window->HidePairingCard();
  EXPECT_FALSE(::IsWindowVisible(card));
  EXPECT_TRUE(GetPairing().Current());
}

// The window's timer wakes the message loop, so the card learns without any input that its
// code has ended, and then shows only its note.
TEST_F(Win32MainWindow, TheCardLearnsWithoutInputThatItsCodeEnded) {
  Show();
  const HWND card = PairAPhone();
  ASSERT_NE(card, nullptr);
  GetPairing().Cancel();
  MSG timer{};
  for (int i = 0; i < 200 && !::PeekMessageW(&timer, H(window->Window()), WM_TIMER, WM_TIMER, PM_REMOVE); ++i)
    ::Sleep(50);
  ASSERT_EQ(timer.message, static_cast<UINT>(WM_TIMER)) << "no timer in 10 s";
  ::DispatchMessageW(&timer);
  int code = 0;
  window->ProcessMessages(code);
  const std::vector<std::uint32_t> pixels = Print(card).Pixels;
  EXPECT_EQ(std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) { return (p & 0xFFFFFF) == 0; }), 0)
      << "a code is still drawn";
  const HWND digits = ::FindWindowExW(card, nullptr, L"Static", nullptr);
  EXPECT_FALSE(::IsWindowVisible(digits)) << "the digits are still shown";
  EXPECT_NE(TextOf(::FindWindowExW(card, digits, L"Static", nullptr)).find(u"no longer valid"), std::u16string::npos);
}

// The device list: its rows, and its buttons with their dialogs reaching the device store.
TEST_F(Win32MainWindow, TheDeviceListRenamesMakesScriptKeysAndForgetsAllAfterAsking) {
  Show();
  GetDeviceStore().Add(u"Android \u00b7 Chrome", TDeviceKind::Phone);
  Click(C::ButtonDevices);
  const HWND devices = Owned(L"Devices that may press keys");
  ASSERT_NE(devices, nullptr);
  EXPECT_TRUE(::IsWindowVisible(devices));
  const HWND list = ::FindWindowExW(devices, nullptr, WC_LISTVIEWW, nullptr);
  const auto cell = [list](int row, int column) {
    wchar_t text[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 64;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return FromWide(text);
  };
  const auto rows = [list] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); };
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 0), u"Android \u00b7 Chrome");
  EXPECT_EQ(cell(0, 1), u"Phone");
  EXPECT_FALSE(cell(0, 2).empty()) << "when it was last seen";

  LVITEMW select{};
  select.stateMask = select.state = LVIS_SELECTED;
  ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
  Answer({{u"Rename", TypeAndOK(L"Lounge tablet")}});
  Click(::FindWindowExW(devices, nullptr, L"Button", L"Rename\u2026"));
  EXPECT_EQ(GetDeviceStore().Devices().at(0).Name, u"Lounge tablet");
  EXPECT_EQ(cell(0, 0), u"Lounge tablet");

  std::u16string key;
  Answer({{u"Key for a script", TypeAndOK(L"Lights")}, {u"Key for Lights", [&key](HWND dialog) {
                                                          key = TextOf(
                                                              ::FindWindowExW(dialog, nullptr, L"Edit", nullptr));
                                                          Press(dialog, L"Copy and close");
                                                        }}});
  Click(::FindWindowExW(devices, nullptr, L"Button", L"Key for a script\u2026"));
  EXPECT_FALSE(key.empty());
  EXPECT_EQ(ClipboardText(), key);
  EXPECT_TRUE(GetDeviceStore().Authenticate(Utf16ToUtf8(key))) << "the key shown is not the one kept";
  EXPECT_EQ(rows(), 2);

  Answer({{u"Forget all", [](HWND box) { ::SendMessageW(box, WM_COMMAND, IDNO, 0); }}});
  Click(::FindWindowExW(devices, nullptr, L"Button", L"Forget all"));
  EXPECT_EQ(GetDeviceStore().Devices().size(), 2u);
  Answer({{u"Forget all", [](HWND box) { ::SendMessageW(box, WM_COMMAND, IDYES, 0); }}});
  Click(::FindWindowExW(devices, nullptr, L"Button", L"Forget all"));
  EXPECT_TRUE(GetDeviceStore().Devices().empty());
  EXPECT_EQ(rows(), 0);
}

// The "Panel:" line shows the panel file's full path when the pointer rests on it.
TEST_F(Win32MainWindow, ThePanelLineHintsTheFilesFullPath) {
  TempDir folder;
  folder.Write("panel.json", R"({"tapdeckPanel": 1, "title": "Good", "above": [[{"text": "Hello", "keys": "h"}]]})");
  TfrmMainPlatform platform;
  platform.PanelFiles = [&folder] { return std::vector<std::u16string>{folder.File("panel.json")}; };
  Show(std::move(platform));
  EXPECT_EQ(TextOf(Control(C::lblPanel)), u"Panel: panel.json");
  HWND tips = nullptr;
  while ((tips = ::FindWindowExW(nullptr, tips, TOOLTIPS_CLASSW, nullptr)) &&
         ::GetWindow(tips, GW_OWNER) != H(window->Window())) {
  }
  ASSERT_NE(tips, nullptr);
  wchar_t text[MAX_PATH] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = H(window->Window());
  tool.uId = reinterpret_cast<UINT_PTR>(Control(C::lblPanel));
  tool.lpszText = text;
  ::SendMessageW(tips, TTM_GETTEXTW, MAX_PATH, reinterpret_cast<LPARAM>(&tool));
  EXPECT_EQ(FromWide(text), folder.File("panel.json"));
}

// The folder picker gives nothing when cancelled.
TEST_F(Win32MainWindow, TheFolderPickerGivesNothingWhenCancelled) {
  Show();
  Answer({{u"Where the game writes", [](HWND dialog) { ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }}});
  EXPECT_EQ(window->PickFolder(u"Where the game writes", u"C:\\windows"), std::nullopt);
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
  const std::wstring port = std::to_wstring(FreePort());
  Retype(C::EditPort, port.c_str());
  EXPECT_EQ(TextOf(Control(C::edtURL)), u"http://192.0.2.7:" + std::u16string(port.begin(), port.end()))
      << "a typed port reaches the address at once";
  Click(C::ButtonStart);
  ASSERT_TRUE(Server().Active());
  EXPECT_FALSE(::IsWindowEnabled(Control(C::ButtonStart)));
  EXPECT_TRUE(::IsWindowEnabled(Control(C::ButtonStop)));
  EXPECT_FALSE(::IsWindowEnabled(Control(C::EditPort)));
  EXPECT_FALSE(::IsWindowEnabled(Control(C::edtvJoyDeviceId)));
  EXPECT_EQ(TextOf(Control(C::lblVJoyStatus)), u"Status: Acquired");

  const std::uint16_t bound = BoundIPv4Port(Server());
  EXPECT_EQ(std::to_wstring(bound), port);
  const std::string response = LoopbackGet(bound, "/");
  EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response.substr(0, 200);

  Click(C::ButtonStop);
  EXPECT_FALSE(Server().Active());
  EXPECT_FALSE(LoopbackConnects(bound));
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
  Retype(C::EditPort, std::to_wstring(FreePort()).c_str());
  std::u16string text;
  LONG style = 0;
  Answer({{ApplicationTitle(ExecutablePath()), [&](HWND box) {
             text = TextOf(::GetDlgItem(box, 0xFFFF));  // the message's static control
             style = ::GetWindowLongW(box, GWL_STYLE);
             ::SendMessageW(box, WM_COMMAND, IDOK, 0);
           }}});
  Click(C::ButtonStart);
  EXPECT_EQ(text, u"vJoy Device 2 is missing.");
  EXPECT_EQ(style & DS_MODALFRAME, DS_MODALFRAME);
  EXPECT_FALSE(Server().Active());
  Retype(C::edtvJoyDeviceId, L"3");
  Click(C::ButtonStart);
  EXPECT_TRUE(Server().Active());
}

}  // namespace
