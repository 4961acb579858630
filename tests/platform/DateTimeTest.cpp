#include <gtest/gtest.h>

#include "TempHome.h"

#include "platform/DateTime.h"

using namespace vigil;

namespace {
TDateTime DT(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, m, d, h, n, s, ms}).value();
}
}  // namespace

TEST(DateTime, DayCountFrom1899) {
  EXPECT_DOUBLE_EQ(DT(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(DT(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(DT(2007, 10, 1), 39356.0);
  EXPECT_DOUBLE_EQ(DT(2007, 10, 1, 12), 39356.5);
  auto p = DecodeDateTime(39356.75);
  EXPECT_EQ(std::tie(p.year, p.month, p.day, p.hour, p.minute), std::make_tuple(2007, 10, 1, 18, 0));
}

TEST(DateTime, RejectsImpossibleParts) {
  DateTimeParts bad[] = {{2007, 13, 1}, {2007, 2, 29}, {2007, 4, 31}, {2007, 1, 0},
                         {2007, 1, 1, 24}, {2007, 1, 1, 0, 60}, {2007, 1, 1, 0, 0, 60}};
  for (const auto& p : bad) EXPECT_FALSE(EncodeDateTime(p).has_value()) << p.month << "/" << p.day;
  EXPECT_TRUE(EncodeDateTime({2008, 2, 29}).has_value());
}

TEST(DateTime, TextsWrittenToConfig) {
  struct Case {
    TDateTime t;
    const char* dateTime;
    const char* time;
  } cases[] = {
      {DT(2007, 10, 1, 23, 59, 59), "2007-10-1 23:59:59", "23:59:59"},
      {DT(2007, 10, 1, 8, 5, 0), "2007-10-1 8:05:00", "8:05:00"},
      {DT(2007, 10, 1), "2007-10-1", "0:00:00"},  // midnight: the date alone
      {DT(2026, 12, 11, 0, 0, 1), "2026-12-11 0:00:01", "0:00:01"},
      // A hair before midnight rounds to the next day, never to 24:00:00.
      {DT(2007, 10, 1, 23, 59, 59, 999) + 0.0006 / 86400, "2007-10-2", "0:00:00"},
      {DT(1899, 12, 30, 8, 5, 0), "1899-12-30 8:05:00", "8:05:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateTimeToStr(c.t), QString::fromUtf8(c.dateTime));
    EXPECT_EQ(TimeToStr(c.t), QString::fromUtf8(c.time));
  }
}

TEST(DateTime, ParsesWhatItWritesAndRejectsGarbage) {
  struct Case {
    const char* text;
    std::optional<TDateTime> dateTime;
  } cases[] = {
      {"2007-10-1 00:00:00", DT(2007, 10, 1)},
      {"2007-10-1", DT(2007, 10, 1)},
      {"2007-10-1 23:59:59", DT(2007, 10, 1, 23, 59, 59)},
      {" 2007-10-01 08:05 ", DT(2007, 10, 1, 8, 5)},
      {"2007/10/1 8:05:00", DT(2007, 10, 1, 8, 5)},
      {"8:05:00", DT(1899, 12, 30, 8, 5)},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"2007-13-1", std::nullopt},
      {"2007-2-30 1:00:00", std::nullopt},
      {"2007-10-1 25:00:00", std::nullopt},
      {"2007-10/1", std::nullopt},
      {"2007-10-1 8:05:00 pm", std::nullopt},
  };
  for (const Case& c : cases) {
    auto got = StrToDateTime(QString::fromUtf8(c.text));
    ASSERT_EQ(got.has_value(), c.dateTime.has_value()) << c.text;
    if (got) EXPECT_NEAR(*got, *c.dateTime, 1e-9) << c.text;
  }
  EXPECT_NEAR(StrToTime(QStringLiteral("23:59:59")).value(), DT(1899, 12, 30, 23, 59, 59), 1e-9);
  EXPECT_FALSE(StrToTime(QStringLiteral("2007-10-1 8:00:00")).has_value());
  EXPECT_FALSE(StrToTime(QStringLiteral("24:00:00")).has_value());
}

TEST(DateTime, FileNamePatterns) {
  TDateTime t = DT(2007, 3, 4, 5, 6, 7, 89);
  struct Case {
    const char* pattern;
    const char* text;
  } cases[] = {
      {"yyyymmdd", "20070304"},
      {"hhnnss", "050607"},
      {"yyyymmddhhnnss", "20070304050607"},
      {"yyyy-m-d h:nn:ss", "2007-3-4 5:06:07"},
      {"yy.mm.dd zzz", "07.03.04 089"},
      {"\"at\" hh'h'", "at 05h"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatDateTime(QString::fromUtf8(c.pattern), t), QString::fromUtf8(c.text)) << c.pattern;
}

TEST(DateTime, DateAndTimeParts) {
  TDateTime t = DT(2007, 10, 1, 18);
  EXPECT_DOUBLE_EQ(DatePart(t), DT(2007, 10, 1));
  EXPECT_DOUBLE_EQ(TimePart(t), 0.75);
}

TEST(Clock, ManualClockMovesOnlyWhenTold) {
  ManualClock clock(DT(2007, 10, 1, 23, 59, 30));
  EXPECT_EQ(DateTimeToStr(clock.Now()), QStringLiteral("2007-10-1 23:59:30"));
  clock.AdvanceSeconds(30);
  EXPECT_EQ(DateTimeToStr(clock.Now()), QStringLiteral("2007-10-2"));
  SystemClock system;
  EXPECT_GT(system.Now(), DT(2020, 1, 1));
}
