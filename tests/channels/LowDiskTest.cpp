// The low-disk policy on a small tmpfs filled with real recordings. The tmpfs is mounted
// in a private mount namespace of a child run of this test (the host's mounts are never
// touched); where that is not allowed the test says so and skips.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <QProcess>

#include "CaptureTestSupport.h"
#include "StationFixture.h"
#include "platform/capture/Grabber.h"
#include "settings/SystemServices.h"

#include <cstring>

namespace vigil {
namespace {

namespace fs = std::filesystem;
using test::WaitFor;

constexpr const char* kChildVar = "VIGIL_LOWDISK_CHILD";
constexpr const char* kSkipMark = "LOWDISK-SKIP: ";
constexpr int kTmpfsMb = 24;
constexpr int kMinFreeMb = 8;

// Runs this test again in a child process that sets up its own mount namespace.
void RunInChild(const char* testName) {
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QString::fromLatin1(kChildVar), QStringLiteral("1"));
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QStringLiteral("/proc/self/exe"),
              {QStringLiteral("--gtest_filter=LowDisk.%1").arg(QString::fromLatin1(testName))});
  ASSERT_TRUE(child.waitForFinished(180000));
  const QString output = QString::fromLocal8Bit(child.readAll());
  const qsizetype skip = output.indexOf(QString::fromLatin1(kSkipMark));
  if (skip >= 0) GTEST_SKIP() << output.mid(skip).section(QLatin1Char('\n'), 0, 0).toStdString();
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
}

// In the child: a private mount namespace with a small tmpfs over `folder`.
bool MountSmallDisk(const fs::path& folder) {
  const auto skip = [](const char* step) {
    std::printf("%s%s failed (%s): no private tmpfs here\n", kSkipMark, step, std::strerror(errno));
    return false;
  };
  if (unshare(CLONE_NEWNS) != 0) return skip("unshare(CLONE_NEWNS)");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return skip("making / private");
  const std::string options = "size=" + std::to_string(kTmpfsMb) + "m";
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) return skip("mount tmpfs");
  return true;
}

int64_t FreeBytes(const fs::path& p) { return DiskSpace(p).free; }

class LowDisk : public ::testing::Test {
 protected:
  // Mounts the disk, records one real file and copies it into old day folders until the
  // free space is below the threshold. False when the child cannot mount.
  bool Prepare(int diskFullMode) {
    if (!MountSmallDisk(home_.path())) return false;
    test::WriteConfig(home_.path(), [&](TOption& o) {
      test::QuietDefaults(o);
      o.RecordCamera[1] = true;
      o.Compressor = 5;
      o.DiskFullMode = diskFullMode;
      o.SaveInterval = 600;
    });
    station_ = std::make_unique<test::Station>(std::vector<capture::SourceInfo>{test::MovingCamera(1, 1000)},
                                               std::make_shared<SystemClock>());
    station_->timer().tmrSys().stop();  // ticked by the test
    videos_ = Option.VideoPath.toStdString();
    station_->form().btnStartClick();
    EXPECT_TRUE(WaitFor([&] { return (*station_)[1].Grabber->stats().recorded >= 25; }));
    station_->form().btnStopClick();
    EXPECT_TRUE(WaitFor([&] { return (*station_)[1].RecordingFile.isEmpty(); }));
    const auto made = test::FilesIn(videos_ / FormatDateTime(QStringLiteral("yyyymmdd"), SystemClock().Now()).toStdString());
    EXPECT_EQ(made.size(), 1u);
    if (made.empty()) return false;

    // Old days, oldest first, each file older than the next.
    const auto base = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    int i = 0;
    for (int day = 1; FreeBytes(videos_) >= int64_t{kMinFreeMb - 2} * 1048576; day = day % 28 + 1) {
      const fs::path folder = videos_ / QStringLiteral("200905%1").arg(day, 2, 10, QLatin1Char('0')).toStdString();
      fs::create_directories(folder);
      const fs::path file = folder / QStringLiteral("%1(1).AVI").arg(100000 + i, 6, 10, QLatin1Char('0')).toStdString();
      fs::copy_file(made[0], file);
      fs::last_write_time(file, base + std::chrono::seconds(i));
      old_.push_back(file);
      ++i;
    }
    std::sort(old_.begin(), old_.end());
    // Files the station did not make, which no policy may touch.
    test::WriteFile(videos_ / "readme.txt", "mine");
    test::WriteFile(old_.front().parent_path() / "notes.txt", "mine");
    Option.MinDiskSpace = kMinFreeMb;
    return true;
  }

