#include "joystick/vJoySimulated.h"

std::string TvJoyCall::Text() const {
  std::string text = Name;
  for (std::int64_t arg : Args) text += " " + std::to_string(arg);
  return text;
}

TvJoySimulated::TvJoySimulated(TvJoySimulatedOptions AOptions) {
  if (TDevice* device = Find(AOptions.MissingDevice)) device->Status = VJD_STAT_MISS;
  if (AOptions.VersionMismatch) FDriverVersion = kMismatchedDriverVersion;
}

void TvJoySimulated::Record(std::string AName, std::vector<std::int64_t> AArgs, bool AChangesState) {
  TvJoyCall call{std::move(AName), std::move(AArgs)};
  if (AChangesState && FListener) FListener(call.Text());
  if (FKeepCalls) FCalls.push_back(std::move(call));
}

TvJoySimulated::TDevice* TvJoySimulated::Find(std::int32_t ADevice) {
  if (ADevice < 1 || ADevice > kDeviceCount) return nullptr;
  return &FDevices[static_cast<std::size_t>(ADevice - 1)];
}

const TvJoySimulated::TDevice* TvJoySimulated::Find(std::int32_t ADevice) const {
  return const_cast<TvJoySimulated*>(this)->Find(ADevice);
}

TvJoyBool TvJoySimulated::DriverMatch(std::uint16_t* ADllVer, std::uint16_t* ADrvVer) {
  std::lock_guard lock(FLock);
  Record("DriverMatch", {}, false);
  if (ADllVer != nullptr) *ADllVer = FDllVersion;
  if (ADrvVer != nullptr) *ADrvVer = FDriverVersion;
  return FDllVersion == FDriverVersion ? 1 : 0;
}

VjdStat TvJoySimulated::GetVJDStatus(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("GetVJDStatus", {ADevice}, false);
  const TDevice* device = Find(ADevice);
  return device == nullptr ? VJD_STAT_MISS : device->Status;
}

TvJoyBool TvJoySimulated::AcquireVJD(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("AcquireVJD", {ADevice}, true);
  TDevice* device = Find(ADevice);
  if (device == nullptr) return 0;
  if (device->Status == VJD_STAT_FREE && !FAcquireRefused) device->Status = VJD_STAT_OWN;
  return device->Status == VJD_STAT_OWN ? 1 : 0;
}

void TvJoySimulated::RelinquishVJD(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("RelinquishVJD", {ADevice}, true);
  TDevice* device = Find(ADevice);
  if (device != nullptr && device->Status == VJD_STAT_OWN) device->Status = VJD_STAT_FREE;
}

TvJoyBool TvJoySimulated::ReleaseAll(std::int32_t ADevice) {
  TDevice* device = Find(ADevice);
  if (device == nullptr || device->Status != VJD_STAT_OWN) return 0;
  device->Pressed.fill(false);
  return 1;
}

TvJoyBool TvJoySimulated::ResetVJD(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("ResetVJD", {ADevice}, true);
  return ReleaseAll(ADevice);
}

TvJoyBool TvJoySimulated::ResetPovs(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("ResetPovs", {ADevice}, true);
  const TDevice* device = Find(ADevice);
  return device != nullptr && device->Status == VJD_STAT_OWN ? 1 : 0;
}

TvJoyBool TvJoySimulated::ResetButtons(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("ResetButtons", {ADevice}, true);
  return ReleaseAll(ADevice);
}

TvJoyBool TvJoySimulated::SetBtn(TvJoyBool AValue, std::int32_t ADevice, std::uint8_t AButton) {
  std::lock_guard lock(FLock);
  Record("SetBtn", {AValue, ADevice, AButton}, true);
  TDevice* device = Find(ADevice);
  if (device == nullptr || device->Status != VJD_STAT_OWN || AButton < 1 || AButton > device->Buttons) return 0;
  device->Pressed[AButton] = AValue != 0;
  return 1;
}

TvJoyBool TvJoySimulated::GetVJDAxisExist(std::int32_t ADevice, std::uint32_t AAxis) {
  std::lock_guard lock(FLock);
  Record("GetVJDAxisExist", {ADevice, AAxis}, false);
  const TDevice* device = Find(ADevice);
  return device != nullptr && device->Status != VJD_STAT_MISS && device->Axes.contains(AAxis) ? 1 : 0;
}

std::int32_t TvJoySimulated::GetVJDButtonNumber(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("GetVJDButtonNumber", {ADevice}, false);
  const TDevice* device = Find(ADevice);
  return device != nullptr && device->Status != VJD_STAT_MISS ? device->Buttons : 0;
}

std::int32_t TvJoySimulated::GetVJDContPovNumber(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("GetVJDContPovNumber", {ADevice}, false);
  const TDevice* device = Find(ADevice);
  return device != nullptr && device->Status != VJD_STAT_MISS ? device->ContPovs : 0;
}

