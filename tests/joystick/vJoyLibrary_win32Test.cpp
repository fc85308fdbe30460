// The binding of the driver's library through LoadLibraryExW and GetProcAddress, against the
// test doubles built beside the tests (one complete, one without ResetPovs), and without any.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/uFiles.h"
#include "base/uSystem_win32.h"
#include "base/uText.h"
#include "joystick/vJoyClass.h"
#include "joystick/vJoyLibrary_win32.h"

namespace {

std::u16string DoublePath(const char* AFolder) {
  return ExtractFilePath(ExecutablePath()) + AsciiToUtf16(AFolder) + u"\\vJoyInterface.dll";
}

std::string MissingMessage(TvJoy& AJoy) {
  try {
    AJoy.Acquire();
  } catch (const EvJoyException& e) {
    return Utf16ToUtf8(e.Message());
  }
  return "(no EvJoyException)";
}

// The double's own calls for the test: what it recorded, and forcing a device's state.
class TDoubleControl {
 public:
  explicit TDoubleControl(const std::u16string& APath) : FModule(::LoadLibraryW(ToWide(APath).c_str())) {
    if (!FModule) return;
    FCalls = std::bit_cast<decltype(FCalls)>(::GetProcAddress(FModule, "vJoyDoubleCalls"));
    FClear = std::bit_cast<decltype(FClear)>(::GetProcAddress(FModule, "vJoyDoubleClear"));
    FSetStatus = std::bit_cast<decltype(FSetStatus)>(::GetProcAddress(FModule, "vJoyDoubleSetStatus"));
  }
  ~TDoubleControl() {
    if (FModule) ::FreeLibrary(FModule);
  }
  bool Ok() const { return FCalls && FClear && FSetStatus; }
  std::string Calls() const { return FCalls(); }
  void Clear() const { FClear(); }
  void SetStatus(std::uint32_t ADevice, VjdStat AStatus) const { FSetStatus(ADevice, AStatus); }

 private:
  HMODULE FModule;
  const char* (*FCalls)() = nullptr;
  void (*FClear)() = nullptr;
  void (*FSetStatus)(std::uint32_t, std::int32_t) = nullptr;
};

TEST(vJoyDll, WithoutTheLibraryEveryDeviceIsMissingAndTheProgramStillStarts) {
  TvJoyDll library;
  if (library.Loaded()) GTEST_SKIP() << "the vJoy driver's library is installed on this system";
  EXPECT_EQ(library.Problem(), u"vJoyInterface.dll not found; install the vJoy driver");
  std::uint16_t dll = 1, driver = 1;
  EXPECT_NE(library.DriverMatch(&dll, &driver), 0);  // no version error at start-up
  for (std::int32_t device = 1; device <= 16; ++device) EXPECT_EQ(library.GetVJDStatus(device), VJD_STAT_MISS);
  EXPECT_EQ(library.AcquireVJD(2), 0);
  EXPECT_EQ(library.GetvJoyProductString(), nullptr);

  TvJoy joy(library);
  joy.SetId(2);
  EXPECT_EQ(MissingMessage(joy), "vJoy Device 2 is missing (vJoyInterface.dll not found; install the vJoy driver)");
  EXPECT_FALSE(joy.IsAcquired());
  joy.ButtonDown(5);  // nothing to press, and no failure
  EXPECT_EQ(joy.ProductString(), u"");
}

TEST(vJoyDll, NeverLoadsALibraryFromTheCurrentDirectoryOrFromPath) {
  if (TvJoyDll().Loaded()) GTEST_SKIP() << "the vJoy driver's library is installed on this system";
  // A complete library planted where a careless search would find it.
  const std::u16string folder = ExtractFilePath(DoublePath("vjoy_double"));
  wchar_t oldDirectory[MAX_PATH];
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, oldDirectory), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(ToWide(folder).c_str()));
  const std::wstring oldPath = _wgetenv(L"PATH") ? _wgetenv(L"PATH") : L"";
  ::SetEnvironmentVariableW(L"PATH", (ToWide(folder) + L";" + oldPath).c_str());
  const TvJoyDll library;
  ::SetEnvironmentVariableW(L"PATH", oldPath.c_str());
  ::SetCurrentDirectoryW(oldDirectory);
  EXPECT_FALSE(library.Loaded());
  EXPECT_EQ(library.Problem(), u"vJoyInterface.dll not found; install the vJoy driver");
}

