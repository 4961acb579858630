// Recording end to end with virtual cameras: day folders, rotation across midnight, the
// counters, and "录像方式" 2 (only recordings that hold an alarm are kept).
#include <gtest/gtest.h>

#include <QLabel>

#include "CaptureTestSupport.h"
#include "StationFixture.h"
#include "platform/capture/Grabber.h"

namespace vigil {
namespace {

using test::WaitFor;

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return *EncodeDateTime({y, mo, d, h, mi, s, 0}); }

void ExpectPlayable(const std::filesystem::path& file, int minFrames) {
  SCOPED_TRACE(file.string());
  const auto streams = test::Probe(file);
  const test::StreamProbe* v = test::VideoStream(streams);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->tag, "XVID");
  EXPECT_EQ(v->width, 320);
  EXPECT_EQ(v->height, 240);
  EXPECT_EQ(v->rate, "25/1");
  EXPECT_GE(v->frames, minFrames);
}

// Both recording channels start in the day folder of the start, the rotation after
// SaveInterval minutes opens the next day's folder, and every file plays.
TEST(Recording, DayFoldersAndRotationAcrossMidnight) {
  test::TempHome home;
  test::WriteConfig(home.path(), [](TOption& o) {
    test::QuietDefaults(o);
    o.RecordCamera[1] = o.RecordCamera[2] = true;
    o.Compressor = 5;
    o.SaveInterval = 30;
  });
  auto clock = std::make_shared<test::ShiftedClock>();
  clock->Set(At(2009, 5, 17, 23, 59, 40));
  test::Station station({test::StillCamera(1), test::StillCamera(2)}, clock);
  station.form().btnStartClick();
  for (int n : {1, 2}) ASSERT_TRUE(WaitFor([&] { return station[n].State == TChannelState::Recording; }, 10000));
  EXPECT_EQ(station.form().SavedVideoCount, 2);
  const std::filesystem::path videos = Option.VideoPath.toStdString();
  const auto first = test::FilesIn(videos / "20090517");
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].filename().string().substr(6), "(1).AVI");
  EXPECT_TRUE(first[0].filename().string().starts_with("2359"));
  ASSERT_TRUE(WaitFor([&] { return station[2].Grabber->stats().recorded >= 15; }));

  // Not due yet: nothing changes.
  station.timer().tmrSysTimer();
  EXPECT_EQ(station.form().SavedVideoCount, 2);

  clock->AdvanceSeconds(30 * 60);
  station.timer().tmrSysTimer();
  EXPECT_EQ(station.form().SavedVideoCount, 4);
  ASSERT_TRUE(WaitFor([&] { return test::FilesIn(videos / "20090518").size() == 2; }));
  ASSERT_TRUE(WaitFor([&] { return station[1].RecordingFile.contains(QStringLiteral("20090518")); }));
  // The next ticks before the new file's report must not switch again.
  station.timer().tmrSysTimer();
  EXPECT_EQ(station.form().SavedVideoCount, 4);
  EXPECT_EQ(station.form().lblSaveAvi->text(), QStringLiteral("4"));
  const int64_t at = station[1].Grabber->stats().recorded;
  ASSERT_TRUE(WaitFor([&] { return station[1].Grabber->stats().recorded >= at + 15; }));
  station.form().btnStopClick();
  ASSERT_TRUE(WaitFor([&] { return station[1].RecordingFile.isEmpty() && station[2].RecordingFile.isEmpty(); }));

  for (const auto& day : {"20090517", "20090518"})
    for (const auto& file : test::FilesIn(videos / day)) ExpectPlayable(file, 10);
}

// "录像方式" 2: the file of a channel that saw motion is kept, the file of a still camera
// is deleted when it ends; with mode 1 both stay.
TEST(Recording, OnlyRecordingsWithAnAlarmAreKept) {
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    test::TempHome home;
    test::WriteConfig(home.path(), [mode](TOption& o) {
      test::QuietDefaults(o);
      o.RecordMode = mode;
      o.RecordCamera[1] = o.RecordCamera[2] = true;
      o.AlarmPicture = false;
      o.ShowAlarmFrame = false;
    });
    auto clock = std::make_shared<test::ShiftedClock>();
    test::Station station({test::MovingCamera(1, 1000), test::StillCamera(2)}, clock);
    int motions = 0;
    QObject::connect(&station.channels(), &TChannels::MotionDetected, [&](int n) { motions += n == 1; });
    station.form().btnStartClick();
    // The timer switches the detectors on; the moving camera reports motion.
    ASSERT_TRUE(WaitFor([&] { return motions >= 2; }, 15000));
    ASSERT_TRUE(WaitFor([&] { return station[2].Grabber->stats().recorded >= 10; }));
    const std::filesystem::path kept = station[1].RecordingFile.toStdString();
    const std::filesystem::path still = station[2].RecordingFile.toStdString();
    station.form().btnStopClick();
    ASSERT_TRUE(WaitFor([&] { return station[1].RecordingFile.isEmpty() && station[2].RecordingFile.isEmpty(); }));
    ExpectPlayable(kept, 10);
    EXPECT_EQ(std::filesystem::exists(still), mode != 2);
  }
}

}  // namespace
}  // namespace vigil