  void Tick() { station_->timer().tmrSysTimer(); }

  test::TempHome home_;
  std::unique_ptr<test::Station> station_;
  fs::path videos_;
  std::vector<fs::path> old_;
};

// "存盘模式" 1: each low tick deletes the oldest recording, never the one being written nor
// anything the station did not make, and recording goes on.
TEST_F(LowDisk, OverwriteDeletesOldestFirstAndRecordingGoesOn) {
  if (!qEnvironmentVariableIsSet(kChildVar)) return RunInChild("OverwriteDeletesOldestFirstAndRecordingGoesOn");
  if (!Prepare(1)) return;
  ASSERT_GE(old_.size(), 3u);
  station_->form().btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return !(*station_)[1].RecordingFile.isEmpty(); }));
  const fs::path current = (*station_)[1].RecordingFile.toStdString();
  size_t deleted = 0;
  for (int tick = 0; tick < 200 && FreeBytes(videos_) < int64_t{kMinFreeMb} * 1048576; ++tick) {
    Tick();
    while (deleted < old_.size() && !fs::exists(old_[deleted])) ++deleted;
    // Always a prefix of the oldest files is gone.
    for (size_t k = deleted; k < old_.size(); ++k) ASSERT_TRUE(fs::exists(old_[k])) << old_[k] << " before " << deleted;
  }
  EXPECT_GE(FreeBytes(videos_), int64_t{kMinFreeMb} * 1048576);
  EXPECT_GE(deleted, 1u);
  EXPECT_LT(deleted, old_.size());
  EXPECT_TRUE(fs::exists(videos_ / "readme.txt"));
  EXPECT_TRUE(fs::exists(old_.front().parent_path() / "notes.txt"));
  EXPECT_EQ((*station_)[1].State, TChannelState::Recording);
  const int64_t at = (*station_)[1].Grabber->stats().recorded;
  ASSERT_TRUE(WaitFor([&] { return (*station_)[1].Grabber->stats().recorded >= at + 25; }));
  station_->form().btnStopClick();
  ASSERT_TRUE(WaitFor([&] { return (*station_)[1].RecordingFile.isEmpty(); }));
  const auto streams = test::Probe(current);
  ASSERT_NE(test::VideoStream(streams), nullptr);
  EXPECT_GE(test::VideoStream(streams)->frames, 20);
}

// "存盘模式" 2: recording stops, the channel previews, the file is closed and plays, and
// nothing is deleted.
TEST_F(LowDisk, StopSavingBackToPreview) {
  if (!qEnvironmentVariableIsSet(kChildVar)) return RunInChild("StopSavingBackToPreview");
  if (!Prepare(2)) return;
  station_->form().btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return !(*station_)[1].RecordingFile.isEmpty(); }));
  const fs::path current = (*station_)[1].RecordingFile.toStdString();
  Tick();
  ASSERT_TRUE(WaitFor([&] { return (*station_)[1].State == TChannelState::Previewing; }));
  EXPECT_TRUE((*station_)[1].RecordingFile.isEmpty());
  Tick();
  for (const fs::path& f : old_) EXPECT_TRUE(fs::exists(f)) << f;
  EXPECT_FALSE((*station_)[1].AlarmFrameOn);
  const auto streams = test::Probe(current);
  ASSERT_NE(test::VideoStream(streams), nullptr);
  station_->form().btnStopClick();
}

}  // namespace
}  // namespace vigil
