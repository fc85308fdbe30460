// The Windows keyboard against the system itself (Wine in CI): the layout calls agree with
// the US-English table the other platforms use, the key state round-trips, and events reach
// the system's keyboard input, watched through a low-level keyboard hook.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "base/uSystem_win32.h"
#include "base/uText.h"
#include "keys/uKeyboard.h"
#include "keys/uUSLayout.h"
#include "tests/keys/KeysTestSupport.h"

namespace {

bool SystemLayoutIsUSEnglish() {
  return LOWORD(reinterpret_cast<std::uintptr_t>(::GetKeyboardLayout(0))) == 0x0409;
}

TEST(WindowsKeyboard, IsTheSystemsOwn) {
  const auto keyboard = CreateSystemKeyboard();
  EXPECT_EQ(keyboard->OutputName(), u"Windows");
  EXPECT_TRUE(keyboard->HasOutput());
}

TEST(WindowsKeyboard, LayoutCallsAgreeWithTheUSTable) {
  if (!SystemLayoutIsUSEnglish()) GTEST_SKIP() << "the system's keyboard layout is not US English";
  const auto keyboard = CreateSystemKeyboard();
  for (char16_t ch = 0x20; ch < 0x7F; ++ch)
    EXPECT_EQ(keyboard->VkKeyScanW(ch), USVkKeyScan(ch)) << "character " << static_cast<int>(ch);
  for (std::uint32_t vk : {0x08u, 0x09u, 0x0Du, 0x10u, 0x11u, 0x12u, 0x1Bu, 0x20u, 0x25u, 0x26u, 0x27u, 0x28u,
                           0x2Du, 0x2Eu, 0x30u, 0x39u, 0x41u, 0x5Au, 0x60u, 0x70u, 0x7Bu, 0x90u, 0xBAu, 0xDEu})
    EXPECT_EQ(keyboard->MapVirtualKeyW(vk, 0), USScanCode(vk)) << "virtual key " << vk;
  EXPECT_EQ(keyboard->MapVirtualKeyW(0x07, 0), 0u);                          // no key
  EXPECT_EQ(keyboard->VkKeyScanW(u'\u4E2D'), 0xFFFF);                        // no key types it
}

TEST(WindowsKeyboard, KeyStateRoundTripsThroughTheSystem) {
  const auto keyboard = CreateSystemKeyboard();
  std::uint8_t state[256] = {};
  ASSERT_TRUE(keyboard->GetKeyboardState(state));
  const std::uint8_t before = state[0x90];
  state[0x90] ^= 0x01;  // flip Num Lock, as the player does
  ASSERT_TRUE(keyboard->SetKeyboardState(state));
  std::uint8_t after[256] = {};
  ASSERT_TRUE(keyboard->GetKeyboardState(after));
  EXPECT_EQ(after[0x90] & 0x01, (before ^ 0x01) & 0x01);
  EXPECT_EQ(keyboard->GetKeyState(0x90) & 0x01, (before ^ 0x01) & 0x01);
  state[0x90] = before;
  keyboard->SetKeyboardState(state);
}

// What the hook saw of the events carrying the test's extra information.
struct THookedEvent {
  WPARAM Message;
  DWORD Vk, Scan, Flags;
};
ULONG_PTR gHookedExtra = 0;
std::vector<THookedEvent>* gHooked = nullptr;

LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM data) {
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
  if (code == HC_ACTION && event->dwExtraInfo == gHookedExtra && gHooked) {
    gHooked->push_back({message, event->vkCode, event->scanCode, event->flags});
    return 1;  // swallowed: the test's keys reach no window
  }
  return ::CallNextHookEx(nullptr, code, message, data);
}

