// The Windows keyboard against the system itself (Wine in CI): the layout calls agree with
// the US-English table the other platforms use, the key state round-trips, and events reach
// the system's keyboard input, watched through a low-level keyboard hook.
#include <gtest/gtest.h>

#include <vector>

#include "base/uSystem_win32.h"
#include "keys/uKeyboard.h"
#include "keys/uUSLayout.h"

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
constexpr ULONG_PTR kTestExtra = 0x7A9DECu;
std::vector<THookedEvent>* gHooked = nullptr;

LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM data) {
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
  if (code == HC_ACTION && event->dwExtraInfo == kTestExtra && gHooked) {
    gHooked->push_back({message, event->vkCode, event->scanCode, event->flags});
    return 1;  // swallowed: the test's keys reach no window
  }
  return ::CallNextHookEx(nullptr, code, message, data);
}

TEST(WindowsKeyboard, EventsReachTheSystemsKeyboardInput) {
  std::vector<THookedEvent> hooked;
  gHooked = &hooked;
  HHOOK hook = ::SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHook, ::GetModuleHandleW(nullptr), 0);
  if (!hook) {
    gHooked = nullptr;
    GTEST_SKIP() << "no low-level keyboard hook on this system";
  }
  const auto keyboard = CreateSystemKeyboard();
  keyboard->keybd_event(0x87, 0x76, 0, kTestExtra);  // F24 down
  keyboard->keybd_event(0x87, 0x76, 2, kTestExtra);  // F24 up
  keyboard->keybd_event(0x25, 75, 1, kTestExtra);    // Left, an extended key
  keyboard->keybd_event(0x25, 75, 3, kTestExtra);
  // The hook runs while this thread takes its messages.
  const ULONGLONG deadline = ::GetTickCount64() + 10000;
  MSG msg;
  while (hooked.size() < 4 && ::GetTickCount64() < deadline) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    keyboard->Sleep(5);
  }
  ::UnhookWindowsHookEx(hook);
  gHooked = nullptr;
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

}  // namespace
