// Date and time as text in the four styles of the program, with the 24-hour
// rule of the user's locale.
#pragma once

#include <ctime>
#include <optional>
#include <string_view>

#include "support/text.h"

namespace tessaly {

// The floating date: days since 30 December 1899, the fraction being the time
// of day (for negative values the fraction still counts forward from midnight).
using OleDate = double;

struct CalendarTime {
  int year = 0;   // 100 to 9999
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;   // 0 to 23
  int minute = 0;
  int second = 0;
};

// Calendar fields of a floating date, rounded to the nearest second; nothing
// for NaN, infinities and dates outside the years 100 to 9999.
std::optional<CalendarTime> OleDateToCalendar(OleDate date);
// The floating date of calendar fields; nothing when they are out of range.
std::optional<OleDate> CalendarToOleDate(const CalendarTime& time);
// The local time of a calendar time (time_t).
std::optional<OleDate> OleDateFromTimeT(std::time_t time);
OleDate CurrentOleDate();

// True when a C time format (nl_langinfo's T_FMT) shows the hour on the 24-hour
// clock: %H, %k, %T or %R; false for %I, %l or %r.
bool TimeFormatUses24Hour(std::string_view timeFormat);
// The rule above applied to LC_TIME of the environment (LC_ALL, LC_TIME, LANG).
bool LocaleUses24HourClock();

// Style 0 to 3 (others count as 0); part 0 to 5 (others count as 0). Empty when
// the date cannot be converted.
Text FormatTime(std::optional<OleDate> time = std::nullopt, int style = 0, int part = 0);
// The same with the clock given instead of read from the locale.
Text FormatTimeWithClock(std::optional<OleDate> time, int style, int part, bool use24Hour);

}  // namespace tessaly
