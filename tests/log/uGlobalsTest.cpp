#include "log/uGlobals.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "base/uClock.h"
#include "base/uFiles.h"
#include "base/uText.h"
#include "tests/support/TempDir.h"

namespace {

struct Recorder : TLogObserver {
  std::vector<std::pair<std::u16string, std::u16string>> reports;
  std::vector<std::int32_t> posted;
  std::mutex lock;
  void Reported(const std::u16string& m, const std::u16string& l) override {
    std::lock_guard g(lock);
    reports.emplace_back(m, l);
  }
  void Posted(std::int32_t handle, std::uint32_t message) override {
    EXPECT_EQ(message, 0x0540u);
    posted.push_back(handle);
  }
};

// The outlets' switches, which nothing in the program sets, opened up for these tests.
class TOpenGlobals : public TGlobals {
 public:
  using TGlobals::fLogAll;
  using TGlobals::fLogFunction;
  using TGlobals::fMainFormHandle;
  using TGlobals::fSpoolFileName;
  TStrings& LoggedModules() { return *fLoggedModules; }
  const TStrings& PrintBuffer() const { return *fPrintBuffer; }
};

const TLogFunction kSomeFunction = [](const std::u16string&) {};

std::string Stamp() {
  const std::string sep = Utf16ToUtf8(LocaleTimeSeparator());
  return "\\d{4}-\\d{2}-\\d{2} \\d{2}" + sep + "\\d{2}" + sep + "\\d{2}" + sep + "\\d{3}";
}

TEST(TGlobals, EveryOutletOffRecordsAndPostsNothing) {
  TOpenGlobals g;
  Recorder r;
  g.SetObserver(&r);
  g.LogError(u"Invalid KeyName", u"KEY");
  g.DebugLog(u"x", u"KEY");
  EXPECT_EQ(g.PrintBuffer().Count(), 0);
  EXPECT_TRUE(r.posted.empty());
  ASSERT_EQ(r.reports.size(), 1u);  // the observer sees the report that reached LogError
  EXPECT_EQ(r.reports[0].first, u"Invalid KeyName");
}

TEST(TGlobals, ErrorAndDebugLineFormats) {
  TOpenGlobals g;
  g.fLogFunction = kSomeFunction;
  g.LogError(u"Invalid Key Name", u"KEY");
  g.DebugLog(u"not logged", u"KEY");  // fLogAll false and no logged modules
  g.fLogAll = true;
  g.DebugLog(u"debug text", u"WEB");
  const auto& lines = g.PrintBuffer().Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(Utf16ToUtf8(lines[0]), std::regex(Stamp() + " \\[KEY\\] ERROR: Invalid Key Name")))
      << Utf16ToUtf8(lines[0]);
  EXPECT_TRUE(std::regex_match(Utf16ToUtf8(lines[1]), std::regex(Stamp() + " \\[WEB\\]: debug text")))
      << Utf16ToUtf8(lines[1]);
}

TEST(TGlobals, ModuleNamesCompareWholeAndWithoutCase) {
  TOpenGlobals g;
  EXPECT_FALSE(g.IsModuleLogged(u"KEY"));
  g.LoggedModules().Add(u"keys");
  EXPECT_FALSE(g.IsModuleLogged(u"KEY"));
  g.LoggedModules().Add(u"key");
  EXPECT_TRUE(g.IsModuleLogged(u"KEY"));
  EXPECT_FALSE(g.IsModuleLogged(u"KE"));
  g.fLogAll = true;
  EXPECT_TRUE(g.IsModuleLogged(u"anything"));
}

TEST(TGlobals, SpoolFileGetsOneLinePerCallAndTheBufferNone) {
  TempDir dir;
  TOpenGlobals g;
  g.fLogFunction = kSomeFunction;
  g.LoggedModules().Add(u"KEY");
  g.fSpoolFileName = dir.File("debug.log");
  g.DebugLog(u"one", u"KEY");
  g.DebugLog(u"two", u"key");
  g.DebugLog(u"skipped", u"OTHER");
  EXPECT_EQ(g.PrintBuffer().Count(), 0);
  const std::string bytes = ReadFileBytes(dir.File("debug.log"));
  EXPECT_TRUE(std::regex_match(bytes, std::regex(Stamp() + " \\[KEY\\]: one\r\n" + Stamp() + " \\[key\\]: two\r\n")))
      << bytes;
}

TEST(TGlobals, NotifiesOnlyAPositiveHandle) {
  TOpenGlobals g;
  Recorder r;
  g.SetObserver(&r);
  for (std::int32_t handle : {0, -5}) {
    g.fMainFormHandle = handle;
    g.LogError(u"m", u"KEY");
  }
  EXPECT_TRUE(r.posted.empty());
  g.fMainFormHandle = 77;
  g.LogError(u"m", u"KEY");
  g.DebugLog(u"m", u"KEY");
  EXPECT_EQ(r.posted, (std::vector<std::int32_t>{77, 77}));
}

TEST(TGlobalsConcurrent, ReportersGetWholeLines) {
  TOpenGlobals g;
  g.fLogFunction = kSomeFunction;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&g, t] {
      for (int i = 0; i < 200; ++i) g.LogError(u"message " + IntToStr(t), u"KEY");
    });
  for (auto& t : threads) t.join();
  const auto& lines = g.PrintBuffer().Lines();
  ASSERT_EQ(lines.size(), 800u);
  for (const auto& line : lines) EXPECT_NE(line.find(u"[KEY] ERROR: message "), std::u16string::npos);
}

TEST(TGlobalsConcurrent, ReportsAfterDestructionAreDropped) {
  ASSERT_EQ(Globals, nullptr);
  CreateGlobals();
  ASSERT_NE(Globals, nullptr);
  Recorder r;
  Globals->SetObserver(&r);
  LogToGlobals(u"before", u"KEY");
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop) LogToGlobals(u"racing", u"KEY");
  });
  DestroyGlobals();
  EXPECT_EQ(Globals, nullptr);
  LogToGlobals(u"after", u"KEY");  // must not touch the destroyed object
  stop = true;
  worker.join();
  ASSERT_FALSE(r.reports.empty());
  EXPECT_EQ(r.reports.front().first, u"before");
  EXPECT_NE(r.reports.back().first, u"after");
}

}  // namespace
