#include <gtest/gtest.h>

#include "TempHome.h"
#include "app/AlarmRules.h"
#include "app/MotionDetector.h"

using namespace vigil;

namespace {
TDateTime T(const char* text) { return StrToDateTime(QString::fromUtf8(text)).value(); }
TDateTime Time(const char* text) { return StrToTime(QString::fromUtf8(text)).value(); }

TOption WithPeriods(std::initializer_list<std::pair<const char*, const char*>> periods) {
  TOption o;
  o.TimesCount = 0;
  for (auto [from, to] : periods) {
    ++o.TimesCount;
    o.StartTimes[o.TimesCount] = Time(from);
    o.EndTimes[o.TimesCount] = Time(to);
  }
  return o;
}
}  // namespace

TEST(AlarmRules, PeriodsIncludeBothEndsAndMayCrossMidnight) {
  TOption day = WithPeriods({{"8:00:00", "18:00:00"}});
  TOption night = WithPeriods({{"22:00:00", "6:00:00"}});
  TOption none = WithPeriods({});
  struct Case {
    const char* at;
    bool day, night;
  } cases[] = {{"2026-12-11 7:59:59", false, false}, {"2026-12-11 8:00:00", true, false},
               {"2026-12-11 12:00:00", true, false}, {"2026-12-11 18:00:00", true, false},
               {"2026-12-11 18:00:01", false, false}, {"2026-12-11 21:59:59", false, false},
               {"2026-12-11 22:00:00", false, true}, {"2026-12-11", false, true},
               {"2026-12-11 6:00:00", false, true},  {"2026-12-11 6:00:01", false, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(InAlarmPeriod(day, T(c.at)), c.day) << c.at;
    EXPECT_EQ(InAlarmPeriod(night, T(c.at)), c.night) << c.at;
    EXPECT_FALSE(InAlarmPeriod(none, T(c.at)));
  }
  // Entries past the count are ignored.
  TOption two = WithPeriods({{"1:00:00", "2:00:00"}, {"3:00:00", "4:00:00"}});
  two.TimesCount = 1;
  EXPECT_FALSE(InAlarmPeriod(two, T("2026-12-11 3:30:00")));
}

TEST(AlarmRules, DetectorOnAfterTheDelayAndInPeriods) {
  TOption o = WithPeriods({{"8:00:00", "18:00:00"}});
  o.AlarmStartDelay = 1;
  o.MotionDetect[1] = true;
  o.MotionDetect[2] = false;
  o.MotionDetectInTimes[2] = true;
  o.MotionDetect[3] = false;
  o.MotionDetectInTimes[3] = false;
  const TDateTime started = T("2026-12-11 10:00:00");
  struct Case {
    int channel;
    const char* now;
    bool on;
  } cases[] = {
      {1, "2026-12-11 10:00:59", false}, {1, "2026-12-11 10:01:00", false},  // the delay not past yet
      {1, "2026-12-11 10:01:01", true},  {1, "2026-12-11 23:00:00", true},   // all hours
      {2, "2026-12-11 10:01:01", true},  {2, "2026-12-11 19:00:00", false},  // inside periods only
      {3, "2026-12-11 12:00:00", false},
  };
  for (const Case& c : cases) EXPECT_EQ(DetectorShouldBeOn(o, c.channel, started, T(c.now)), c.on) << c.channel << " " << c.now;
}

TEST(AlarmRules, GridsFromTheSensitivity) {
  EXPECT_EQ(DetectorGrid(3).substr(0, 22), "3333333333 3333333333 ");
  TMotionDetector d;
  EXPECT_TRUE(d.SetGrid(kInitialDetectorGrid));
  EXPECT_EQ(d.Digit(0, 0), 4);
  EXPECT_TRUE(d.SetGrid(DetectorGrid(0)));
  EXPECT_EQ(d.Digit(9, 9), 0);
  EXPECT_FALSE(d.SetGrid(DetectorGrid(12)));  // two digits: rejected, the zero grid stays
  EXPECT_FALSE(d.SetGrid(DetectorGrid(-1)));
  EXPECT_EQ(d.Grid(), DetectorGrid(0));
}

TEST(AlarmRules, PictureRateAndWhetherAPictureIsNeeded) {
  TOption o;
  o.SavePicMode = 2;
  o.SavePicSecs = 3;
  const TDateTime last = T("2026-12-11 10:00:00");
  EXPECT_TRUE(AlarmPictureDue(o, 0, last));
  EXPECT_FALSE(AlarmPictureDue(o, last, T("2026-12-11 10:00:02")));
  EXPECT_TRUE(AlarmPictureDue(o, last, T("2026-12-11 10:00:03")));
  o.SavePicMode = 1;
  EXPECT_TRUE(AlarmPictureDue(o, last, last));

  struct Case {
    bool ftp, email;
    int emailMode;
    bool picture, needed;
  } cases[] = {{false, true, 2, false, false}, {false, true, 1, false, true}, {true, false, 1, false, true},
               {false, false, 1, true, true},  {false, false, 1, false, false}};
  for (const Case& c : cases) {
    o.AlarmFTP = c.ftp;
    o.AlarmEmail = c.email;
    o.EmailMode = c.emailMode;
    o.AlarmPicture = c.picture;
    EXPECT_EQ(AlarmNeedsPicture(o), c.needed);
  }
}
