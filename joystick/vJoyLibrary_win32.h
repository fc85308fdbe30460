#pragma once
// The vJoy driver's own library, vJoyInterface.dll, bound at run time. When the library is
// absent or lacks one of the sixteen calls the program still starts: every device then reads
// as missing, and Problem() says what is wrong.

#include <string>

#include "joystick/vJoyIF.h"

class TvJoyDll : public IvJoyInterface {
 public:
  static constexpr const char16_t* kLibraryName = u"vJoyInterface.dll";

  // Loads ALibrary: the bare name is looked for beside the program, then in the system
  // folders, then in the vJoy driver's folder under Program Files; never in the current
  // directory or on PATH. A path is taken as it is.
  explicit TvJoyDll(const std::u16string& ALibrary = kLibraryName);
  ~TvJoyDll() override;
  TvJoyDll(const TvJoyDll&) = delete;
  TvJoyDll& operator=(const TvJoyDll&) = delete;

  bool Loaded() const { return FModule != nullptr; }
  // Empty when bound; otherwise which library is missing or which call it lacks, and the remedy.
  const std::u16string& Problem() const { return FProblem; }

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
  std::u16string MissingReason() const override { return FProblem; }

  // The entry points, as the library exports them (C calling convention, 32-bit ints).
  struct TEntryPoints {
    std::int32_t (*DriverMatch)(std::uint16_t*, std::uint16_t*);
    std::int32_t (*GetVJDStatus)(std::uint32_t);
    std::int32_t (*AcquireVJD)(std::uint32_t);
    void (*RelinquishVJD)(std::uint32_t);
    std::int32_t (*ResetVJD)(std::uint32_t);
    std::int32_t (*ResetPovs)(std::uint32_t);
    std::int32_t (*ResetButtons)(std::uint32_t);
    std::int32_t (*SetBtn)(std::int32_t, std::uint32_t, std::uint8_t);
    std::int32_t (*GetVJDAxisExist)(std::uint32_t, std::uint32_t);
    std::int32_t (*GetVJDButtonNumber)(std::uint32_t);
    std::int32_t (*GetVJDContPovNumber)(std::uint32_t);
    std::int32_t (*GetVJDDiscPovNumber)(std::uint32_t);
    std::int32_t (*vJoyEnabled)();
    void* (*GetvJoyProductString)();
    void* (*GetvJoyManufacturerString)();
    void* (*GetvJoySerialNumberString)();
  };

 private:
  void* FModule = nullptr;  // the library's HMODULE; null when not bound
  TEntryPoints FCalls{};
  std::u16string FProblem;
};
