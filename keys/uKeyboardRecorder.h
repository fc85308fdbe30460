#pragma once
// A keyboard that sends nothing and keeps every call in order instead: for tests and for
// `tapdeck-headless --keys record`, which prints each event as a line.

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "keys/uKeyboard.h"

enum class TKeyCallKind { Event, MapVirtualKey, VkKeyScan, GetKeyState, GetKeyboardState, SetKeyboardState, Sleep };

// One call as the recorder saw it; only the fields of its kind are set.
struct TKeyCall {
  TKeyCallKind Kind = TKeyCallKind::Event;
  std::uint32_t Vk = 0;         // Event, MapVirtualKey and GetKeyState: the virtual key; VkKeyScan: the character
  std::uint32_t Scan = 0;       // Event: the scan code; MapVirtualKey: the map type
  std::uint32_t Flags = 0;      // Event
  std::uintptr_t Extra = 0;     // Event
  std::uint32_t Value = 0;      // the result; Sleep: the milliseconds; Get/SetKeyboardState: entry 0x90
  std::thread::id Thread{};     // the calling thread
};

// One keyboard event, as keybd_event received it.
struct TKeyEvent {
  std::uint8_t Vk = 0;
  std::uint8_t Scan = 0;
  std::uint32_t Flags = 0;
  std::uintptr_t Extra = 0;
  bool operator==(const TKeyEvent&) const = default;
};

// Receives "key vk=0x41 scan=30 flags=0 extra=13" for every event and "numlock on" /
// "numlock off" for every Num Lock flip. Called on the worker's thread, one call at a time.
using TKeyLineListener = std::function<void(const std::string& ALine)>;

// The line printed for one event: vk as two upper-case hexadecimal digits, the rest decimal.
std::string FormatKeyEventLine(const TKeyEvent& AEvent);

class TKeyboardRecorder : public TUSLayoutKeyboard {
 public:
  // With ARealSleep false, Sleep is recorded and returns at once (tests with delays).
  explicit TKeyboardRecorder(bool ARealSleep = true);

  std::uint32_t MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) override;
  std::uint16_t VkKeyScanW(char16_t ch) override;
  std::int16_t GetKeyState(std::int32_t nVirtKey) override;
  bool GetKeyboardState(std::uint8_t lpKeyState[256]) override;
  bool SetKeyboardState(const std::uint8_t lpKeyState[256]) override;
  void Sleep(std::uint32_t dwMilliseconds) override;
  std::u16string OutputName() const override { return u"recorder"; }

  void SetListener(TKeyLineListener AListener);
  // Whether calls are kept for Calls() (the default). A runner that only prints the lines
  // turns this off, so a long run does not keep every call it ever saw.
  void SetKeepCalls(bool AKeep);

  // Copies, safe while workers still call in.
  std::vector<TKeyCall> Calls() const;
  std::vector<TKeyEvent> Events() const;
  // The events and sleeps only: what the keyboard input would see, with its pauses.
  std::vector<TKeyCall> EventsAndSleeps() const;
  bool NumLockOn() { return TUSLayoutKeyboard::GetKeyState(0x90) & 1; }
  void Clear();

 private:
  void SendEvent(std::uint8_t AVirtualKey, std::uint8_t AScanCode, std::uint32_t AFlags,
                 std::uintptr_t AExtraInfo) override;
  void Record(const TKeyCall& ACall, const std::string& ALine = {});

  const bool fRealSleep;
  mutable std::mutex fLock;
  std::vector<TKeyCall> fCalls;
  bool fKeepCalls = true;
  TKeyLineListener fListener;
};
