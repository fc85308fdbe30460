#pragma once
// TvJoy: the one virtual-joystick device of the process: version check, ownership, button
// presses. Every property is read anew from the library; nothing is cached.

#include <atomic>
#include <cstdint>
#include <string>

#include "base/uErrors.h"
#include "joystick/vJoyIF.h"

// Version mismatch on creation, or a missing device on Acquire.
class EvJoyException : public Exception {
  using Exception::Exception;
};

class TvJoy {
 public:
  // Uses the process-wide library. Raises EvJoyException when the versions differ.
  TvJoy();
  // Uses ALibrary, which must outlive the object.
  explicit TvJoy(IvJoyInterface& ALibrary);
  // Gives the device up.
  virtual ~TvJoy();
  TvJoy(const TvJoy&) = delete;
  TvJoy& operator=(const TvJoy&) = delete;

  // Takes ownership of the device and resets it; false when it was owned already or
  // ownership was refused. Raises EvJoyException when the device is missing.
  bool Acquire();
  // Resets and gives up the device, if this process owns it.
  void Relinquish();
  bool IsAcquired();
  void ButtonDown(std::uint8_t AButtonNr);
  void ButtonUp(std::uint8_t AButtonNr);

  std::int32_t Id() const { return FId.load(std::memory_order_relaxed); }
  // A different number gives the old device up; the new one is acquired by the next Acquire.
  void SetId(std::int32_t Value);
  // The library this object talks to.
  IvJoyInterface& Library() const { return FLibrary; }

  VjdStat CurrentDeviceStatus();
  bool AvailableAxisX();
  bool AvailableAxisY();
  bool AvailableAxisZ();
  bool AvailableAxisRX();
  bool AvailableAxisRZ();
  std::int32_t AvailableButtons();
  std::int32_t AvailableContPovNumber();
  std::int32_t AvailableDiscPovNumber();
  bool Enabled();
  std::u16string ManufacturerString();
  std::u16string ProductString();
  std::u16string SerialNumberString();

 private:
  void ResetDevice(std::int32_t id);

  IvJoyInterface& FLibrary;
  // Read by connection threads while the UI thread may look at it.
  std::atomic<std::int32_t> FId{1};
};

// The process-wide joystick object, created on first use on the process-wide library
// (vJoyLibrary) and never destroyed. A failed creation stores nothing and raises; the next
// call tries again. Once another library has been selected (SelectvJoyLibrary, before the
// service starts: tapdeck-headless and tests), the next call creates the object anew on that
// library; the one before is kept to the end of the process, as callers may still hold it.
TvJoy& GetvJoy();
