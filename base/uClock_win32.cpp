#include "base/uClock.h"
#include "base/uSystem_win32.h"

namespace {

TDateTimeParts Parts(const SYSTEMTIME& t) {
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek};
}

}  // namespace

TDateTimeParts LocalTimeNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return Parts(t);
}

TDateTimeParts UtcTimeNow() {
  SYSTEMTIME t{};
  ::GetSystemTime(&t);
  return Parts(t);
}

std::u16string LocaleTimeSeparator() {
  wchar_t buffer[8] = {};
  const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, buffer, 8);
  // The length counts the terminating NUL.
  if (length > 1) return FromWide(std::wstring_view(buffer, static_cast<std::size_t>(length - 1)));
  return u":";
}
