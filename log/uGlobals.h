#pragma once
// TGlobals: the process-wide diagnostics object. Reports reach LogError; each outlet (the
// line buffer, the debug file, the window notification) is switched on by one private
// field, and nothing in the program sets those fields, so every outlet stays off.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/uStrings.h"

using TLogFunction = std::function<void(const std::u16string& pMessage)>;

// Watches what reaches the log; installed only by tests and tapdeck-headless.
class TLogObserver {
 public:
  virtual ~TLogObserver() = default;
  virtual void Reported(const std::u16string& pMessage, const std::u16string& pLogger) = 0;
  virtual void Posted(std::int32_t /*handle*/, std::uint32_t /*message*/) {}
};

class TGlobals {
 public:
  TGlobals();
  ~TGlobals();
  TGlobals(const TGlobals&) = delete;
  TGlobals& operator=(const TGlobals&) = delete;

  void LogError(const std::u16string& pMessage, const std::u16string& pLogger);
  void DebugLog(const std::u16string& pMessage, const std::u16string& pLogger);
  void DebugLogFile(const std::u16string& pMessage, const std::u16string& pLogger,
                    const std::u16string& pFileName);
  bool IsModuleLogged(const std::u16string& pLogger) const;

  static constexpr std::uint32_t WM_LOG_NOTIFY = 0x0400 + 0x140;

 private:
  void NotifyMainForm();
  std::u16string FormatLine(const std::u16string& pLogger, const std::u16string& kind,
                            const std::u16string& pMessage) const;

  bool fLogAll = false;
  std::recursive_mutex fLogCs;
  TLogFunction fLogFunction;
  std::unique_ptr<TStrings> fLoggedModules;
  std::int32_t fMainFormHandle = 0;
  std::unique_ptr<TStrings> fPrintBuffer;
  std::u16string fSpoolFileName;

  // The seam below is for tests and tapdeck-headless only.
  TLogObserver* fObserver = nullptr;
  friend class TGlobalsSeam;
};

// Null before start-up and after exit.
extern TGlobals* Globals;

// The program's start-up and exit code.
void CreateGlobals();
void DestroyGlobals();

// Reports to Globals when it still exists. Key-sequence workers are not waited for at exit,
// so they report through this, which excludes a concurrent DestroyGlobals.
void LogToGlobals(const std::u16string& pMessage, const std::u16string& pLogger);

// Test seam: switches outlets on and watches reports. The program never uses it.
class TGlobalsSeam {
 public:
  static void SetObserver(TGlobals& g, TLogObserver* observer) { g.fObserver = observer; }
  static void SetLogAll(TGlobals& g, bool value) { g.fLogAll = value; }
  static void SetLogFunction(TGlobals& g, TLogFunction f) { g.fLogFunction = std::move(f); }
  static void SetMainFormHandle(TGlobals& g, std::int32_t h) { g.fMainFormHandle = h; }
  static void SetSpoolFileName(TGlobals& g, std::u16string name) { g.fSpoolFileName = std::move(name); }
  static TStrings& LoggedModules(TGlobals& g) { return *g.fLoggedModules; }
  static const TStrings& PrintBuffer(TGlobals& g) { return *g.fPrintBuffer; }
};
