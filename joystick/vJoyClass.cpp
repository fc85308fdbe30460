#include "joystick/vJoyClass.h"

#include <memory>
#include <mutex>
#include <vector>

#include "base/uText.h"

namespace {

std::u16string CopyText(const char16_t* AText) { return AText == nullptr ? std::u16string() : std::u16string(AText); }

}  // namespace

TvJoy::TvJoy() : TvJoy(vJoyLibrary()) {}

TvJoy::TvJoy(IvJoyInterface& ALibrary) : FLibrary(ALibrary) {
  std::uint16_t dllVersion = 0;
  std::uint16_t driverVersion = 0;
  if (FLibrary.DriverMatch(&dllVersion, &driverVersion) == 0) {
    throw EvJoyException(u"Version of Driver (" + IntToStr(driverVersion) + u") does NOT match DLL Version (" +
                         IntToStr(dllVersion) + u")");
  }
}

TvJoy::~TvJoy() { Relinquish(); }

bool TvJoy::Acquire() {
  const std::int32_t id = Id();
  const VjdStat status = FLibrary.GetVJDStatus(id);
  if (status == VJD_STAT_MISS) {
    std::u16string message = u"vJoy Device " + IntToStr(id) + u" is missing";
    if (const std::u16string reason = FLibrary.MissingReason(); !reason.empty()) message += u" (" + reason + u")";
    throw EvJoyException(message);
  }
  if (status == VJD_STAT_OWN) return false;
  if (status == VJD_STAT_FREE && FLibrary.AcquireVJD(id) == 0) return false;
  // Busy and unknown devices are reset as well, without asking for ownership.
  ResetDevice(id);
  return true;
}

void TvJoy::Relinquish() {
  const std::int32_t id = Id();
  if (FLibrary.GetVJDStatus(id) != VJD_STAT_OWN) return;
  ResetDevice(id);
  FLibrary.RelinquishVJD(id);
}

void TvJoy::ResetDevice(std::int32_t id) {
  FLibrary.ResetVJD(id);
  FLibrary.ResetPovs(id);
  FLibrary.ResetButtons(id);
}

bool TvJoy::IsAcquired() { return CurrentDeviceStatus() == VJD_STAT_OWN; }

void TvJoy::ButtonDown(std::uint8_t AButtonNr) { FLibrary.SetBtn(-1, Id(), AButtonNr); }

void TvJoy::ButtonUp(std::uint8_t AButtonNr) { FLibrary.SetBtn(0, Id(), AButtonNr); }

void TvJoy::SetId(std::int32_t Value) {
  if (Value == Id()) return;
  Relinquish();
  FId.store(Value, std::memory_order_relaxed);
}

VjdStat TvJoy::CurrentDeviceStatus() { return FLibrary.GetVJDStatus(Id()); }
bool TvJoy::AvailableAxisX() { return FLibrary.GetVJDAxisExist(Id(), HID_USAGE_X) != 0; }
bool TvJoy::AvailableAxisY() { return FLibrary.GetVJDAxisExist(Id(), HID_USAGE_Y) != 0; }
bool TvJoy::AvailableAxisZ() { return FLibrary.GetVJDAxisExist(Id(), HID_USAGE_Z) != 0; }
bool TvJoy::AvailableAxisRX() { return FLibrary.GetVJDAxisExist(Id(), HID_USAGE_RX) != 0; }
bool TvJoy::AvailableAxisRZ() { return FLibrary.GetVJDAxisExist(Id(), HID_USAGE_RZ) != 0; }
std::int32_t TvJoy::AvailableButtons() { return FLibrary.GetVJDButtonNumber(Id()); }
std::int32_t TvJoy::AvailableContPovNumber() { return FLibrary.GetVJDContPovNumber(Id()); }
std::int32_t TvJoy::AvailableDiscPovNumber() { return FLibrary.GetVJDDiscPovNumber(Id()); }
bool TvJoy::Enabled() { return FLibrary.vJoyEnabled() != 0; }
std::u16string TvJoy::ManufacturerString() { return CopyText(FLibrary.GetvJoyManufacturerString()); }
std::u16string TvJoy::ProductString() { return CopyText(FLibrary.GetvJoyProductString()); }
std::u16string TvJoy::SerialNumberString() { return CopyText(FLibrary.GetvJoySerialNumberString()); }

namespace {

// Reachable to the end of the process: no joystick object is ever destroyed.
std::mutex gvJoyLock;
std::atomic<TvJoy*> gvJoy{nullptr};
std::vector<TvJoy*>* gSetAside = nullptr;  // objects on libraries replaced since

}  // namespace

TvJoy& GetvJoy() {
  IvJoyInterface& library = vJoyLibrary();
  if (TvJoy* joy = gvJoy.load(std::memory_order_acquire); joy && &joy->Library() == &library) return *joy;
  // Creation is serialised: after a failed first creation, connection threads may be the
  // ones to try again, several at once.
  std::lock_guard lock(gvJoyLock);
  TvJoy* previous = gvJoy.load(std::memory_order_relaxed);
  if (previous && &previous->Library() == &library) return *previous;
  auto joy = std::make_unique<TvJoy>(library);
  if (previous) {
    if (!gSetAside) gSetAside = new std::vector<TvJoy*>;
    gSetAside->push_back(previous);
  }
  gvJoy.store(joy.get(), std::memory_order_release);
  return *joy.release();
}
