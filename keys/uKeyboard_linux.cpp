#include "keys/uKeyboard_linux.h"

#include <chrono>
#include <thread>

#include "keys/uUSLayout.h"

void TLinuxKeyboard::keybd_event(std::uint8_t bVk, std::uint8_t /*bScan*/, std::uint32_t dwFlags,
                                 std::uintptr_t /*dwExtraInfo*/) {
  // The virtual key alone says which key it is (left and right keys have codes of their
  // own), so the scan code and the extended flag are not needed here.
  const bool up = (dwFlags & 0x0002) != 0;
  fKeyState.KeyEvent(bVk, up);
  if (fOutput) fOutput->Key(bVk, up);
}

std::uint32_t TLinuxKeyboard::MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) {
  return uMapType == 0 ? USScanCode(uCode) : 0;
}

std::uint16_t TLinuxKeyboard::VkKeyScanW(char16_t ch) { return USVkKeyScan(ch); }

std::int16_t TLinuxKeyboard::GetKeyState(std::int32_t nVirtKey) { return fKeyState.KeyState(nVirtKey); }

bool TLinuxKeyboard::GetKeyboardState(std::uint8_t lpKeyState[256]) {
  fKeyState.Get(lpKeyState);
  return true;
}

bool TLinuxKeyboard::SetKeyboardState(const std::uint8_t lpKeyState[256]) {
  fKeyState.Set(lpKeyState);
  return true;
}

void TLinuxKeyboard::Sleep(std::uint32_t dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

std::unique_ptr<TKeyboard> CreateSystemKeyboard() {
  std::unique_ptr<TKeyOutput> output = TUinputKeyOutput::Open();
  if (!output) output = TXTestKeyOutput::Open(nullptr);
  return std::make_unique<TLinuxKeyboard>(std::move(output));
}
