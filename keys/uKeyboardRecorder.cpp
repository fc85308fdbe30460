#include "keys/uKeyboardRecorder.h"

#include <chrono>
#include <cstdio>


std::string FormatKeyEventLine(const TKeyEvent& AEvent) {
  char line[96];
  std::snprintf(line, sizeof line, "key vk=0x%02X scan=%u flags=%u extra=%llu", AEvent.Vk, AEvent.Scan,
                AEvent.Flags, static_cast<unsigned long long>(AEvent.Extra));
  return line;
}

TKeyboardRecorder::TKeyboardRecorder(bool ARealSleep) : fRealSleep(ARealSleep) {}

void TKeyboardRecorder::Record(const TKeyCall& ACall, const std::string& ALine) {
  std::lock_guard lock(fLock);
  if (fKeepCalls) {
    fCalls.push_back(ACall);
    fCalls.back().Thread = std::this_thread::get_id();
  }
  // Under the lock, so the lines come out in the order the calls were recorded.
  if (!ALine.empty() && fListener) fListener(ALine);
}

void TKeyboardRecorder::SendEvent(std::uint8_t AVirtualKey, std::uint8_t AScanCode, std::uint32_t AFlags,
                                  std::uintptr_t AExtraInfo) {
  Record({.Kind = TKeyCallKind::Event, .Vk = AVirtualKey, .Scan = AScanCode, .Flags = AFlags, .Extra = AExtraInfo},
         FormatKeyEventLine({AVirtualKey, AScanCode, AFlags, AExtraInfo}));
}

std::uint32_t TKeyboardRecorder::MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) {
  const std::uint32_t result = TUSLayoutKeyboard::MapVirtualKeyW(uCode, uMapType);
  Record({.Kind = TKeyCallKind::MapVirtualKey, .Vk = uCode, .Scan = uMapType, .Value = result});
  return result;
}

std::uint16_t TKeyboardRecorder::VkKeyScanW(char16_t ch) {
  const std::uint16_t result = TUSLayoutKeyboard::VkKeyScanW(ch);
  Record({.Kind = TKeyCallKind::VkKeyScan, .Vk = ch, .Value = result});
  return result;
}

std::int16_t TKeyboardRecorder::GetKeyState(std::int32_t nVirtKey) {
  const std::int16_t result = TUSLayoutKeyboard::GetKeyState(nVirtKey);
  Record({.Kind = TKeyCallKind::GetKeyState,
          .Vk = static_cast<std::uint32_t>(nVirtKey),
          .Value = static_cast<std::uint16_t>(result)});
  return result;
}

bool TKeyboardRecorder::GetKeyboardState(std::uint8_t lpKeyState[256]) {
  TUSLayoutKeyboard::GetKeyboardState(lpKeyState);
  Record({.Kind = TKeyCallKind::GetKeyboardState, .Value = lpKeyState[0x90]});
  return true;
}

bool TKeyboardRecorder::SetKeyboardState(const std::uint8_t lpKeyState[256]) {
  const bool before = NumLockOn();
  TUSLayoutKeyboard::SetKeyboardState(lpKeyState);
  const bool after = NumLockOn();
  std::string line;
  if (before != after) line = after ? "numlock on" : "numlock off";
  Record({.Kind = TKeyCallKind::SetKeyboardState, .Value = lpKeyState[0x90]}, line);
  return true;
}

void TKeyboardRecorder::Sleep(std::uint32_t dwMilliseconds) {
  Record({.Kind = TKeyCallKind::Sleep, .Value = dwMilliseconds});
  if (fRealSleep) std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

void TKeyboardRecorder::SetListener(TKeyLineListener AListener) {
  std::lock_guard lock(fLock);
  fListener = std::move(AListener);
}

void TKeyboardRecorder::SetKeepCalls(bool AKeep) {
  std::lock_guard lock(fLock);
  fKeepCalls = AKeep;
  if (!AKeep) fCalls.clear();
}

std::vector<TKeyCall> TKeyboardRecorder::Calls() const {
  std::lock_guard lock(fLock);
  return fCalls;
}

std::vector<TKeyEvent> TKeyboardRecorder::Events() const {
  std::vector<TKeyEvent> events;
  for (const TKeyCall& c : Calls())
    if (c.Kind == TKeyCallKind::Event)
      events.push_back({static_cast<std::uint8_t>(c.Vk), static_cast<std::uint8_t>(c.Scan), c.Flags, c.Extra});
  return events;
}

std::vector<TKeyCall> TKeyboardRecorder::EventsAndSleeps() const {
  std::vector<TKeyCall> calls;
  for (const TKeyCall& c : Calls())
    if (c.Kind == TKeyCallKind::Event || c.Kind == TKeyCallKind::Sleep) calls.push_back(c);
  return calls;
}

void TKeyboardRecorder::Clear() {
  std::lock_guard lock(fLock);
  fCalls.clear();
}
