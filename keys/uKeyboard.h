#pragma once
// The keyboard input that key sequences are played into: the seven Windows calls the player
// needs, as one interface, and the process-wide keyboard that every worker uses.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class TKeyboard {
 public:
  virtual ~TKeyboard() = default;

  // Appends one keyboard event (bit 0 of dwFlags: extended key, bit 1: key-up).
  virtual void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                           std::uintptr_t dwExtraInfo) = 0;
  // uMapType 0 (MAPVK_VK_TO_VSC): the scan code of a virtual key, 0 for none.
  virtual std::uint32_t MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) = 0;
  // The key code (low byte the virtual key, high byte the shift state) that types ch on the
  // current layout, 0xFFFF when there is none.
  virtual std::uint16_t VkKeyScanW(char16_t ch) = 0;
  // Bit 15 set while the key is down, bit 0 its toggle state.
  virtual std::int16_t GetKeyState(std::int32_t nVirtKey) = 0;
  virtual bool GetKeyboardState(std::uint8_t lpKeyState[256]) = 0;
  virtual bool SetKeyboardState(const std::uint8_t lpKeyState[256]) = 0;
  // Blocks the calling thread.
  virtual void Sleep(std::uint32_t dwMilliseconds) = 0;

  // Where the events go ("uinput", "XTest", "recorder", "none"), for the window to show.
  virtual std::u16string OutputName() const = 0;
  // False when events are dropped because the system offers no way to send them.
  virtual bool HasOutput() const { return true; }
};

// The 256-byte key-state array kept in the process where the system does not keep one for
// us: bit 7 of an entry is set while the key is down, bit 0 is its toggle state.
class TKeyStateArray {
 public:
  TKeyStateArray() { fState.fill(0); }
  // Tracks a key event: down sets bit 7 (and flips the toggle of the lock keys), up clears it.
  void KeyEvent(std::uint8_t AVirtualKey, bool AUp);
  std::int16_t KeyState(std::int32_t AVirtualKey) const;
  void Get(std::uint8_t AState[256]) const;
  void Set(const std::uint8_t AState[256]);

 private:
  mutable std::mutex fLock;
  std::array<std::uint8_t, 256> fState;
};

// A keyboard with the US-English layout and a key-state array of its own, for platforms that
// offer neither in the form of these calls; subclasses say where the events go.
class TUSLayoutKeyboard : public TKeyboard {
 public:
  // Tracks the key state, then hands the event to SendEvent.
  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags, std::uintptr_t dwExtraInfo) override;
  std::uint32_t MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) override;
  std::uint16_t VkKeyScanW(char16_t ch) override;
  std::int16_t GetKeyState(std::int32_t nVirtKey) override;
  bool GetKeyboardState(std::uint8_t lpKeyState[256]) override;
  bool SetKeyboardState(const std::uint8_t lpKeyState[256]) override;

 protected:
  virtual void SendEvent(std::uint8_t AVirtualKey, std::uint8_t AScanCode, std::uint32_t AFlags,
                         std::uintptr_t AExtraInfo) = 0;

 private:
  TKeyStateArray fKeyState;
};

// The process-wide keyboard. On first use with none selected it is the system's own
// (CreateSystemKeyboard). A worker keeps the keyboard it was created with, so a keyboard
// lives as long as the last worker that uses it; the current one is never destroyed, which
// keeps workers still running at exit safe.
std::shared_ptr<TKeyboard> GetKeyboard();
// Chooses the keyboard for every worker created from now on, and for the hold of a pressed
// joystick button: the injection point of the keyboard platform. tapdeck-headless selects
// the recorder or CreateSystemKeyboard(); tests select recorders of their own.
void SelectKeyboard(std::unique_ptr<TKeyboard> AKeyboard);
// The platform's keyboard input; one implementation file per platform.
std::unique_ptr<TKeyboard> CreateSystemKeyboard();

// For the window: where the process-wide keyboard's events go, and whether they go anywhere.
std::u16string KeyboardOutputName();
bool HasKeyboardOutput();
