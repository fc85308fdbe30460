#pragma once
// The clock: local time for log lines, GMT for HTTP dates.

#include <string>

struct TDateTimeParts {
  int Year, Month, Day;          // month 1-12, day 1-31
  int Hour, Minute, Second, Ms;  // hour 0-23
  int DayOfWeek;                 // 0 = Sunday
};

TDateTimeParts LocalTimeNow();
TDateTimeParts UtcTimeNow();
// The time separator of the user's locale (":" on most).
std::u16string LocaleTimeSeparator();
