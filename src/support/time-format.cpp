#include "support/time-format.h"

#include <langinfo.h>
#include <locale.h>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace tessaly {

namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr sys_days kOleEpoch = sys_days(year(1899) / 12 / 30);
// 1 January 100 and 31 December 9999, the range the system's conversion takes.
constexpr double kFirstOleDay = -657434.0;
constexpr double kLastOleDay = 2958465.0;

struct Pictures {
  std::string_view date;
  std::string_view time;
  std::string_view monthDay;
  std::string_view hourMinute;
  std::string_view minuteSecond;
};

// 年 月 日 时 分 秒 in GBK.
// clang-format off
constexpr Pictures kStyles[4] = {
    {"yyyy\xC4\xEA" "MM\xD4\xC2" "dd\xC8\xD5 ", "hh\xCA\xB1" "mm\xB7\xD6" "ss\xC3\xEB",
     "MM\xD4\xC2" "dd\xC8\xD5", "hh\xCA\xB1" "mm\xB7\xD6", "mm\xB7\xD6" "ss\xC3\xEB"},
    {"yyyy-MM-dd ", "hh:mm:ss", "MM-dd", "hh:mm", "mm:ss"},
    {"yyyy/MM/dd ", "hh/mm/ss", "MM/dd", "hh/mm", "mm/ss"},
    {"yyyyMMdd", "hhmmss", "MMdd", "hhmm", "mmss"},
};
// clang-format on

void AppendNumber(Text& out, int value, int minDigits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", minDigits, value);
  out += buffer;
}

// The system's picture letters: y, M, d for the date; h, H, m, s for the time;
// a run of one letter gives the number without, of two with a leading zero.
Text ApplyPicture(std::string_view picture, const CalendarTime& t, bool isDate) {
  Text out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    const std::string_view letters = isDate ? "yMd" : "hHms";
    if (letters.find(c) == std::string_view::npos) {
      const std::size_t w = CharWidthAt(picture, i);
      out.append(picture.substr(i, w));
      i += w;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    i += run;
    const int digits = run >= 2 ? 2 : 1;
    switch (c) {
      case 'y':
        if (run >= 3) {
          AppendNumber(out, t.year, 4);
        } else {
          AppendNumber(out, t.year % 100, digits);
        }
        break;
      case 'M':
        AppendNumber(out, t.month, digits);
        break;
      case 'd':
        AppendNumber(out, t.day, digits);
        break;
      case 'h':
        AppendNumber(out, t.hour % 12 == 0 ? 12 : t.hour % 12, digits);
        break;
      case 'H':
        AppendNumber(out, t.hour, digits);
        break;
      case 'm':
        AppendNumber(out, t.minute, digits);
        break;
      case 's':
        AppendNumber(out, t.second, digits);
        break;
      default:
        break;
    }
  }
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<CalendarTime> OleDateToCalendar(OleDate date) {
  // Before the epoch the whole part is the day and the fraction still the time.
  if (!std::isfinite(date) || date <= kFirstOleDay - 1.0 || date >= kLastOleDay + 1.0) return {};
  double whole = 0;
  const double fraction = std::fabs(std::modf(date, &whole));
  auto seconds = static_cast<long long>(std::floor(fraction * 86400.0 + 0.5));
  long long dayNumber = static_cast<long long>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++dayNumber;
  }
  const year_month_day ymd(kOleEpoch + days(dayNumber));
  CalendarTime t;
  t.year = static_cast<int>(ymd.year());
  if (t.year < 100 || t.year > 9999) return {};
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

std::optional<OleDate> CalendarToOleDate(const CalendarTime& t) {
  if (t.year < 100 || t.year > 9999 || t.month < 1 || t.day < 1 || t.hour < 0 || t.hour > 23 ||
      t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59) {
    return {};
  }
  const year_month_day ymd(year(t.year), month(static_cast<unsigned>(t.month)),
                           day(static_cast<unsigned>(t.day)));
  if (!ymd.ok()) return {};
  const double dayNumber = static_cast<double>((sys_days(ymd) - kOleEpoch).count());
  const double fraction = (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
  // Before the epoch the fraction still runs forward from midnight.
  return dayNumber < 0 && fraction > 0 ? dayNumber - fraction : dayNumber + fraction;
}

std::optional<OleDate> OleDateFromTimeT(std::time_t time) {
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) return {};
  CalendarTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return CalendarToOleDate(t);
}

OleDate CurrentOleDate() { return OleDateFromTimeT(std::time(nullptr)).value_or(0.0); }

bool TimeFormatUses24Hour(std::string_view timeFormat) {
  bool twelve = false;
  for (std::size_t i = 0; i + 1 < timeFormat.size(); ++i) {
    if (timeFormat[i] != '%') continue;
    std::size_t j = i + 1;
    // Flags, width and the E/O modifiers stand between % and the conversion.
    while (j < timeFormat.size() &&
           std::string_view("_-0^#EO123456789").find(timeFormat[j]) != std::string_view::npos) {
      ++j;
    }
    if (j >= timeFormat.size()) break;
    const char conversion = timeFormat[j];
    if (conversion == 'H' || conversion == 'k' || conversion == 'T' || conversion == 'R') {
      return true;
    }
    if (conversion == 'I' || conversion == 'l' || conversion == 'r') twelve = true;
    i = j;
  }
  return !twelve;
}

bool LocaleUses24HourClock() {
  locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return true;  // unknown locale: "C", 24-hour
  const char* format = nl_langinfo_l(T_FMT, locale);
  const bool uses24 = TimeFormatUses24Hour(format != nullptr ? format : "");
  freelocale(locale);
  return uses24;
}

Text FormatTimeWithClock(std::optional<OleDate> time, int style, int part, bool use24Hour) {
  const OleDate when = time.has_value() ? *time : CurrentOleDate();
  const Pictures& pictures = kStyles[style >= 0 && style <= 3 ? style : 0];
  std::string_view datePicture;
  std::string_view timePicture;
  switch (part) {
    case 1:
      datePicture = TrimBlanks(pictures.date);
      break;
    case 2:
      datePicture = pictures.monthDay;
      break;
    case 3:
      timePicture = pictures.time;
      break;
    case 4:
      timePicture = pictures.hourMinute;
      break;
    case 5:
      timePicture = pictures.minuteSecond;
      break;
    default:
      datePicture = pictures.date;
      timePicture = pictures.time;
      break;
  }
  const Text clockPicture = use24Hour ? ReplaceText(timePicture, "hh", "HH") : Text(timePicture);
  const std::optional<CalendarTime> fields = OleDateToCalendar(when);
  if (!fields.has_value()) return {};
  Text result;
  if (datePicture.size() >= 3) result += ApplyPicture(datePicture, *fields, true);
  if (clockPicture.size() >= 3) result += ApplyPicture(clockPicture, *fields, false);
  return result;
}

Text FormatTime(std::optional<OleDate> time, int style, int part) {
  return FormatTimeWithClock(time, style, part, LocaleUses24HourClock());
}

}  // namespace tessaly
