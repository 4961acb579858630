// The system timer on a manual clock: a day of ticks in seconds — the monitoring window,
// the timed shutdown (through a handler: nothing is powered off), the run time and the
// news page.
#include <gtest/gtest.h>

#include <QLabel>

#include "StationFixture.h"
#include "settings/SystemServices.h"

namespace vigil {
namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return *EncodeDateTime({y, mo, d, h, mi, s, 0}); }

class Schedule : public ::testing::Test {
 protected:
  void Make(const std::function<void(TOption&)>& edit) {
    test::WriteConfig(home_.path(), [&](TOption& o) {
      test::QuietDefaults(o);
      edit(o);
    });
    clock_->Set(At(2009, 5, 17, 0, 0, 0));
    station_.reset();
    station_ = std::make_unique<test::Station>(std::vector<capture::SourceInfo>{}, clock_);
    station_->timer().tmrSys().stop();  // the test ticks itself
    SetShutdownHandler([this](int flags) {
      shutdowns_.push_back({clock_->Now(), flags});
      return true;
    });
  }
  void TearDown() override { SetShutdownHandler({}); }

  // Ticks once a second from the clock's time for `seconds`, calling `each` after each.
  void Run(int seconds, const std::function<void(TDateTime)>& each = {}) {
    for (int i = 0; i < seconds; ++i) {
      station_->timer().tmrSysTimer();
      if (each) each(clock_->Now());
      clock_->AdvanceSeconds(1);
    }
  }

  test::TempHome home_;
  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  std::unique_ptr<test::Station> station_;
  std::vector<std::pair<TDateTime, int>> shutdowns_;
};

// A daily window 08:30:45–17:30:10 runs from 08:30:00 to 17:31:00; a daily shutdown at
// 23:00 asks once, at 23:00:00, for a forced power-off.
TEST_F(Schedule, DailyWindowAndShutdownOverADay) {
  Make([](TOption& o) {
    o.ScheduleMonitor = o.MonitorEveryDay = true;
    o.MonitorFrom = *StrToTime(QStringLiteral("8:30:45"));
    o.MonitorTo = *StrToTime(QStringLiteral("17:30:10"));
    o.ScheduleShutdown = o.ShutdownEveryDay = true;
    o.ShutdownAt = *StrToTime(QStringLiteral("23:00:00"));
  });
  std::vector<std::pair<QString, bool>> changes;
  bool was = false;
  Run(86400, [&](TDateTime now) {
    if (station_->form().Monitoring() != was) {
      was = !was;
      changes.push_back({FormatDateTime(QStringLiteral("hh:nn:ss"), now), was});
    }
  });
  const std::vector<std::pair<QString, bool>> expected = {{QStringLiteral("08:30:00"), true},
                                                          {QStringLiteral("17:31:00"), false}};
  EXPECT_EQ(changes, expected);
  ASSERT_EQ(shutdowns_.size(), 1u);
  EXPECT_EQ(FormatDateTime(QStringLiteral("hh:nn:ss"), shutdowns_[0].first), QStringLiteral("23:00:00"));
  EXPECT_EQ(shutdowns_[0].second, 12);
  EXPECT_EQ(station_->form().lblRunTime->text(), QStringLiteral("0天23小时59分"));

  // The next day again, and monitoring started by hand outside the window ends at once.
  clock_->Set(At(2009, 5, 18, 22, 59, 0));
  station_->form().btnStartClick();
  Run(1);
  EXPECT_FALSE(station_->form().Monitoring());
  Run(120);
  EXPECT_EQ(shutdowns_.size(), 2u);
}

// A one-off window and shutdown act on their own day only.
TEST_F(Schedule, OneOffWindowAndShutdown) {
  Make([](TOption& o) {
    o.ScheduleMonitor = true;
    o.MonitorEveryDay = false;
    o.MonitorFrom = At(2009, 5, 17, 10, 0, 0);
    o.MonitorTo = At(2009, 5, 17, 11, 0, 0);
    o.ScheduleShutdown = true;
    o.ShutdownEveryDay = false;
    o.ShutdownAt = At(2009, 5, 17, 11, 30, 0);
  });
  // Ticks half a second into each second, as a real timer's do: the window's end at
  // 11:00:00 sharp is then behind the tick of that second.
  clock_->Set(At(2009, 5, 17, 9, 59, 58) + 0.5 / 86400);
  std::vector<QString> changes;
  bool was = false;
  Run(2 * 3600, [&](TDateTime now) {
    if (station_->form().Monitoring() != was) {
      was = !was;
      changes.push_back(FormatDateTime(QStringLiteral("hh:nn:ss"), now));
    }
  });
  EXPECT_EQ(changes, (std::vector<QString>{QStringLiteral("10:00:00"), QStringLiteral("11:00:00")}));
  ASSERT_EQ(shutdowns_.size(), 1u);
  EXPECT_EQ(FormatDateTime(QStringLiteral("hh:nn:ss"), shutdowns_[0].first), QStringLiteral("11:30:00"));
  clock_->Set(At(2009, 5, 18, 9, 59, 0));
  Run(120);
  clock_->Set(At(2009, 5, 18, 11, 29, 0));
  Run(120);
  EXPECT_FALSE(station_->form().Monitoring());
  EXPECT_EQ(shutdowns_.size(), 1u);
}

// The run time changes every 61 ticks; the news page named in config.ini opens once, a
// minute after the start, never when NewVideoTip is off, and nothing opens without a page.
TEST_F(Schedule, RunTimeAndNewsPage) {
  for (bool tip : {true, false}) {
    SCOPED_TRACE(tip);
    test::UrlCatcher opened(QStringLiteral("http"));
    Make([tip](TOption& o) { o.NewVideoTip = tip; });
    Option.NewsPageUrl = QStringLiteral("http://127.0.0.1:8081/news.html");  // read live
    Run(60);
    EXPECT_EQ(station_->form().lblRunTime->text(), QStringLiteral("00天00小时00分"));
    EXPECT_TRUE(opened.opened.isEmpty());
    Run(1);
    EXPECT_EQ(station_->form().lblRunTime->text(), QStringLiteral("0天0小时1分"));
    Run(300);
    ASSERT_EQ(opened.opened.size(), tip ? 1 : 0);
    if (tip) {
      EXPECT_EQ(opened.opened[0].toString(), QStringLiteral("http://127.0.0.1:8081/news.html"));
    }
    EXPECT_EQ(station_->form().NewsPending, !tip);
  }
  test::UrlCatcher opened(QStringLiteral("http"));
  Make([](TOption& o) { o.NewVideoTip = true; });
  Run(120);
  EXPECT_TRUE(opened.opened.isEmpty());
  EXPECT_FALSE(station_->form().NewsPending);
}

}  // namespace
}  // namespace vigil
