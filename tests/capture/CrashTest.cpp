// Recordings that end badly: the process killed, the disk full. record_helper records in a
// child process so the test can kill it or give it a file-size limit.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <iostream>

#include "CaptureTestSupport.h"
#include "TempHome.h"

using namespace vigil;

namespace {

struct Helper {
  QProcess process;
  long long frames = 0;
  QStringList errors;
  QString closed;

  void Start(const QStringList& args) {
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
      while (process.canReadLine()) {
        QString line = QString::fromUtf8(process.readLine()).trimmed();
        if (line.startsWith(QLatin1String("frames "))) frames = line.mid(7).toLongLong();
        if (line.startsWith(QLatin1String("error "))) errors << line.mid(6);
        if (line.startsWith(QLatin1String("closed "))) closed = line.mid(7);
      }
    });
    process.start(QStringLiteral(RECORD_HELPER), args);
    ASSERT_TRUE(process.waitForStarted());
  }
};

// A killed process leaves a file that plays up to about a second before the kill.
TEST(CrashSafety, KilledWhileRecordingLeavesAPlayableFile) {
  test::TempHome home;
  const auto file = home / "killed(1).AVI";
  Helper h;
  h.Start({QString::fromStdString(file.string())});
  ASSERT_TRUE(test::WaitUntil([&] { return h.frames >= 100; }, 30000)) << h.process.readAllStandardError().toStdString();
  h.process.kill();  // SIGKILL
  h.process.waitForFinished();
  const long long written = h.frames;

  std::string log;
  auto streams = test::Probe(file, &log);
  const test::StreamProbe* v = test::VideoStream(streams);
  ASSERT_NE(v, nullptr) << log;
  EXPECT_EQ(v->tag, "XVID");
  const long long lost = written - v->frames;
  std::cout << "kill -9 after " << written << " frames: " << v->frames << " playable, " << lost
            << " lost (" << lost / 25.0 << " s)\n";
  RecordProperty("frames_lost", static_cast<int>(lost));
  EXPECT_GT(v->frames, 0);
  EXPECT_LE(lost, 50) << "more than 2 s of frames lost";
}

// A full disk (a file-size limit here) ends the recording with a message; the file holds
// what fitted and plays.
TEST(CrashSafety, DiskFullClosesTheFileValid) {
  test::TempHome home;
  const auto file = home / "full(1).AVI";
  Helper h;
  h.Start({QString::fromStdString(file.string()), QStringLiteral("--fsize"), QStringLiteral("150000")});
  ASSERT_TRUE(h.process.waitForFinished(60000));
  h.process.readAllStandardOutput();
  QCoreApplication::processEvents();
  EXPECT_EQ(h.process.exitStatus(), QProcess::NormalExit) << "no crash";
  ASSERT_FALSE(h.errors.isEmpty());
  EXPECT_TRUE(h.errors[0].contains(QStringLiteral("写入失败"))) << h.errors[0].toStdString();
  EXPECT_TRUE(h.closed.startsWith(QLatin1String("FAILED"))) << h.closed.toStdString();
  EXPECT_LE(std::filesystem::file_size(file), 150000u);
  const auto streams = test::Probe(file);
  const test::StreamProbe* v = test::VideoStream(streams);
  ASSERT_NE(v, nullptr);
  EXPECT_GT(v->frames, 10);
}

}  // namespace
