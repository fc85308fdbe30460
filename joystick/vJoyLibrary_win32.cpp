#include "joystick/vJoyLibrary_win32.h"

#include <bit>

#include "base/uSystem_win32.h"

#include <knownfolders.h>
#include <shlobj.h>
#include "base/uText.h"

namespace {

// Binds one entry point; false when the library does not export it.
template <typename F>
bool Bind(HMODULE AModule, const char* AName, F& AEntry) {
  const FARPROC address = ::GetProcAddress(AModule, AName);
  if (address == nullptr) return false;
  AEntry = std::bit_cast<F>(address);
  return true;
}

// The driver's installer keeps the 64-bit library in its folder under Program Files. The
// folder comes from the system, not from an environment variable another program could set.
std::u16string InstalledLibraryPath() {
  PWSTR folder = nullptr;
  std::u16string path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &folder)))
    path = FromWide(folder) + u"\\vJoy\\x64\\" + TvJoyDll::kLibraryName;
  ::CoTaskMemFree(folder);
  return path;
}

// Null when it cannot be loaded; AError then holds the reason. The bare name is looked for
// beside the program and in the system folders only, never in the current directory or on
// PATH, where a planted library would run inside the program.
HMODULE Load(const std::u16string& ALibrary, DWORD& AError) {
  // No error dialog from the system when the library or one of its own imports is absent.
  const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const bool bareName = ALibrary == TvJoyDll::kLibraryName;
  // A library given by its path finds its own imports in its folder and the system folders.
  constexpr DWORD kFromItsFolder = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
  HMODULE module = ::LoadLibraryExW(
      ToWide(ALibrary).c_str(), nullptr,
      bareName ? LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 : kFromItsFolder);
  AError = module ? ERROR_SUCCESS : ::GetLastError();
  if (!module && AError == ERROR_MOD_NOT_FOUND && bareName) {
    const std::u16string installed = InstalledLibraryPath();
    if (!installed.empty() && (module = ::LoadLibraryExW(ToWide(installed).c_str(), nullptr, kFromItsFolder)) == nullptr &&
        ::GetLastError() != ERROR_MOD_NOT_FOUND && ::GetLastError() != ERROR_PATH_NOT_FOUND)
      AError = ::GetLastError();
  }
  ::SetErrorMode(oldMode);
  return module;
}

}  // namespace

TvJoyDll::TvJoyDll(const std::u16string& ALibrary) {
  DWORD error = ERROR_SUCCESS;
  HMODULE module = Load(ALibrary, error);
  if (module == nullptr) {
    FProblem = (error == ERROR_MOD_NOT_FOUND ? ALibrary + u" not found"
                                             : ALibrary + u" cannot be loaded: " + SystemErrorText(error)) +
               u"; install the vJoy driver";
    return;
  }
  TEntryPoints calls{};
  const char* missing = nullptr;
  const auto bind = [&](const char* AName, auto& AEntry) {
    if (!missing && !Bind(module, AName, AEntry)) missing = AName;
  };
  bind("DriverMatch", calls.DriverMatch);
  bind("GetVJDStatus", calls.GetVJDStatus);
  bind("AcquireVJD", calls.AcquireVJD);
  bind("RelinquishVJD", calls.RelinquishVJD);
  bind("ResetVJD", calls.ResetVJD);
  bind("ResetPovs", calls.ResetPovs);
  bind("ResetButtons", calls.ResetButtons);
  bind("SetBtn", calls.SetBtn);
  bind("GetVJDAxisExist", calls.GetVJDAxisExist);
  bind("GetVJDButtonNumber", calls.GetVJDButtonNumber);
  bind("GetVJDContPovNumber", calls.GetVJDContPovNumber);
  bind("GetVJDDiscPovNumber", calls.GetVJDDiscPovNumber);
  bind("vJoyEnabled", calls.vJoyEnabled);
  bind("GetvJoyProductString", calls.GetvJoyProductString);
  bind("GetvJoyManufacturerString", calls.GetvJoyManufacturerString);
  bind("GetvJoySerialNumberString", calls.GetvJoySerialNumberString);
  if (missing) {
    ::FreeLibrary(module);
    FProblem = ALibrary + u" lacks " + AsciiToUtf16(missing) + u"; install the vJoy driver";
    return;
  }
  FModule = module;
  FCalls = calls;
}

