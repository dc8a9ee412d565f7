#include "support/time-format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "support/codepage.h"

namespace tessaly {
namespace {

OleDate At(int y, int mo, int d, int h, int mi, int s) {
  const std::optional<OleDate> date = CalendarToOleDate({y, mo, d, h, mi, s});
  EXPECT_TRUE(date.has_value());
  return date.value_or(0.0);
}

TEST(OleDateTest, KnownValues) {
  struct Case {
    OleDate date;
    CalendarTime expected;
  };
  const Case cases[] = {
      {0.0, {1899, 12, 30, 0, 0, 0}},
      {1.0, {1899, 12, 31, 0, 0, 0}},
      {2.5, {1900, 1, 1, 12, 0, 0}},
      {-1.25, {1899, 12, 29, 6, 0, 0}},  // the fraction counts forward before the epoch too
      {41713.646354166667, {2014, 3, 15, 15, 30, 45}},
      {2958465.0, {9999, 12, 31, 0, 0, 0}},
      {-657434.0, {100, 1, 1, 0, 0, 0}},
      {1.0 - 0.6 / 86400.0, {1899, 12, 30, 23, 59, 59}},
      {1.0 - 0.4 / 86400.0, {1899, 12, 31, 0, 0, 0}},  // rounds to the second, carrying the day
  };
  for (const Case& c : cases) {
    const std::optional<CalendarTime> t = OleDateToCalendar(c.date);
    ASSERT_TRUE(t.has_value()) << c.date;
    EXPECT_EQ(t->year, c.expected.year) << c.date;
    EXPECT_EQ(t->month, c.expected.month) << c.date;
    EXPECT_EQ(t->day, c.expected.day) << c.date;
    EXPECT_EQ(t->hour, c.expected.hour) << c.date;
    EXPECT_EQ(t->minute, c.expected.minute) << c.date;
    EXPECT_EQ(t->second, c.expected.second) << c.date;
    if (c.expected.year > 100 && c.date < 2958465.0) {
      const std::optional<OleDate> back = CalendarToOleDate(c.expected);
      ASSERT_TRUE(back.has_value());
      EXPECT_NEAR(*back, c.date, 1.0 / 86400.0) << c.date;
    }
  }
  for (OleDate bad :
       {2958466.0, -657435.0, double(NAN), double(INFINITY), -double(INFINITY), 1e300}) {
    EXPECT_FALSE(OleDateToCalendar(bad).has_value()) << bad;
  }
  EXPECT_FALSE(CalendarToOleDate({2014, 2, 30, 0, 0, 0}).has_value());
  EXPECT_FALSE(CalendarToOleDate({2014, 13, 1, 0, 0, 0}).has_value());
  EXPECT_FALSE(CalendarToOleDate({2014, 1, 1, 24, 0, 0}).has_value());
  EXPECT_FALSE(CalendarToOleDate({99, 1, 1, 0, 0, 0}).has_value());
}

TEST(OleDateTest, FromTimeTUsesLocalTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  const std::optional<OleDate> epoch = OleDateFromTimeT(0);
  ::setenv("TZ", "CST-8", 1);
  ::tzset();
  const std::optional<OleDate> shanghai = OleDateFromTimeT(0);
  if (old != nullptr) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
  ASSERT_TRUE(epoch.has_value());
  ASSERT_TRUE(shanghai.has_value());
  EXPECT_DOUBLE_EQ(*epoch, 25569.0);  // 1 January 1970
  EXPECT_NEAR(*shanghai, 25569.0 + 8.0 / 24.0, 1e-9);
  const OleDate now = CurrentOleDate();
  EXPECT_GT(now, 45000.0);  // after 2023
  EXPECT_LT(now, 2958465.0);
}

TEST(FormatTimeTest, EveryStyleAndPartOn24HourClock) {
  const OleDate t = At(2014, 3, 5, 15, 7, 9);
  struct Case {
    int style;
    int part;
    const char* utf8;
  };
  const Case cases[] = {
      {0, 0, "2014年03月05日 15时07分09秒"},
      {0, 1, "2014年03月05日"},
      {0, 2, "03月05日"},
      {0, 3, "15时07分09秒"},
      {0, 4, "15时07分"},
      {0, 5, "07分09秒"},
      {1, 0, "2014-03-05 15:07:09"},
      {1, 1, "2014-03-05"},
      {1, 2, "03-05"},
      {1, 3, "15:07:09"},
      {1, 4, "15:07"},
      {1, 5, "07:09"},
      {2, 0, "2014/03/05 15/07/09"},
      {2, 1, "2014/03/05"},
      {2, 2, "03/05"},
      {2, 3, "15/07/09"},
      {2, 4, "15/07"},
      {2, 5, "07/09"},
      {3, 0, "20140305150709"},
      {3, 1, "20140305"},
      {3, 2, "0305"},
      {3, 3, "150709"},
      {3, 4, "1507"},
      {3, 5, "0709"},
      {7, 0, "2014年03月05日 15时07分09秒"},  // unknown style: style 0
      {-1, 4, "15时07分"},
      {1, 9, "2014-03-05 15:07:09"},  // unknown part: date and time
      {1, -3, "2014-03-05 15:07:09"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GbkToUtf8(FormatTimeWithClock(t, c.style, c.part, true)), c.utf8)
        << "style " << c.style << " part " << c.part;
  }
}

TEST(FormatTimeTest, TwelveHourClockHasNoMarker) {
  struct Case {
    int hour;
    const char* style3;
  };
  const Case cases[] = {
      {15, "20140315033045"}, {0, "20140315123045"}, {12, "20140315123045"}, {9, "20140315093045"}};
  for (const Case& c : cases) {
    const OleDate t = At(2014, 3, 15, c.hour, 30, 45);
    EXPECT_EQ(FormatTimeWithClock(t, 3, 0, false), c.style3) << c.hour;
    EXPECT_EQ(FormatTimeWithClock(t, 3, 5, false), "3045");
  }
  EXPECT_EQ(FormatTimeWithClock(At(2014, 3, 15, 15, 30, 45), 1, 4, false), "03:30");
}

TEST(FormatTimeTest, UnconvertibleDateGivesEmptyText) {
  EXPECT_EQ(FormatTimeWithClock(NAN, 1, 0, true), "");
  EXPECT_EQ(FormatTimeWithClock(1e9, 3, 3, true), "");
  EXPECT_EQ(FormatTime(-1e9, 0, 0), "");
}

TEST(FormatTimeTest, OmittedTimeIsNow) {
  const std::time_t before = std::time(nullptr);
  const Text text = FormatTimeWithClock(std::nullopt, 3, 0, true);
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(text.size(), 14u);
  for (char c : text) EXPECT_TRUE(c >= '0' && c <= '9') << text;
  const Text a = FormatTimeWithClock(OleDateFromTimeT(before), 3, 0, true);
  const Text b = FormatTimeWithClock(OleDateFromTimeT(after), 3, 0, true);
  EXPECT_TRUE(text == a || text == b) << text << " " << a << " " << b;
}

TEST(ClockRuleTest, TimeFormatsOfLocales) {
  struct Case {
    const char* format;
    bool uses24;
  };
  const Case cases[] = {
      {"%H:%M:%S", true},  // C, de_DE, zh_CN
      {"%T", true},
      {"%R", true},
      {"%k:%M", true},
      {"%OH:%OM:%OS", true},   // alternative digits
      {"%I:%M:%S %p", false},  // en_US
      {"%r", false},
      {"%l:%M %p", false},
      {"%p%I\xE6\x97\xB6%M\xE5\x88\x86%S\xE7\xA7\x92", false},  // zh_TW-like: %p%I時%M分%S秒
      {"%%H %I", false},                                        // an escaped percent is no hour
      {"", true},
      {"%", true},
  };
  for (const Case& c : cases) EXPECT_EQ(TimeFormatUses24Hour(c.format), c.uses24) << c.format;
}

TEST(ClockRuleTest, PosixLocaleIs24HourAndFormatTimeFollowsIt) {
  const char* names[] = {"LC_ALL", "LC_TIME", "LANG"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* v = std::getenv(names[i]);
    had[i] = v != nullptr;
    if (had[i]) saved[i] = v;
    ::unsetenv(names[i]);
  }
  ::setenv("LC_TIME", "C", 1);
  const bool cLocale = LocaleUses24HourClock();
  const Text formatted = FormatTime(At(2014, 3, 15, 15, 30, 45), 3, 0);
  ::setenv("LC_TIME", "xx_NOWHERE.UTF-8", 1);  // not installed: falls back to 24-hour
  const bool missing = LocaleUses24HourClock();
  for (int i = 0; i < 3; ++i) {
    if (had[i]) {
      ::setenv(names[i], saved[i].c_str(), 1);
    } else {
      ::unsetenv(names[i]);
    }
  }
  EXPECT_TRUE(cLocale);
  EXPECT_TRUE(missing);
  EXPECT_EQ(formatted, "20140315153045");
}

}  // namespace
}  // namespace tessaly
