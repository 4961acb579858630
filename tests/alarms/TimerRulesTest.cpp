#include <gtest/gtest.h>

#include "TempHome.h"
#include "app/TimerRules.h"

using namespace vigil;

namespace {
TDateTime T(const char* text) { return StrToDateTime(QString::fromUtf8(text)).value(); }
QString U(const char* s) { return QString::fromUtf8(s); }
}  // namespace

TEST(TimerRules, RunTimeWithoutPadding) {
  const TDateTime start = T("2026-12-11 10:00:00");
  EXPECT_EQ(RunTimeText(start, start), U("0天0小时0分"));
  EXPECT_EQ(RunTimeText(start, T("2026-12-11 10:00:59")), U("0天0小时0分"));
  EXPECT_EQ(RunTimeText(start, T("2026-12-11 10:01:00")), U("0天0小时1分"));
  EXPECT_EQ(RunTimeText(start, T("2026-12-12 12:03:30")), U("1天2小时3分"));
}

TEST(TimerRules, ShutdownDuringTheSetMinute) {
  TOption o;
  o.ScheduleShutdown = true;
  o.ShutdownAt = T("2009-05-17 23:00:00");
  struct Case {
    const char* now;
    bool once, daily;
  } cases[] = {{"2009-05-17 22:59:59", false, false}, {"2009-05-17 23:00:00", true, true},
               {"2009-05-17 23:00:59", true, true},   {"2009-05-17 23:01:00", false, false},
               {"2009-05-18 23:00:30", false, true},  {"2026-12-11 23:00:00", false, true}};
  for (const Case& c : cases) {
    o.ShutdownEveryDay = false;
    EXPECT_EQ(ShutdownDue(o, T(c.now)), c.once) << c.now;
    o.ShutdownEveryDay = true;
    EXPECT_EQ(ShutdownDue(o, T(c.now)), c.daily) << c.now;
  }
  o.ScheduleShutdown = false;
  EXPECT_FALSE(ShutdownDue(o, T("2009-05-17 23:00:00")));
}

TEST(TimerRules, MonitoringWindow) {
  TOption daily;
  daily.MonitorEveryDay = true;
  daily.MonitorFrom = T("2007-10-1 8:30:45");
  daily.MonitorTo = T("2007-10-1 17:30:10");
  TOption night = daily;
  night.MonitorFrom = T("2007-10-1 22:00:00");
  night.MonitorTo = T("2007-10-1 6:00:00");
  TOption once;
  once.MonitorEveryDay = false;
  once.MonitorFrom = T("2026-12-11 8:30:45");
  once.MonitorTo = T("2026-12-11 17:30:10");
  struct Case {
    const char* now;
    bool daily, night, once;
  } cases[] = {{"2026-12-11 8:29:59", false, false, false}, {"2026-12-11 8:30:00", true, false, false},
               {"2026-12-11 8:30:45", true, false, true},   {"2026-12-11 17:30:10", true, false, true},
               {"2026-12-11 17:30:59", true, false, false}, {"2026-12-11 17:31:00", false, false, false},
               {"2026-12-12 9:00:00", true, false, false},  {"2026-12-11 23:00:00", false, true, false},
               {"2026-12-12 6:00:59", false, true, false},  {"2026-12-12 6:01:00", false, false, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(InMonitorWindow(daily, T(c.now)), c.daily) << c.now;
    EXPECT_EQ(InMonitorWindow(night, T(c.now)), c.night) << c.now;
    EXPECT_EQ(InMonitorWindow(once, T(c.now)), c.once) << c.now;
  }
}

TEST(TimerRules, RotationThresholdAndTexts) {
  TOption o;
  o.SaveInterval = 30;
  const TDateTime start = T("2026-12-11 10:00:00");
  EXPECT_FALSE(RotationDue(o, start, T("2026-12-11 10:29:59")));
  EXPECT_TRUE(RotationDue(o, start, T("2026-12-11 10:30:00")));
  o.MinDiskSpace = 5000;
  EXPECT_EQ(LowDiskThresholdBytes(o), 5'242'880'000LL);
  EXPECT_LT(4LL * 1073741824, LowDiskThresholdBytes(o));
  EXPECT_EQ(FreeSpaceText(4LL * 1073741824 + 1073741824 / 4), U("4.25G"));
  EXPECT_EQ(CpuUsageText(0.1234), U("12.34%"));
}
