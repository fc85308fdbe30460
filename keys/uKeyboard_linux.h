#pragma once
// The Linux keyboard: events go to a uinput virtual keyboard when /dev/uinput can be
// written, else to the X display through XTest, else nowhere. The layout is the US-English
// table and the key-state array is kept in the process.

#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "keys/uKeyboard.h"

// Where key presses go, by Windows virtual-key code.
class TKeyOutput {
 public:
  virtual ~TKeyOutput() = default;
  virtual void Key(std::uint8_t AVirtualKey, bool AUp) = 0;
  virtual std::u16string Name() const = 0;
};

// The evdev key code (linux/input-event-codes.h) of a virtual key, 0 when it has none.
std::uint16_t VKeyToEvdev(std::uint8_t AVirtualKey);
// The X keysym of a virtual key, 0 (NoSymbol) when it has none.
std::uint32_t VKeyToKeySym(std::uint8_t AVirtualKey);
// Every evdev code of the table, for announcing the keys a uinput device can send.
std::span<const std::uint16_t> EvdevKeyCodes();

// Writes each key press as an EV_KEY event and a SYN_REPORT to a uinput file descriptor.
class TUinputKeyOutput : public TKeyOutput {
 public:
  // Creates the device "Tapdeck Virtual Keyboard"; null when /dev/uinput cannot be used.
  static std::unique_ptr<TUinputKeyOutput> Open();
  // Writes to AFd, which it does not own (tests use a pipe).
  explicit TUinputKeyOutput(int AFd) : fFd(AFd) {}
  ~TUinputKeyOutput() override;
  TUinputKeyOutput(const TUinputKeyOutput&) = delete;
  TUinputKeyOutput& operator=(const TUinputKeyOutput&) = delete;

  void Key(std::uint8_t AVirtualKey, bool AUp) override;
  std::u16string Name() const override { return u"uinput"; }

 private:
  std::mutex fLock;  // one event pair at a time, so workers' pairs do not interleave
  int fFd;
  bool fOwnsDevice = false;
};

struct _XDisplay;

// Sends key presses to an X display as XTest fake key events.
class TXTestKeyOutput : public TKeyOutput {
 public:
  // ADisplayName null means $DISPLAY. Null when the display cannot be opened or has no XTest.
  static std::unique_ptr<TXTestKeyOutput> Open(const char* ADisplayName);
  ~TXTestKeyOutput() override;
  TXTestKeyOutput(const TXTestKeyOutput&) = delete;
  TXTestKeyOutput& operator=(const TXTestKeyOutput&) = delete;

  void Key(std::uint8_t AVirtualKey, bool AUp) override;
  std::u16string Name() const override { return u"XTest"; }

 private:
  explicit TXTestKeyOutput(_XDisplay* ADisplay) : fDisplay(ADisplay) {}
  std::mutex fLock;  // Xlib connections are not shared between threads without one
  _XDisplay* fDisplay;
};

class TLinuxKeyboard : public TUSLayoutKeyboard {
 public:
  // A null output drops every event.
  explicit TLinuxKeyboard(std::unique_ptr<TKeyOutput> AOutput) : fOutput(std::move(AOutput)) {}

  void Sleep(std::uint32_t dwMilliseconds) override;
  std::u16string OutputName() const override { return fOutput ? fOutput->Name() : u"none"; }
  bool HasOutput() const override { return fOutput != nullptr; }

 protected:
  void SendEvent(std::uint8_t AVirtualKey, std::uint8_t AScanCode, std::uint32_t AFlags,
                 std::uintptr_t AExtraInfo) override;

 private:
  std::unique_ptr<TKeyOutput> fOutput;
};
