// The channel commands of the pop-up menu and the snapshot command, on virtual cameras.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "CaptureTestSupport.h"
#include "StationFixture.h"
#include "app/ChannelView.h"
#include "app/DeviceSettingsDialog.h"
#include "platform/capture/Grabber.h"

namespace vigil {
namespace {

using test::WaitFor;

class ChannelCommands : public ::testing::Test {
 protected:
  void Make(const std::function<void(TOption&)>& edit = {}) {
    test::WriteConfig(home_.path(), [&](TOption& o) {
      test::QuietDefaults(o);
      if (edit) edit(o);
    });
    station_ = std::make_unique<test::Station>(
        std::vector<capture::SourceInfo>{test::StillCamera(1), test::StillCamera(2)}, clock_);
  }
  TfrmMain& form() { return station_->form(); }
  TChannel& ch(int n) { return (*station_)[n]; }
  void Select(int n) { form().SelectedChannel = n; }

  test::TempHome home_;
  std::shared_ptr<test::ShiftedClock> clock_ = std::make_shared<test::ShiftedClock>();
  std::unique_ptr<test::Station> station_;
};

// "数据源设置(&S)" is offered only for channels whose device exists; a virtual camera's
// dialog says it has no controls.
TEST_F(ChannelCommands, DataSourceItemFollowsTheDeviceCount) {
  Make();
  for (auto [channel, enabled] : {std::pair{1, true}, {2, true}, {3, false}, {9, false}}) {
    Select(channel);
    QTimer::singleShot(0, form().pm1, [this] { form().pm1->close(); });
    form().pm1->exec(QPoint(10, 10));
    EXPECT_EQ(form().mnuDataSource->isEnabled(), enabled) << "channel " << channel;
  }
  TDeviceSettingsDialog dialog(2, station_->channels().Sources().at(1));
  EXPECT_TRUE(dialog.Message().contains(QStringLiteral("没有可调的设备参数"))) << dialog.Message().toStdString();
  capture::SourceInfo missing;
  missing.kind = capture::SourceKind::V4l2;
  missing.location = (home_ / "video99").string();
  missing.title = QStringLiteral("video99");
  TDeviceSettingsDialog broken(1, missing);
  EXPECT_TRUE(broken.Message().contains(QStringLiteral("无法打开设备"))) << broken.Message().toStdString();
}

// Preview, record and disconnect of the selected channel, each through the menu's command.
TEST_F(ChannelCommands, PreviewRecordDisconnect) {
  Make();
  Select(2);
  form().RunCommand(TCommand::PreviewChannel);
  ASSERT_TRUE(WaitFor([&] { return ch(2).State == TChannelState::Previewing; }, 10000));
  EXPECT_EQ(ch(1).State, TChannelState::Stopped);
  EXPECT_EQ(form().SavedVideoCount, 0);

  form().RunCommand(TCommand::RecordChannel);  // switches the running preview to recording
  ASSERT_TRUE(WaitFor([&] { return ch(2).State == TChannelState::Recording; }, 10000));
  EXPECT_EQ(form().SavedVideoCount, 1);
  const QString file = ch(2).RecordingFile;
  const QString day = FormatDateTime(QStringLiteral("yyyymmdd"), form().Now());
  EXPECT_TRUE(file.startsWith(Option.VideoPath + day + QLatin1Char('/'))) << file.toStdString();
  EXPECT_TRUE(file.endsWith(QStringLiteral("(2).AVI"))) << file.toStdString();
  ASSERT_TRUE(WaitFor([&] { return ch(2).Grabber->stats().recorded >= 10; }));

  form().RunCommand(TCommand::DisconnectChannel);
  EXPECT_EQ(ch(2).State, TChannelState::Stopped);
  EXPECT_FALSE(ch(2).Grabber->running());
  ASSERT_TRUE(WaitFor([&] { return ch(2).RecordingFile.isEmpty(); }));
  const auto streams = test::Probe(file.toStdString());
  const test::StreamProbe* video = test::VideoStream(streams);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->width, 320);
  EXPECT_GE(video->frames, 10);

  // A channel without a device does not record.
  Select(5);
  form().RunCommand(TCommand::RecordChannel);
  EXPECT_EQ(form().SavedVideoCount, 1);
  EXPECT_FALSE(ch(5).Grabber->running());
}

// A source that cannot be opened says so in its view; the other channels run on.
TEST_F(ChannelCommands, UnopenableSourceShowsItsStateOthersRun) {
  test::WriteConfig(home_.path(), test::QuietDefaults);
  auto bad = capture::ParseExtraSource(QStringLiteral("rtsp://127.0.0.1:9/none"), QStringLiteral("门口"));
  ASSERT_TRUE(bad);
  station_ = std::make_unique<test::Station>(std::vector<capture::SourceInfo>{*bad, test::StillCamera(2)},
                                             std::make_shared<SystemClock>());
  form().btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return !ch(1).View->StatusText().isEmpty(); }, 15000));
  EXPECT_TRUE(ch(1).View->StatusText().contains(QStringLiteral("门口"))) << ch(1).View->StatusText().toStdString();
  EXPECT_EQ(ch(1).State, TChannelState::Stopped);
  ASSERT_TRUE(WaitFor([&] { return ch(2).State == TChannelState::Previewing; }, 10000));
  EXPECT_TRUE(form().Monitoring());
}

