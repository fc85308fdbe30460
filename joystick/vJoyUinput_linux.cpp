#include "joystick/vJoyUinput.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kNodePath = "/dev/uinput";

class TUinputSystem : public IUinputSystem {
 public:
  bool NodeWritable() override { return ::access(kNodePath, W_OK) == 0; }
  int OpenNode() override { return ::open(kNodePath, O_WRONLY | O_NONBLOCK | O_CLOEXEC); }
  bool Control(int AFd, unsigned long ARequest, int AArg) override { return ::ioctl(AFd, ARequest, AArg) == 0; }
  void CloseNode(int AFd) override { ::close(AFd); }
};

bool WriteAll(int AFd, const void* AData, std::size_t ASize) {
  const char* data = static_cast<const char*>(AData);
  while (ASize > 0) {
    const ssize_t written = ::write(AFd, data, ASize);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    ASize -= static_cast<std::size_t>(written);
  }
  return true;
}

input_event Event(std::uint16_t AType, std::uint16_t ACode, std::int32_t AValue) {
  input_event event{};
  event.type = AType;
  event.code = ACode;
  event.value = AValue;
  return event;
}

// The events followed by the report that makes readers see them at once.
bool WriteReport(int AFd, std::vector<input_event> AEvents) {
  AEvents.push_back(Event(EV_SYN, SYN_REPORT, 0));
  return WriteAll(AFd, AEvents.data(), AEvents.size() * sizeof(input_event));
}

void AddCentredAxes(std::vector<input_event>& AEvents) {
  AEvents.push_back(Event(EV_ABS, ABS_X, TvJoyUinput::kAxisCentre));
  AEvents.push_back(Event(EV_ABS, ABS_Y, TvJoyUinput::kAxisCentre));
}

// The lock file is opened read-only (enough for flock) and created only when missing, so
// a file that another user created in a shared directory can still be locked.
int OpenLockFile(const std::filesystem::path& APath) {
  int fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) fd = ::open(APath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  return fd;
}

enum class TLockResult { Taken, HeldElsewhere, Failed };

// On Taken, ALockFd holds the lock until it is closed.
TLockResult TakeLock(const std::filesystem::path& APath, int& ALockFd) {
  ALockFd = OpenLockFile(APath);
  if (ALockFd < 0) return TLockResult::Failed;
  if (::flock(ALockFd, LOCK_EX | LOCK_NB) == 0) return TLockResult::Taken;
  const bool held = errno == EWOULDBLOCK;
  ::close(ALockFd);
  ALockFd = -1;
  return held ? TLockResult::HeldElsewhere : TLockResult::Failed;
}

std::filesystem::path DefaultLockDir() {
  const std::filesystem::path runtime = "/run/user/" + std::to_string(::getuid());
  std::error_code ec;
  if (std::filesystem::is_directory(runtime, ec) && ::access(runtime.c_str(), W_OK) == 0) return runtime;
  return "/tmp";
}

}  // namespace

std::unique_ptr<IUinputSystem> CreateUinputSystem() { return std::make_unique<TUinputSystem>(); }

std::unique_ptr<IvJoyInterface> CreateSystemvJoyLibrary() { return std::make_unique<TvJoyUinput>(); }

TvJoyUinput::TvJoyUinput() : TvJoyUinput(CreateUinputSystem(), DefaultLockDir()) {}

TvJoyUinput::TvJoyUinput(std::unique_ptr<IUinputSystem> ASystem, std::filesystem::path ALockDir)
    : FSystem(std::move(ASystem)), FLockDir(std::move(ALockDir)) {}

TvJoyUinput::~TvJoyUinput() {
  std::lock_guard lock(FLock);
  for (auto& [id, device] : FDevices) Destroy(device);
}

std::string TvJoyUinput::DeviceName(std::int32_t ADevice) {
  return "Tapdeck Virtual Joystick " + std::to_string(ADevice);
}

