#pragma once
// The virtual-joystick driver library: its sixteen calls as one interface, and the one
// library this process talks to. The Windows build binds the driver's own library; the
// Linux build offers the same calls on uinput; tests and tapdeck-headless choose a
// simulated one.

#include <cstdint>
#include <string>
#include <memory>

// The library's boolean: zero is false, any other value true.
using TvJoyBool = std::int32_t;

// Device state as GetVJDStatus reports it. The library may report values outside the list.
enum VjdStat : std::int32_t {
  VJD_STAT_OWN = 0,   // this process owns the device
  VJD_STAT_FREE = 1,  // no process owns the device
  VJD_STAT_BUSY = 2,  // another process owns the device
  VJD_STAT_MISS = 3,  // the device is missing
  VJD_STAT_UNKN = 4,  // no definite state
};

// HID Generic Desktop usage codes of the axes.
constexpr std::uint32_t HID_USAGE_X = 0x30;
constexpr std::uint32_t HID_USAGE_Y = 0x31;
constexpr std::uint32_t HID_USAGE_Z = 0x32;
constexpr std::uint32_t HID_USAGE_RX = 0x33;
constexpr std::uint32_t HID_USAGE_RY = 0x34;
constexpr std::uint32_t HID_USAGE_RZ = 0x35;

// Every implementation accepts calls from several threads at once.
class IvJoyInterface {
 public:
  virtual ~IvJoyInterface() = default;

  // Writes the library version, then the driver version; zero when they differ.
  virtual TvJoyBool DriverMatch(std::uint16_t* ADllVer, std::uint16_t* ADrvVer) = 0;
  virtual VjdStat GetVJDStatus(std::int32_t ADevice) = 0;
  // Zero when ownership was not granted.
  virtual TvJoyBool AcquireVJD(std::int32_t ADevice) = 0;
  virtual void RelinquishVJD(std::int32_t ADevice) = 0;
  virtual TvJoyBool ResetVJD(std::int32_t ADevice) = 0;
  virtual TvJoyBool ResetPovs(std::int32_t ADevice) = 0;
  virtual TvJoyBool ResetButtons(std::int32_t ADevice) = 0;
  // AValue -1 (all bits set) presses, 0 releases.
  virtual TvJoyBool SetBtn(TvJoyBool AValue, std::int32_t ADevice, std::uint8_t AButton) = 0;
  virtual TvJoyBool GetVJDAxisExist(std::int32_t ADevice, std::uint32_t AAxis) = 0;
  virtual std::int32_t GetVJDButtonNumber(std::int32_t ADevice) = 0;
  virtual std::int32_t GetVJDContPovNumber(std::int32_t ADevice) = 0;
  virtual std::int32_t GetVJDDiscPovNumber(std::int32_t ADevice) = 0;
  virtual TvJoyBool vJoyEnabled() = 0;
  // NUL-terminated UTF-16 text owned by the library (never freed by the caller), or null.
  virtual const char16_t* GetvJoyProductString() = 0;
  virtual const char16_t* GetvJoyManufacturerString() = 0;
  virtual const char16_t* GetvJoySerialNumberString() = 0;

  // Why every device reads as missing (the driver's library absent, say), for the user; empty
  // when devices are simply present or not.
  virtual std::u16string MissingReason() const { return {}; }
};

// The process-wide library. Unless one was selected before, the first call creates the
// platform's system library. The object lives until the process ends.
IvJoyInterface& vJoyLibrary();

// Makes ALibrary the process-wide library: the injection point of the joystick platform,
// used by tapdeck-headless (before the service starts) and tests. The next GetvJoy creates
// the joystick object on it. A library replaced here is kept alive to the end of the
// process, since callers may still hold it.
void SelectvJoyLibrary(std::unique_ptr<IvJoyInterface> ALibrary);

// The platform's own library: one implementation file per platform.
std::unique_ptr<IvJoyInterface> CreateSystemvJoyLibrary();