TvJoyDll::~TvJoyDll() {
  if (FModule) ::FreeLibrary(static_cast<HMODULE>(FModule));
}

// Without the library the driver cannot disagree: the versions "match" so the program starts,
// and every device reads as missing.
TvJoyBool TvJoyDll::DriverMatch(std::uint16_t* ADllVer, std::uint16_t* ADrvVer) {
  if (Loaded()) return FCalls.DriverMatch(ADllVer, ADrvVer);
  if (ADllVer) *ADllVer = 0;
  if (ADrvVer) *ADrvVer = 0;
  return 1;
}

VjdStat TvJoyDll::GetVJDStatus(std::int32_t ADevice) {
  return Loaded() ? static_cast<VjdStat>(FCalls.GetVJDStatus(static_cast<std::uint32_t>(ADevice))) : VJD_STAT_MISS;
}

TvJoyBool TvJoyDll::AcquireVJD(std::int32_t ADevice) {
  return Loaded() ? FCalls.AcquireVJD(static_cast<std::uint32_t>(ADevice)) : 0;
}

void TvJoyDll::RelinquishVJD(std::int32_t ADevice) {
  if (Loaded()) FCalls.RelinquishVJD(static_cast<std::uint32_t>(ADevice));
}

TvJoyBool TvJoyDll::ResetVJD(std::int32_t ADevice) {
  return Loaded() ? FCalls.ResetVJD(static_cast<std::uint32_t>(ADevice)) : 0;
}

TvJoyBool TvJoyDll::ResetPovs(std::int32_t ADevice) {
  return Loaded() ? FCalls.ResetPovs(static_cast<std::uint32_t>(ADevice)) : 0;
}

TvJoyBool TvJoyDll::ResetButtons(std::int32_t ADevice) {
  return Loaded() ? FCalls.ResetButtons(static_cast<std::uint32_t>(ADevice)) : 0;
}

TvJoyBool TvJoyDll::SetBtn(TvJoyBool AValue, std::int32_t ADevice, std::uint8_t AButton) {
  return Loaded() ? FCalls.SetBtn(AValue, static_cast<std::uint32_t>(ADevice), AButton) : 0;
}

TvJoyBool TvJoyDll::GetVJDAxisExist(std::int32_t ADevice, std::uint32_t AAxis) {
  return Loaded() ? FCalls.GetVJDAxisExist(static_cast<std::uint32_t>(ADevice), AAxis) : 0;
}

std::int32_t TvJoyDll::GetVJDButtonNumber(std::int32_t ADevice) {
  return Loaded() ? FCalls.GetVJDButtonNumber(static_cast<std::uint32_t>(ADevice)) : 0;
}

std::int32_t TvJoyDll::GetVJDContPovNumber(std::int32_t ADevice) {
  return Loaded() ? FCalls.GetVJDContPovNumber(static_cast<std::uint32_t>(ADevice)) : 0;
}

std::int32_t TvJoyDll::GetVJDDiscPovNumber(std::int32_t ADevice) {
  return Loaded() ? FCalls.GetVJDDiscPovNumber(static_cast<std::uint32_t>(ADevice)) : 0;
}

TvJoyBool TvJoyDll::vJoyEnabled() { return Loaded() ? FCalls.vJoyEnabled() : 0; }

const char16_t* TvJoyDll::GetvJoyProductString() {
  return Loaded() ? static_cast<const char16_t*>(FCalls.GetvJoyProductString()) : nullptr;
}

const char16_t* TvJoyDll::GetvJoyManufacturerString() {
  return Loaded() ? static_cast<const char16_t*>(FCalls.GetvJoyManufacturerString()) : nullptr;
}

const char16_t* TvJoyDll::GetvJoySerialNumberString() {
  return Loaded() ? static_cast<const char16_t*>(FCalls.GetvJoySerialNumberString()) : nullptr;
}

std::unique_ptr<IvJoyInterface> CreateSystemvJoyLibrary() { return std::make_unique<TvJoyDll>(); }
