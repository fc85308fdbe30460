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

// Watches what reaches the log: every report that reaches LogError, and every notification
// posted to the window. The program installs none; tapdeck-headless prints the reports as
// "log" lines, and tests collect them.
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

  // The one watcher of the log (null: none). Set while no report is being made: before the
  // service starts, or after it has stopped.
  void SetObserver(TLogObserver* pObserver) { fObserver = pObserver; }

  static constexpr std::uint32_t WM_LOG_NOTIFY = 0x0400 + 0x140;

 protected:
  // The outlets' switches, and the buffer the line outlet fills. Nothing in the program sets
  // them, so every outlet stays off; a subclass may (the tests of each outlet do).
  bool fLogAll = false;
  TLogFunction fLogFunction;
  std::unique_ptr<TStrings> fLoggedModules;
  std::int32_t fMainFormHandle = 0;
  std::unique_ptr<TStrings> fPrintBuffer;
  std::u16string fSpoolFileName;

 private:
  void NotifyMainForm();
  std::u16string FormatLine(const std::u16string& pLogger, const std::u16string& kind,
                            const std::u16string& pMessage) const;

  std::recursive_mutex fLogCs;
  TLogObserver* fObserver = nullptr;
};

// Null before start-up and after exit.
extern TGlobals* Globals;

// The program's start-up and exit code.
void CreateGlobals();
void DestroyGlobals();

// Reports to Globals when it still exists. Key-sequence workers are not waited for at exit,
// so they report through this, which excludes a concurrent DestroyGlobals.
void LogToGlobals(const std::u16string& pMessage, const std::u16string& pLogger);