TEST(vJoyDll, ALibraryWithoutOneCallIsNotUsedAtAll) {
  const std::u16string path = DoublePath("vjoy_double_incomplete");
  TvJoyDll library(path);
  EXPECT_FALSE(library.Loaded());
  EXPECT_EQ(library.Problem(), path + u" lacks ResetPovs; install the vJoy driver");
  EXPECT_EQ(library.GetVJDStatus(1), VJD_STAT_MISS);
  TvJoyDll absent(ExtractFilePath(ExecutablePath()) + u"no such folder\\vJoyInterface.dll");
  EXPECT_FALSE(absent.Loaded());
  EXPECT_NE(absent.Problem().find(u"not found"), std::u16string::npos);
}

TEST(vJoyDll, EveryCallReachesTheLibraryWithItsArguments) {
  const std::u16string path = DoublePath("vjoy_double");
  TvJoyDll library(path);
  ASSERT_TRUE(library.Loaded()) << Utf16ToUtf8(library.Problem());
  EXPECT_EQ(library.Problem(), u"");
  TDoubleControl control(path);
  ASSERT_TRUE(control.Ok());
  control.SetStatus(2, VJD_STAT_FREE);
  control.Clear();
  {
    TvJoy joy(library);
    joy.SetId(2);
    EXPECT_TRUE(joy.Acquire());
    EXPECT_TRUE(joy.IsAcquired());
    joy.ButtonDown(5);
    joy.ButtonUp(255);
    EXPECT_TRUE(joy.AvailableAxisRZ());
    EXPECT_EQ(joy.AvailableButtons(), 32);
    EXPECT_EQ(joy.AvailableContPovNumber(), 1);
    EXPECT_EQ(joy.AvailableDiscPovNumber(), 2);
    EXPECT_TRUE(joy.Enabled());
    EXPECT_EQ(joy.ProductString(), u"vJoy - Virtual Joystick (double)");
    EXPECT_EQ(joy.ManufacturerString(), u"Tapdeck tests");
    EXPECT_EQ(joy.SerialNumberString(), u"");
  }  // gives the device up
  EXPECT_EQ(control.Calls(),
            "DriverMatch\n"
            "GetVJDStatus 1\n"  // SetId gives device 1 up if owned: it is not
            "GetVJDStatus 2\nAcquireVJD 2\nResetVJD 2\nResetPovs 2\nResetButtons 2\n"
            "GetVJDStatus 2\n"
            "SetBtn -1 2 5\nSetBtn 0 2 255\n"
            "GetVJDAxisExist 2 53\nGetVJDButtonNumber 2\nGetVJDContPovNumber 2\nGetVJDDiscPovNumber 2\n"
            "vJoyEnabled\n"
            "GetVJDStatus 2\nResetVJD 2\nResetPovs 2\nResetButtons 2\nRelinquishVJD 2\n");
  std::uint16_t dll = 0, driver = 0;
  EXPECT_NE(library.DriverMatch(&dll, &driver), 0);
  EXPECT_EQ(dll, 0x0219);
  EXPECT_EQ(driver, 0x0219);
}

TEST(vJoyDll, AMissingDeviceOfTheLibraryIsReportedByNumber) {
  const std::u16string path = DoublePath("vjoy_double");
  TvJoyDll library(path);
  ASSERT_TRUE(library.Loaded()) << Utf16ToUtf8(library.Problem());
  TDoubleControl control(path);
  ASSERT_TRUE(control.Ok());
  control.SetStatus(3, VJD_STAT_MISS);
  TvJoy joy(library);
  joy.SetId(3);
  EXPECT_EQ(MissingMessage(joy), "vJoy Device 3 is missing");
  control.SetStatus(3, VJD_STAT_FREE);
}

TEST(vJoyDll, IsTheSystemsLibrary) {
  const std::unique_ptr<IvJoyInterface> library = CreateSystemvJoyLibrary();
  EXPECT_NE(dynamic_cast<TvJoyDll*>(library.get()), nullptr);
}

}  // namespace
