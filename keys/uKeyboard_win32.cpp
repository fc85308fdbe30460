// The Windows keyboard: every call goes straight to user32 and kernel32, so the events reach
// the system's own keyboard input and the layout and key state are the system's.
#include "base/uSystem_win32.h"
#include "keys/uKeyboard.h"

namespace {

class TWindowsKeyboard : public TKeyboard {
 public:
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                   std::uintptr_t dwExtraInfo) override {
    ::keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
  }
  std::uint32_t MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) override {
    return ::MapVirtualKeyW(uCode, uMapType);
  }
  std::uint16_t VkKeyScanW(char16_t ch) override {
    return static_cast<std::uint16_t>(::VkKeyScanW(static_cast<wchar_t>(ch)));
  }
  std::int16_t GetKeyState(std::int32_t nVirtKey) override { return ::GetKeyState(nVirtKey); }
  bool GetKeyboardState(std::uint8_t lpKeyState[256]) override { return ::GetKeyboardState(lpKeyState) != 0; }
  bool SetKeyboardState(const std::uint8_t lpKeyState[256]) override {
    BYTE state[256];  // the API takes a writable buffer
    std::copy(lpKeyState, lpKeyState + 256, state);
    return ::SetKeyboardState(state) != 0;
  }
  void Sleep(std::uint32_t dwMilliseconds) override { ::Sleep(dwMilliseconds); }

  std::u16string OutputName() const override { return u"Windows"; }
};

}  // namespace

std::unique_ptr<TKeyboard> CreateSystemKeyboard() { return std::make_unique<TWindowsKeyboard>(); }
