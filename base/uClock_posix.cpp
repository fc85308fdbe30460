#include <langinfo.h>
#include <time.h>

#include <clocale>
#include <cstring>

#include "base/uClock.h"
#include "base/uText.h"

namespace {

TDateTimeParts Parts(const struct tm& t, long nanoseconds) {
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
          static_cast<int>(nanoseconds / 1000000), t.tm_wday};
}

}  // namespace

TDateTimeParts LocalTimeNow() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm t {};
  localtime_r(&now.tv_sec, &t);
  return Parts(t, now.tv_nsec);
}

TDateTimeParts UtcTimeNow() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm t {};
  gmtime_r(&now.tv_sec, &t);
  return Parts(t, now.tv_nsec);
}

std::u16string LocaleTimeSeparator() {
  // The locale's time format names the separator right after its hour field ("%H:%M:%S").
  const char* format = nl_langinfo(T_FMT);
  if (format) {
    const char* hour = std::strstr(format, "%H");
    if (!hour) hour = std::strstr(format, "%I");
    if (hour && hour[2] && hour[2] != '%') return Utf8ToUtf16(std::string(1, hour[2]));
  }
  return u":";
}