std::int32_t TvJoySimulated::GetVJDDiscPovNumber(std::int32_t ADevice) {
  std::lock_guard lock(FLock);
  Record("GetVJDDiscPovNumber", {ADevice}, false);
  const TDevice* device = Find(ADevice);
  return device != nullptr && device->Status != VJD_STAT_MISS ? device->DiscPovs : 0;
}

TvJoyBool TvJoySimulated::vJoyEnabled() {
  std::lock_guard lock(FLock);
  Record("vJoyEnabled", {}, false);
  return FEnabled ? 1 : 0;
}

const char16_t* TvJoySimulated::Text(const std::optional<std::u16string>& AText) const {
  return AText ? AText->c_str() : nullptr;
}

const char16_t* TvJoySimulated::GetvJoyProductString() {
  std::lock_guard lock(FLock);
  Record("GetvJoyProductString", {}, false);
  return Text(FProduct);
}

const char16_t* TvJoySimulated::GetvJoyManufacturerString() {
  std::lock_guard lock(FLock);
  Record("GetvJoyManufacturerString", {}, false);
  return Text(FManufacturer);
}

const char16_t* TvJoySimulated::GetvJoySerialNumberString() {
  std::lock_guard lock(FLock);
  Record("GetvJoySerialNumberString", {}, false);
  return Text(FSerialNumber);
}

std::vector<TvJoyCall> TvJoySimulated::Calls() const {
  std::lock_guard lock(FLock);
  return FCalls;
}

void TvJoySimulated::ClearCalls() {
  std::lock_guard lock(FLock);
  FCalls.clear();
}

void TvJoySimulated::SetListener(TvJoyCallListener AListener) {
  std::lock_guard lock(FLock);
  FListener = std::move(AListener);
}

void TvJoySimulated::SetKeepCalls(bool AKeep) {
  std::lock_guard lock(FLock);
  FKeepCalls = AKeep;
  if (!AKeep) FCalls.clear();
}

void TvJoySimulated::SetVersions(std::uint16_t ADllVersion, std::uint16_t ADriverVersion) {
  std::lock_guard lock(FLock);
  FDllVersion = ADllVersion;
  FDriverVersion = ADriverVersion;
}

void TvJoySimulated::SetDeviceStatus(std::int32_t ADevice, VjdStat AStatus) {
  std::lock_guard lock(FLock);
  if (TDevice* device = Find(ADevice)) device->Status = AStatus;
}

void TvJoySimulated::SetAcquireRefused(bool ARefused) {
  std::lock_guard lock(FLock);
  FAcquireRefused = ARefused;
}

void TvJoySimulated::SetAxisExists(std::int32_t ADevice, std::uint32_t AAxis, bool AExists) {
  std::lock_guard lock(FLock);
  TDevice* device = Find(ADevice);
  if (device == nullptr) return;
  if (AExists) {
    device->Axes.insert(AAxis);
  } else {
    device->Axes.erase(AAxis);
  }
}

void TvJoySimulated::SetButtonNumber(std::int32_t ADevice, std::int32_t ACount) {
  std::lock_guard lock(FLock);
  if (TDevice* device = Find(ADevice)) device->Buttons = ACount;
}

void TvJoySimulated::SetPovNumbers(std::int32_t ADevice, std::int32_t AContinuous, std::int32_t ADiscrete) {
  std::lock_guard lock(FLock);
  if (TDevice* device = Find(ADevice)) {
    device->ContPovs = AContinuous;
    device->DiscPovs = ADiscrete;
  }
}

void TvJoySimulated::SetEnabled(bool AEnabled) {
  std::lock_guard lock(FLock);
  FEnabled = AEnabled;
}

void TvJoySimulated::SetStrings(std::optional<std::u16string> AProduct, std::optional<std::u16string> AManufacturer,
                                std::optional<std::u16string> ASerialNumber) {
  std::lock_guard lock(FLock);
  FProduct = std::move(AProduct);
  FManufacturer = std::move(AManufacturer);
  FSerialNumber = std::move(ASerialNumber);
}

bool TvJoySimulated::ButtonPressed(std::int32_t ADevice, std::uint8_t AButton) const {
  std::lock_guard lock(FLock);
  const TDevice* device = Find(ADevice);
  return device != nullptr && device->Pressed[AButton];
}

std::vector<std::uint8_t> TvJoySimulated::PressedButtons(std::int32_t ADevice) const {
  std::lock_guard lock(FLock);
  std::vector<std::uint8_t> pressed;
  if (const TDevice* device = Find(ADevice)) {
    for (std::size_t button = 0; button < device->Pressed.size(); ++button) {
      if (device->Pressed[button]) pressed.push_back(static_cast<std::uint8_t>(button));
    }
  }
  return pressed;
}
