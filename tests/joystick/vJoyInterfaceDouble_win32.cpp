// A stand-in for the vJoy driver's library, so the program's binding (LoadLibraryW and
// GetProcAddress) is exercised without the driver: the sixteen calls over devices 1 to 16,
// present and free, 32 buttons; every call is kept as a line that the tests read back
// through vJoyDoubleCalls. Built once complete and once without ResetPovs.
#include <cstdint>
#include <mutex>
#include <string>

#define EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr std::uint32_t kDevices = 16;
constexpr std::int32_t kOwn = 0, kFree = 1, kMiss = 3;

std::mutex gLock;
std::string gCalls;
// Index 0 is never a device; every device starts free.
std::int32_t gStatus[kDevices + 1] = {kMiss, kFree, kFree, kFree, kFree, kFree, kFree, kFree, kFree,
                                      kFree, kFree, kFree, kFree, kFree, kFree, kFree, kFree};

std::int32_t StatusOf(std::uint32_t ADevice) { return ADevice >= 1 && ADevice <= kDevices ? gStatus[ADevice] : kMiss; }

void SetStatus(std::uint32_t ADevice, std::int32_t AStatus) {
  if (ADevice >= 1 && ADevice <= kDevices) gStatus[ADevice] = AStatus;
}

void Record(const std::string& ALine) { gCalls += ALine + "\n"; }

std::string Args(std::int64_t a) { return " " + std::to_string(a); }

}  // namespace

EXPORT std::int32_t DriverMatch(std::uint16_t* ADllVer, std::uint16_t* ADrvVer) {
  std::lock_guard lock(gLock);
  Record("DriverMatch");
  if (ADllVer) *ADllVer = 0x0219;
  if (ADrvVer) *ADrvVer = 0x0219;
  return 1;
}

EXPORT std::int32_t GetVJDStatus(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("GetVJDStatus" + Args(ADevice));
  return StatusOf(ADevice);
}

EXPORT std::int32_t AcquireVJD(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("AcquireVJD" + Args(ADevice));
  if (StatusOf(ADevice) != kFree) return 0;
  SetStatus(ADevice, kOwn);
  return 1;
}

EXPORT void RelinquishVJD(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("RelinquishVJD" + Args(ADevice));
  if (StatusOf(ADevice) == kOwn) SetStatus(ADevice, kFree);
}

EXPORT std::int32_t ResetVJD(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("ResetVJD" + Args(ADevice));
  return 1;
}

#ifndef VJOY_DOUBLE_WITHOUT_RESETPOVS
EXPORT std::int32_t ResetPovs(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("ResetPovs" + Args(ADevice));
  return 1;
}
#endif

EXPORT std::int32_t ResetButtons(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("ResetButtons" + Args(ADevice));
  return 1;
}

EXPORT std::int32_t SetBtn(std::int32_t AValue, std::uint32_t ADevice, std::uint8_t AButton) {
  std::lock_guard lock(gLock);
  Record("SetBtn" + Args(AValue) + Args(ADevice) + Args(AButton));
  return StatusOf(ADevice) == kOwn ? 1 : 0;
}

EXPORT std::int32_t GetVJDAxisExist(std::uint32_t ADevice, std::uint32_t AAxis) {
  std::lock_guard lock(gLock);
  Record("GetVJDAxisExist" + Args(ADevice) + Args(AAxis));
  return AAxis >= 0x30 && AAxis <= 0x35 ? 1 : 0;
}

EXPORT std::int32_t GetVJDButtonNumber(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("GetVJDButtonNumber" + Args(ADevice));
  return 32;
}

EXPORT std::int32_t GetVJDContPovNumber(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("GetVJDContPovNumber" + Args(ADevice));
  return 1;
}

EXPORT std::int32_t GetVJDDiscPovNumber(std::uint32_t ADevice) {
  std::lock_guard lock(gLock);
  Record("GetVJDDiscPovNumber" + Args(ADevice));
  return 2;
}

EXPORT std::int32_t vJoyEnabled() {
  std::lock_guard lock(gLock);
  Record("vJoyEnabled");
  return 1;
}

EXPORT const void* GetvJoyProductString() { return u"vJoy - Virtual Joystick (double)"; }
EXPORT const void* GetvJoyManufacturerString() { return u"Tapdeck tests"; }
EXPORT const void* GetvJoySerialNumberString() { return nullptr; }

// The test's side: the calls so far, one line each; forgetting them; forcing a device state.
EXPORT const char* vJoyDoubleCalls() {
  std::lock_guard lock(gLock);
  static std::string copy;
  copy = gCalls;
  return copy.c_str();
}

EXPORT void vJoyDoubleClear() {
  std::lock_guard lock(gLock);
  gCalls.clear();
}

EXPORT void vJoyDoubleSetStatus(std::uint32_t ADevice, std::int32_t AStatus) {
  std::lock_guard lock(gLock);
  SetStatus(ADevice, AStatus);
}