int TvJoyUinput::ButtonCode(std::uint8_t AButton) {
  if (AButton >= 1 && AButton <= 16) return BTN_JOYSTICK + (AButton - 1);
  if (AButton >= 17 && AButton <= kButtonCount) return BTN_TRIGGER_HAPPY1 + (AButton - 17);
  return -1;
}

std::filesystem::path TvJoyUinput::LockPath(std::int32_t ADevice) const {
  return FLockDir / ("tapdeck-vjoy-" + std::to_string(ADevice) + ".lock");
}

std::u16string TvJoyUinput::MissingReason() const {
  // Most panels need keys only; the rest need the access that the package's udev rule gives.
  return FSystem->NodeWritable()
             ? std::u16string()
             : u"no write access to /dev/uinput: install the tapdeck package, or the udev rule in its README, then log "
               u"out and in again; or choose \u201cNo joystick (keys only)\u201d";
}

bool TvJoyUinput::Present(std::int32_t ADevice) {
  if (ADevice < 1 || ADevice > kDeviceCount) return false;
  return Owned(ADevice) != nullptr || FSystem->NodeWritable();
}

TvJoyUinput::TDevice* TvJoyUinput::Owned(std::int32_t ADevice) {
  auto found = FDevices.find(ADevice);
  return found == FDevices.end() ? nullptr : &found->second;
}

bool TvJoyUinput::Create(std::int32_t ADevice, TDevice& ADeviceState) {
  const int fd = FSystem->OpenNode();
  if (fd < 0) return false;
  bool ok = FSystem->Control(fd, UI_SET_EVBIT, EV_KEY) && FSystem->Control(fd, UI_SET_EVBIT, EV_ABS);
  for (int button = 1; ok && button <= kButtonCount; ++button) {
    ok = FSystem->Control(fd, UI_SET_KEYBIT, ButtonCode(static_cast<std::uint8_t>(button)));
  }
  ok = ok && FSystem->Control(fd, UI_SET_ABSBIT, ABS_X) && FSystem->Control(fd, UI_SET_ABSBIT, ABS_Y);
  if (ok) {
    uinput_user_dev description{};
    const std::string name = DeviceName(ADevice);
    std::memcpy(description.name, name.data(), std::min(name.size(), sizeof(description.name) - 1));
    description.id.bustype = BUS_VIRTUAL;
    description.id.product = static_cast<std::uint16_t>(ADevice);
    description.id.version = kVersion;
    for (int axis : {ABS_X, ABS_Y}) {
      description.absmin[axis] = kAxisMin;
      description.absmax[axis] = kAxisMax;
    }
    ok = WriteAll(fd, &description, sizeof(description)) && FSystem->Control(fd, UI_DEV_CREATE, 0);
  }
  if (ok) {
    // A new device reports its axes at zero; games expect a stick at rest to be centred.
    std::vector<input_event> events;
    AddCentredAxes(events);
    ok = WriteReport(fd, std::move(events));
    if (!ok) FSystem->Control(fd, UI_DEV_DESTROY, 0);
  }
  if (!ok) {
    FSystem->CloseNode(fd);
    return false;
  }
  ADeviceState.Fd = fd;
  return true;
}

void TvJoyUinput::Destroy(TDevice& ADevice) {
  FSystem->Control(ADevice.Fd, UI_DEV_DESTROY, 0);
  FSystem->CloseNode(ADevice.Fd);
  ::close(ADevice.LockFd);
}

TvJoyBool TvJoyUinput::DriverMatch(std::uint16_t* ADllVer, std::uint16_t* ADrvVer) {
  if (ADllVer != nullptr) *ADllVer = kVersion;
  if (ADrvVer != nullptr) *ADrvVer = kVersion;
  return 1;
}

