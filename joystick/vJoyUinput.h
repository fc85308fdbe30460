#pragma once
// The driver library's sixteen calls on Linux uinput. Devices 1 to 16; each acquired
// device is a uinput joystick of its own, "Tapdeck Virtual Joystick N", with the axes X and
// Y and 32 buttons, created by AcquireVJD and destroyed by RelinquishVJD. A per-device file
// lock marks ownership across processes, so a device that another process holds reads as
// busy. Without a writable uinput node every device reads as missing.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "joystick/vJoyIF.h"

// The uinput node as the library uses it: the device description and the events are
// written to the descriptor that OpenNode returns; the capability bits and the create and
// destroy requests are control requests on it. Tests put a plain file in its place.
class IUinputSystem {
 public:
  virtual ~IUinputSystem() = default;
  // True when the uinput node exists and this process may write to it.
  virtual bool NodeWritable() = 0;
  // A new descriptor on the node, -1 on failure.
  virtual int OpenNode() = 0;
  // One control request with an integer argument (ioctl); false on failure.
  virtual bool Control(int AFd, unsigned long ARequest, int AArg) = 0;
  virtual void CloseNode(int AFd) = 0;
};

// The real node, /dev/uinput.
std::unique_ptr<IUinputSystem> CreateUinputSystem();

class TvJoyUinput : public IvJoyInterface {
 public:
  static constexpr std::int32_t kDeviceCount = 16;
  static constexpr std::int32_t kButtonCount = 32;
  static constexpr std::int32_t kAxisMin = 0;
  static constexpr std::int32_t kAxisMax = 32767;
  static constexpr std::int32_t kAxisCentre = 16384;
  static constexpr std::uint16_t kVersion = 0x0100;

  // The real node, with the lock files in /run/user/<uid> or else /tmp.
  TvJoyUinput();
  TvJoyUinput(std::unique_ptr<IUinputSystem> ASystem, std::filesystem::path ALockDir);
  // Destroys the devices this object created.
  ~TvJoyUinput() override;
  TvJoyUinput(const TvJoyUinput&) = delete;
  TvJoyUinput& operator=(const TvJoyUinput&) = delete;

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
  // Names the node when this process may not write to it.
  std::u16string MissingReason() const override;

  // "Tapdeck Virtual Joystick N".
  static std::string DeviceName(std::int32_t ADevice);
  // The key code of button 1 to 32 (the joystick range, then the extra trigger range);
  // -1 for button 0 and numbers above 32, which the devices ignore.
  static int ButtonCode(std::uint8_t AButton);
  // The file whose lock marks ownership of the device.
  std::filesystem::path LockPath(std::int32_t ADevice) const;

 private:
  struct TDevice {
    int Fd = -1;
    int LockFd = -1;
    std::array<bool, kButtonCount + 1> Pressed{};
  };

  // All with FLock held.
  bool Present(std::int32_t ADevice);
  TDevice* Owned(std::int32_t ADevice);
  bool Create(std::int32_t ADevice, TDevice& ADeviceState);
  void Destroy(TDevice& ADevice);
  // Releases every pressed button and, when asked, centres the axes; one report.
  TvJoyBool Reset(std::int32_t ADevice, bool ACentreAxes);

  std::mutex FLock;
  std::unique_ptr<IUinputSystem> FSystem;
  std::filesystem::path FLockDir;
  std::map<std::int32_t, TDevice> FDevices;
};
