#include "log/uGlobals.h"

#include <cstdio>

#include "base/uClock.h"
#include "base/uFiles.h"
#include "base/uText.h"
#include "log/uWindowMessages.h"

TGlobals* Globals = nullptr;

namespace {

std::mutex& GlobalsGuard() {
  static std::mutex guard;
  return guard;
}

// "yyyy-mm-dd hh:nn:ss:zzz", each ":" being the locale's time separator.
std::u16string TimeStamp() {
  const TDateTimeParts t = LocalTimeNow();
  const std::u16string sep = LocaleTimeSeparator();
  char date[16], hh[4], nn[4], ss[4], zzz[8];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d ", t.Year, t.Month, t.Day);
  std::snprintf(hh, sizeof hh, "%02d", t.Hour);
  std::snprintf(nn, sizeof nn, "%02d", t.Minute);
  std::snprintf(ss, sizeof ss, "%02d", t.Second);
  std::snprintf(zzz, sizeof zzz, "%03d", t.Ms);
  return AsciiToUtf16(date) + AsciiToUtf16(hh) + sep + AsciiToUtf16(nn) + sep + AsciiToUtf16(ss) + sep +
         AsciiToUtf16(zzz);
}

}  // namespace

TGlobals::TGlobals() : fLoggedModules(std::make_unique<TStrings>()), fPrintBuffer(std::make_unique<TStrings>()) {}

TGlobals::~TGlobals() = default;

std::u16string TGlobals::FormatLine(const std::u16string& pLogger, const std::u16string& kind,
                                    const std::u16string& pMessage) const {
  return TimeStamp() + u" [" + pLogger + u"]" + kind + pMessage;
}

bool TGlobals::IsModuleLogged(const std::u16string& pLogger) const {
  if (fLogAll) return true;
  if (fLoggedModules) {
    for (const auto& name : fLoggedModules->Lines())
      if (SameText(name, pLogger)) return true;
  }
  return false;
}

void TGlobals::LogError(const std::u16string& pMessage, const std::u16string& pLogger) {
  if (fObserver) fObserver->Reported(pMessage, pLogger);
  if (fLogFunction) {
    std::lock_guard lock(fLogCs);
    fPrintBuffer->Add(FormatLine(pLogger, u" ERROR: ", pMessage));
  }
  NotifyMainForm();
}

void TGlobals::DebugLog(const std::u16string& pMessage, const std::u16string& pLogger) {
  if (IsModuleLogged(pLogger)) {
    std::lock_guard lock(fLogCs);
    if (!fSpoolFileName.empty())
      DebugLogFile(pMessage, pLogger, fSpoolFileName);
    else if (fLogFunction)
      fPrintBuffer->Add(FormatLine(pLogger, u": ", pMessage));
  }
  NotifyMainForm();
}

void TGlobals::DebugLogFile(const std::u16string& pMessage, const std::u16string& pLogger,
                            const std::u16string& pFileName) {
  if (!IsModuleLogged(pLogger)) return;
  AppendFileBytes(pFileName, Utf16ToAnsi(FormatLine(pLogger, u": ", pMessage) + u"\r\n"));
}

void TGlobals::NotifyMainForm() {
  if (fMainFormHandle > 0) {
    PostWindowMessage(fMainFormHandle, WM_LOG_NOTIFY);
    if (fObserver) fObserver->Posted(fMainFormHandle, WM_LOG_NOTIFY);
  }
}

void CreateGlobals() {
  std::lock_guard lock(GlobalsGuard());
  if (!Globals) Globals = new TGlobals();
}

void DestroyGlobals() {
  std::lock_guard lock(GlobalsGuard());
  delete Globals;
  Globals = nullptr;
}

void LogToGlobals(const std::u16string& pMessage, const std::u16string& pLogger) {
  std::lock_guard lock(GlobalsGuard());
  if (Globals) Globals->LogError(pMessage, pLogger);
}
