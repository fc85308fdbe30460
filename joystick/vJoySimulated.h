#pragma once
// A simulated driver library for tests and tapdeck-headless: devices 1 to 16, present and
// free, each with 32 buttons and the six axes X, Y, Z, Rx, Ry, Rz. Every call is recorded
// in order; the calls that change a device are also passed to a listener as text.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "joystick/vJoyIF.h"

struct TvJoySimulatedOptions {
  // This device reads as missing (0: none).
  std::int32_t MissingDevice = 0;
  // The driver reports version 0x0216 while the library is 0x0219.
  bool VersionMismatch = false;
};

// One recorded call: its name and its arguments in the library's order.
struct TvJoyCall {
  std::string Name;
  std::vector<std::int64_t> Args;
  // "SetBtn -1 2 5": the name, then each argument in decimal.
  std::string Text() const;
  bool operator==(const TvJoyCall&) const = default;
};

// Receives the text of each call that changes a device; called in the order of the calls,
// with the library's lock held, so it must not call back into the library.
using TvJoyCallListener = std::function<void(const std::string& ALine)>;

class TvJoySimulated : public IvJoyInterface {
 public:
  static constexpr std::int32_t kDeviceCount = 16;
  static constexpr std::int32_t kButtonCount = 32;
  static constexpr std::uint16_t kLibraryVersion = 0x0219;
  static constexpr std::uint16_t kMismatchedDriverVersion = 0x0216;

  explicit TvJoySimulated(TvJoySimulatedOptions AOptions = {});

  TvJoyBool DriverMatch(std::uint16_t* ADllVer, std::uint16_t* ADrvVer) override;
  VjdStat GetVJDStatus(std::int32_t ADevice) override;
  TvJoyBool AcquireVJD(std::int32_t ADevice) override;
  void RelinquishVJD(std::int32_t ADevice) override;
  TvJoyBool ResetVJD(std::int32_t ADevice) override;
  TvJoyBool ResetPovs(std::int32_t ADevice) override;
  TvJoyBool ResetButtons(std::int32_t ADevice) override;
  TvJoyBool SetBtn(TvJoyBool AValue, std::int32_t ADevice, std::uint8_t AButton) override;
  TvJoyBool GetVJDAxisExist(std::int32_t ADevice, std::uint32_t AAxis) override;
  std::int32_t GetVJDButtonNumber(std::int32_t ADevice) override;
  std::int32_t GetVJDContPovNumber(std::int32_t ADevice) override;
  std::int32_t GetVJDDiscPovNumber(std::int32_t ADevice) override;
  TvJoyBool vJoyEnabled() override;
  const char16_t* GetvJoyProductString() override;
  const char16_t* GetvJoyManufacturerString() override;
  const char16_t* GetvJoySerialNumberString() override;

  // Every call so far, in order.
  std::vector<TvJoyCall> Calls() const;
  void ClearCalls();
  void SetListener(TvJoyCallListener AListener);
  // Whether calls are kept for Calls() (the default). A runner that only prints the lines
  // turns this off, so a long run does not keep every call it ever saw.
  void SetKeepCalls(bool AKeep);

  // What a driver and other processes could do to the devices.
  void SetVersions(std::uint16_t ADllVersion, std::uint16_t ADriverVersion);
  // Forces a device's state: VJD_STAT_BUSY as if another process owned it, VJD_STAT_UNKN,
  // VJD_STAT_MISS, or any value the library might report. Pressed buttons are kept.
  void SetDeviceStatus(std::int32_t ADevice, VjdStat AStatus);
  // AcquireVJD refuses ownership of free devices while set.
  void SetAcquireRefused(bool ARefused);
  void SetAxisExists(std::int32_t ADevice, std::uint32_t AAxis, bool AExists);
  void SetButtonNumber(std::int32_t ADevice, std::int32_t ACount);
  void SetPovNumbers(std::int32_t ADevice, std::int32_t AContinuous, std::int32_t ADiscrete);
  void SetEnabled(bool AEnabled);
  // Texts the string calls return; std::nullopt makes the call return null.
  void SetStrings(std::optional<std::u16string> AProduct, std::optional<std::u16string> AManufacturer,
                  std::optional<std::u16string> ASerialNumber);

  // The button states the device keeps (buttons 1 to its count).
  bool ButtonPressed(std::int32_t ADevice, std::uint8_t AButton) const;
  std::vector<std::uint8_t> PressedButtons(std::int32_t ADevice) const;

 private:
  struct TDevice {
    VjdStat Status = VJD_STAT_FREE;
    std::int32_t Buttons = kButtonCount;
    std::int32_t ContPovs = 0;
    std::int32_t DiscPovs = 0;
    std::set<std::uint32_t> Axes{HID_USAGE_X, HID_USAGE_Y, HID_USAGE_Z, HID_USAGE_RX, HID_USAGE_RY, HID_USAGE_RZ};
    std::array<bool, 256> Pressed{};
  };

  // Both with FLock held.
  void Record(std::string AName, std::vector<std::int64_t> AArgs, bool AChangesState);
  TDevice* Find(std::int32_t ADevice);
  const TDevice* Find(std::int32_t ADevice) const;
  TvJoyBool ReleaseAll(std::int32_t ADevice);
  const char16_t* Text(const std::optional<std::u16string>& AText) const;

  mutable std::mutex FLock;
  std::array<TDevice, kDeviceCount> FDevices;
  std::vector<TvJoyCall> FCalls;
  bool FKeepCalls = true;
  TvJoyCallListener FListener;
  std::uint16_t FDllVersion = kLibraryVersion;
  std::uint16_t FDriverVersion = kLibraryVersion;
  bool FAcquireRefused = false;
  bool FEnabled = true;
  std::optional<std::u16string> FProduct = u"Tapdeck Simulated Joystick";
  std::optional<std::u16string> FManufacturer = u"Tapdeck";
  std::optional<std::u16string> FSerialNumber = u"SIM-0001";
};
