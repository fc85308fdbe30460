#include "keys/uKeyboard.h"

#include <cstring>

#include "keys/uUSLayout.h"

namespace {

constexpr std::uint8_t VK_CAPITAL = 0x14, VK_NUMLOCK = 0x90, VK_SCROLL = 0x91;

struct TKeyboardHolder {
  std::mutex Lock;
  std::shared_ptr<TKeyboard> Current;
};

// Deliberately never destroyed: detached workers may still run while static objects go.
TKeyboardHolder& Holder() {
  static TKeyboardHolder& holder = *new TKeyboardHolder;
  return holder;
}

}  // namespace

void TKeyStateArray::KeyEvent(std::uint8_t AVirtualKey, bool AUp) {
  std::lock_guard lock(fLock);
  std::uint8_t& entry = fState[AVirtualKey];
  if (AUp) {
    entry &= ~0x80u;
  } else {
    if (!(entry & 0x80) && (AVirtualKey == VK_CAPITAL || AVirtualKey == VK_NUMLOCK || AVirtualKey == VK_SCROLL))
      entry ^= 0x01u;
    entry |= 0x80u;
  }
}

std::int16_t TKeyStateArray::KeyState(std::int32_t AVirtualKey) const {
  if (AVirtualKey < 0 || AVirtualKey > 255) return 0;
  std::lock_guard lock(fLock);
  const std::uint8_t entry = fState[static_cast<std::size_t>(AVirtualKey)];
  return static_cast<std::int16_t>(((entry & 0x80) ? 0x8000u : 0u) | (entry & 0x01u));
}

void TKeyStateArray::Get(std::uint8_t AState[256]) const {
  std::lock_guard lock(fLock);
  std::memcpy(AState, fState.data(), fState.size());
}

void TKeyStateArray::Set(const std::uint8_t AState[256]) {
  std::lock_guard lock(fLock);
  std::memcpy(fState.data(), AState, fState.size());
}

void TUSLayoutKeyboard::keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                                    std::uintptr_t dwExtraInfo) {
  fKeyState.KeyEvent(bVk, (dwFlags & 0x0002) != 0);
  SendEvent(bVk, bScan, dwFlags, dwExtraInfo);
}

std::uint32_t TUSLayoutKeyboard::MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) {
  return uMapType == 0 ? USScanCode(uCode) : 0;  // only the VK-to-scan-code map is needed
}

std::uint16_t TUSLayoutKeyboard::VkKeyScanW(char16_t ch) { return USVkKeyScan(ch); }

std::int16_t TUSLayoutKeyboard::GetKeyState(std::int32_t nVirtKey) { return fKeyState.KeyState(nVirtKey); }

bool TUSLayoutKeyboard::GetKeyboardState(std::uint8_t lpKeyState[256]) {
  fKeyState.Get(lpKeyState);
  return true;
}

bool TUSLayoutKeyboard::SetKeyboardState(const std::uint8_t lpKeyState[256]) {
  fKeyState.Set(lpKeyState);
  return true;
}

std::shared_ptr<TKeyboard> GetKeyboard() {
  TKeyboardHolder& holder = Holder();
  std::lock_guard lock(holder.Lock);
  if (!holder.Current) holder.Current = CreateSystemKeyboard();
  return holder.Current;
}

void SelectKeyboard(std::unique_ptr<TKeyboard> AKeyboard) {
  std::shared_ptr<TKeyboard> previous;  // released outside the lock
  TKeyboardHolder& holder = Holder();
  std::lock_guard lock(holder.Lock);
  previous = std::move(holder.Current);
  holder.Current = std::move(AKeyboard);
}

std::u16string KeyboardOutputName() { return GetKeyboard()->OutputName(); }

bool HasKeyboardOutput() { return GetKeyboard()->HasOutput(); }