// The events with extra information AExtra that reach the system's keyboard input after ASend,
// until ADone says they are enough; nothing when the system offers no low-level hook.
template <class TSend, class TDone>
std::optional<std::vector<THookedEvent>> Hooked(ULONG_PTR AExtra, TSend ASend, TDone ADone) {
  std::vector<THookedEvent> hooked;
  gHooked = &hooked;
  gHookedExtra = AExtra;
  HHOOK hook = ::SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHook, ::GetModuleHandleW(nullptr), 0);
  if (!hook) {
    gHooked = nullptr;
    return std::nullopt;
  }
  ASend();
  // The hook runs while this thread takes its messages.
  const ULONGLONG deadline = ::GetTickCount64() + 10000;
  MSG msg;
  while (!ADone(hooked) && ::GetTickCount64() < deadline) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(5);
  }
  ::UnhookWindowsHookEx(hook);
  gHooked = nullptr;
  return hooked;
}

TEST(WindowsKeyboard, EventsReachTheSystemsKeyboardInput) {
  constexpr ULONG_PTR kTestExtra = 0x7A9DECu;
  const auto keyboard = CreateSystemKeyboard();
  const auto result = Hooked(kTestExtra, [&] {
    keyboard->keybd_event(0x87, 0x76, 0, kTestExtra);  // F24 down
    keyboard->keybd_event(0x87, 0x76, 2, kTestExtra);  // F24 up
    keyboard->keybd_event(0x25, 75, 1, kTestExtra);    // Left, an extended key
    keyboard->keybd_event(0x25, 75, 3, kTestExtra);
  }, [](const std::vector<THookedEvent>& AHooked) { return AHooked.size() >= 4; });
  if (!result) GTEST_SKIP() << "no low-level keyboard hook on this system";
  const std::vector<THookedEvent>& hooked = *result;
  ASSERT_EQ(hooked.size(), 4u);
  EXPECT_EQ(hooked[0].Message, static_cast<WPARAM>(WM_KEYDOWN));
  EXPECT_EQ(hooked[1].Message, static_cast<WPARAM>(WM_KEYUP));
  EXPECT_EQ(hooked[0].Vk, 0x87u);
  EXPECT_EQ(hooked[0].Scan, 0x76u);
  EXPECT_EQ(hooked[2].Vk, 0x25u);
  EXPECT_EQ(hooked[2].Scan, 75u);
  EXPECT_TRUE(hooked[2].Flags & LLKHF_EXTENDED);
  EXPECT_FALSE(hooked[0].Flags & LLKHF_EXTENDED);
  EXPECT_TRUE(hooked[3].Flags & LLKHF_UP);
}

// The player's own events (extra information 13) as the system receives them: a release-only
// play sends key-ups and nothing else, then a tap of z marks the end.
TEST(WindowsKeyboard, AReleaseOnlyPlaySendsOnlyKeyUps) {
  const struct {
    std::u16string Sequence;
    std::string Events;
  } cases[] = {
      {u"l", "up 4C, down 5A, up 5A"},
      {u"+a", "up 41, up 10, down 5A, up 5A"},
      {u"{LEFT 3}", "up 25 extended, down 5A, up 5A"},
  };
  const std::shared_ptr<TKeyboard> keyboard = CreateSystemKeyboard();
  for (const auto& c : cases) {
    const auto result = Hooked(13, [&] {
      PlayInto(keyboard, c.Sequence, kUp);
      PlayInto(keyboard, u"z");
    }, [](const std::vector<THookedEvent>& AHooked) {
      return !AHooked.empty() && AHooked.back().Vk == 0x5A && (AHooked.back().Flags & LLKHF_UP);
    });
    if (!result) GTEST_SKIP() << "no low-level keyboard hook on this system";
    std::string events;
    for (const THookedEvent& e : *result) {
      char text[32];
      std::snprintf(text, sizeof text, "%s%s %02lX%s", events.empty() ? "" : ", ",
                    e.Message == WM_KEYUP || e.Message == WM_SYSKEYUP ? "up" : "down", e.Vk,
                    e.Flags & LLKHF_EXTENDED ? " extended" : "");
      events += text;
    }
    EXPECT_EQ(events, c.Events) << Utf16ToUtf8(c.Sequence);
  }
}

}  // namespace