// A recording that cannot get its day folder says so over the picture and previews; a
// channel without a device says that it has none.
TEST_F(ChannelCommands, RecordingWithoutFolderPreviewsAndSaysWhy) {
  test::WriteFile(home_ / "blocked", "a file where the folder should be");
  Make([this](TOption& o) {
    o.RecordCamera[1] = true;
    o.VideoPath = QString::fromStdString((home_ / "blocked").string()) + QLatin1Char('/');
  });
  form().btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return ch(1).State == TChannelState::Previewing; }, 10000));
  EXPECT_TRUE(ch(1).View->Message().contains(QStringLiteral("无法录像"))) << ch(1).View->Message().toStdString();
  EXPECT_TRUE(ch(1).RecordingFile.isEmpty());
  EXPECT_EQ(form().SavedVideoCount, 1);  // a start is counted whether or not it was accepted

  Select(5);
  form().RunCommand(TCommand::PreviewChannel);
  ASSERT_TRUE(WaitFor([&] { return !ch(5).View->StatusText().isEmpty(); }, 10000));
  EXPECT_TRUE(ch(5).View->StatusText().contains(QStringLiteral("设备4"))) << ch(5).View->StatusText().toStdString();
  EXPECT_EQ(ch(5).State, TChannelState::Stopped);
}

// "--virtual-cameras N" adds N cameras after the machine's own; "--demo-if-no-camera" adds
// four when there is none.
TEST(CommandLine, VirtualAndDemoCameras) {
  test::TempHome home;
  test::WriteConfig(home.path(), test::QuietDefaults);
  const int devices = static_cast<int>(capture::ListSources(ConfigFilePath(), 0).size());
  {
    test::Station station(TStartOptions{3, false});
    EXPECT_EQ(station.channels().DeviceCount(), std::min(devices + 3, kCameraCount));
    EXPECT_EQ(station.channels().Sources().back().kind, capture::SourceKind::Virtual);
  }
  test::Station demo(TStartOptions{0, true});
  EXPECT_EQ(demo.channels().DeviceCount(), devices == 0 ? 4 : devices);
}

// A burst: pictures -1 .. -BurstCount with one base name, decodable, none counted.
TEST_F(ChannelCommands, SnapshotBurstAndSingle) {
  Make([](TOption& o) {
    o.PhotoMode = 2;
    o.BurstCount = 3;
    o.PhotoInterval = 100;
    o.PhotoFormat = 1;
  });
  Select(1);
  form().RunCommand(TCommand::PreviewChannel);
  ASSERT_TRUE(WaitFor([&] { return ch(1).State == TChannelState::Previewing; }, 10000));
  ASSERT_TRUE(WaitFor([&] { return ch(1).Grabber->stats().frames > 3; }));
  form().RunCommand(TCommand::Photo);
  const QString base = ch(1).BurstBase;
  EXPECT_TRUE(base.startsWith(Option.PhotoPath));
  EXPECT_TRUE(base.endsWith(QStringLiteral("(1)")));
  ASSERT_TRUE(WaitFor([&] { return test::FilesIn(Option.PhotoPath.toStdString()).size() == 3; }));
  EXPECT_FALSE(ch(1).BurstTimer->isActive());
  for (int k = 1; k <= 3; ++k) {
    QImage picture(base + QStringLiteral("-%1.JPG").arg(k));
    EXPECT_EQ(picture.size(), QSize(320, 240)) << k;
  }
  EXPECT_EQ(form().SavedPictureCount, 0);

  // One picture each time, as BMP, whatever BurstCount says; a snapshot folder deleted by
  // hand comes back.
  std::filesystem::remove_all(Option.PhotoPath.toStdString());
  Option.PhotoMode = 1;
  Option.PhotoFormat = 0;
  clock_->AdvanceSeconds(2);  // a new base name
  form().RunCommand(TCommand::Photo);
  ASSERT_TRUE(WaitFor([&] { return test::FilesIn(Option.PhotoPath.toStdString()).size() == 1; }));
  EXPECT_EQ(QImage(ch(1).BurstBase + QStringLiteral("-1.BMP")).size(), QSize(320, 240));
  EXPECT_FALSE(ch(1).BurstTimer->isActive());
}

}  // namespace
}  // namespace vigil