VjdStat TvJoyUinput::GetVJDStatus(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  if (!Present(ADevice)) return VJD_STAT_MISS;
  if (Owned(ADevice) != nullptr) return VJD_STAT_OWN;
  int lockFd = -1;
  switch (TakeLock(LockPath(ADevice), lockFd)) {
    case TLockResult::Taken:
      ::close(lockFd);
      return VJD_STAT_FREE;
    case TLockResult::HeldElsewhere:
      return VJD_STAT_BUSY;
    case TLockResult::Failed:
      break;
  }
  return VJD_STAT_UNKN;
}

TvJoyBool TvJoyUinput::AcquireVJD(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  if (!Present(ADevice)) return 0;
  if (Owned(ADevice) != nullptr) return 1;
  TDevice device;
  if (TakeLock(LockPath(ADevice), device.LockFd) != TLockResult::Taken) return 0;
  if (!Create(ADevice, device)) {
    ::close(device.LockFd);
    return 0;
  }
  FDevices.emplace(ADevice, device);
  return 1;
}

void TvJoyUinput::RelinquishVJD(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  if (TDevice* device = Owned(ADevice)) {
    Destroy(*device);
    FDevices.erase(ADevice);
  }
}

TvJoyBool TvJoyUinput::Reset(std::int32_t ADevice, bool ACentreAxes) {
  TDevice* device = Owned(ADevice);
  if (device == nullptr) return 0;
  std::vector<input_event> events;
  for (int button = 1; button <= kButtonCount; ++button) {
    if (!device->Pressed[static_cast<std::size_t>(button)]) continue;
    events.push_back(Event(EV_KEY, static_cast<std::uint16_t>(ButtonCode(static_cast<std::uint8_t>(button))), 0));
  }
  if (ACentreAxes) AddCentredAxes(events);
  if (events.empty()) return 1;
  device->Pressed.fill(false);
  return WriteReport(device->Fd, std::move(events)) ? 1 : 0;
}

TvJoyBool TvJoyUinput::ResetVJD(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  return Reset(ADevice, true);
}

TvJoyBool TvJoyUinput::ResetPovs(std::int32_t ADevice) {
  // The devices have no hat switches.
  std::lock_guard lock(FLock);
  return Owned(ADevice) != nullptr ? 1 : 0;
}

TvJoyBool TvJoyUinput::ResetButtons(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  return Reset(ADevice, false);
}

TvJoyBool TvJoyUinput::SetBtn(TvJoyBool AValue, std::int32_t ADevice, std::uint8_t AButton) {
  std::lock_guard lock(FLock);
  TDevice* device = Owned(ADevice);
  const int code = ButtonCode(AButton);
  if (device == nullptr || code < 0) return 0;
  const bool down = AValue != 0;
  device->Pressed[AButton] = down;
  return WriteReport(device->Fd, {Event(EV_KEY, static_cast<std::uint16_t>(code), down ? 1 : 0)}) ? 1 : 0;
}

TvJoyBool TvJoyUinput::GetVJDAxisExist(std::int32_t ADevice, std::uint32_t AAxis) {
  std::lock_guard lock(FLock);
  return Present(ADevice) && (AAxis == HID_USAGE_X || AAxis == HID_USAGE_Y) ? 1 : 0;
}

std::int32_t TvJoyUinput::GetVJDButtonNumber(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  return Present(ADevice) ? kButtonCount : 0;
}

std::int32_t TvJoyUinput::GetVJDContPovNumber(std::int32_t) { return 0; }

std::int32_t TvJoyUinput::GetVJDDiscPovNumber(std::int32_t) { return 0; }

TvJoyBool TvJoyUinput::vJoyEnabled() {
  std::lock_guard lock(FLock);
  return FSystem->NodeWritable() ? 1 : 0;
}

const char16_t* TvJoyUinput::GetvJoyProductString() { return u"Tapdeck Virtual Joystick"; }

const char16_t* TvJoyUinput::GetvJoyManufacturerString() { return u"Tapdeck"; }

const char16_t* TvJoyUinput::GetvJoySerialNumberString() { return u"1.0"; }
