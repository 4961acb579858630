// Alarms end to end: virtual cameras whose ball moves and then rests, the detectors switched
// by the system timer, pictures, both queues, the alarm program, the alarm periods.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>

#include "StationFixture.h"
#include "app/StationState.h"
#include "platform/capture/Grabber.h"

namespace vigil {
namespace {

using test::WaitFor;

TDateTime Today(int h, int mi) { return DatePart(SystemClock().Now()) + (h * 60 + mi) / 1440.0; }

// Counts the motion reports of each channel as they reach the UI thread.
struct MotionLog {
  explicit MotionLog(TChannels& channels) {
    QObject::connect(&channels, &TChannels::MotionDetected, &channels, [this, &channels](int n) {
      ++motion[n];
      gone[n] = 0;
      frameSeen[n] = frameSeen[n] || channels[n].AlarmFrameOn;
    });
    QObject::connect(&channels, &TChannels::MotionGone, &channels, [this](int n) { ++gone[n]; });
  }
  std::map<int, int> motion, gone;  // gone: no-motion reports since the last motion
  std::map<int, bool> frameSeen;
};

class Alarms : public ::testing::Test {
 protected:
  void SetUp() override {
    FtpQueue.Clear();
    MailQueue.Clear();
  }
  void TearDown() override {
    FtpQueue.Clear();
    MailQueue.Clear();
  }
  void Start(std::vector<capture::SourceInfo> sources, const std::function<void(TOption&)>& edit) {
    test::WriteConfig(home_.path(), [&](TOption& o) {
      test::QuietDefaults(o);
      o.ShowAlarmFrame = true;
      o.AlarmPicture = o.AlarmFTP = o.AlarmEmail = true;
      o.EmailMode = 1;
      o.SavePicMode = 1;
      o.PicFormat = 1;
      o.AlarmSound = true;
      o.WavFile = QString::fromStdString(test::SourcePath("WAV/AlarmSound.WAV").string());
      edit(o);
    });
    station_ = std::make_unique<test::Station>(std::move(sources), clock_);
    log_ = std::make_unique<MotionLog>(station_->channels());
    station_->form().btnStartClick();
  }
  std::vector<std::filesystem::path> Pictures() {
    const QString day = FormatDateTime(QStringLiteral("yyyymmdd"), clock_->Now());
    return test::FilesIn((Option.PicPath + day).toStdString());
  }

  test::TempHome home_;
  std::shared_ptr<test::ShiftedClock> clock_ = std::make_shared<test::ShiftedClock>();
  std::unique_ptr<test::Station> station_;
  std::unique_ptr<MotionLog> log_;
};

// While the ball moves: warning frame, pictures named hhnnss(1).JPG in today's folder, both
// queues; once it rests, and on the camera that never moves: nothing.
TEST_F(Alarms, RaisedWhileTheObjectMovesNoneAtRest) {
  const std::filesystem::path ran = home_ / "ran.txt";
  Start({test::MovingCamera(1, 4.0), test::StillCamera(2)}, [&](TOption& o) {
    o.RunProg = qEnvironmentVariable("VIGIL_PYTHON", QStringLiteral("/usr/bin/python3"));
    o.ProgPara = QStringLiteral("-c \"open('%1', 'a').write('alarm\\n')\"").arg(QString::fromStdString(ran.string()));
    o.RunOnlyOnce = true;
  });
  test::Station& s = *station_;
  ASSERT_TRUE(WaitFor([&] { return log_->motion[1] >= 2; }, 15000));
  // The ball stops 4 s after the camera started; then six quiet comparisons in a row.
  ASSERT_TRUE(WaitFor([&] { return log_->gone[1] >= 6; }, 20000));
  const int motions = log_->motion[1];
  const auto pictures = Pictures();
  ASSERT_TRUE(WaitFor([&] { return log_->gone[1] >= 10; }, 10000));
  EXPECT_EQ(log_->motion[1], motions) << "no motion while the ball rests";
  EXPECT_EQ(Pictures(), pictures);
  EXPECT_EQ(log_->motion[2], 0) << "the still camera never alarms";
  EXPECT_GE(log_->gone[2], 10);
  EXPECT_TRUE(log_->frameSeen[1]);
  EXPECT_FALSE(s[1].AlarmFrameOn);

  ASSERT_GE(pictures.size(), 2u);
  EXPECT_LE(pictures.size(), 6u) << "naming mode 1: at most one picture a second";
  QStringList names;
  for (const auto& p : pictures) {
    const QString name = QString::fromStdString(p.filename().string());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{6}\\(1\\)\\.JPG$")).match(name).hasMatch()) << p;
    EXPECT_EQ(QImage(QString::fromStdString(p.string())).size(), QSize(320, 240)) << p;
    names << QString::fromStdString(p.string());
  }
  EXPECT_EQ(s.form().SavedPictureCount, static_cast<int>(pictures.size()));
  EXPECT_EQ(FtpQueue.Peek(100), names);
  EXPECT_EQ(MailQueue.Peek(100), names);
  s.timer().tmrSysTimer();
  EXPECT_EQ(s.form().lblSavePic->text(), QString::number(pictures.size()));

  // "RunOnlyOnce": one start for the whole monitoring run, with its quoted argument intact.
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(QString::fromStdString(ran.string())); }));
  EXPECT_EQ(test::ReadFile(ran), "alarm\n");
}

// The alarm periods decide when a detector that is on only "in times" may alarm: outside
// them the moving camera is quiet, inside (also across midnight) it alarms; a missing alarm
// program or sound file takes nothing away from the pictures.
TEST_F(Alarms, OnlyInsideTheAlarmPeriods) {
  struct Case {
    TDateTime now, from, to;
    bool alarms;
  };
  const Case cases[] = {
      {Today(20, 0), Today(8, 0), Today(18, 0), false},
      {Today(10, 0), Today(8, 0), Today(18, 0), true},
      {Today(23, 0), Today(22, 0), Today(6, 0), true},
      {Today(12, 0), Today(22, 0), Today(6, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FormatDateTime(QStringLiteral("hh:nn"), c.now).toStdString());
    station_.reset();
    FtpQueue.Clear();
    if (!Option.PicPath.isEmpty()) std::filesystem::remove_all(Option.PicPath.toStdString());
    clock_->Set(c.now);
    Start({test::MovingCamera(1, 1000)}, [&](TOption& o) {
      o.MotionDetect[1] = false;
      o.MotionDetectInTimes[1] = true;
      o.TimesCount = 1;
      o.StartTimes[1] = TimePart(c.from);
      o.EndTimes[1] = TimePart(c.to);
      o.RunProg = QStringLiteral("/nonexistent/alarm-program");
      o.WavFile = QStringLiteral("/nonexistent/sound.wav");
    });
    if (c.alarms) {
      ASSERT_TRUE(WaitFor([&] { return FtpQueue.Count() >= 2; }, 15000));
      EXPECT_GE(log_->motion[1], 2);
    } else {
      // Three seconds of a moving ball with the detector off.
      ASSERT_TRUE(WaitFor([&] { return (*station_)[1].Grabber->stats().frames >= 75; }, 15000));
      EXPECT_EQ(log_->motion[1] + log_->gone[1], 0);
      EXPECT_TRUE(Pictures().empty());
      EXPECT_EQ(FtpQueue.Count(), 0);
    }
  }
}

}  // namespace
}  // namespace vigil
