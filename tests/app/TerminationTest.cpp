// A station asked to end by the system (SIGTERM, as a service manager or log-out sends it)
// goes through its normal shutdown: no exit prompt, exit code 0, and its recording closed
// as a complete file.
#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>

#include "AppTestSupport.h"
#include "TempHome.h"

namespace vigil {
namespace {

namespace fs = std::filesystem;

fs::path OnlyRecording(const fs::path& videos) {
  std::error_code ec;
  for (const auto& day : fs::directory_iterator(videos, ec))
    for (const auto& f : fs::directory_iterator(day.path(), ec))
      if (f.path().extension() == ".AVI") return f.path();
  return {};
}

TEST(Termination, SigtermEndsWithoutPromptAndClosesTheRecording) {
  test::TestApp();
  test::TempHome home;
  const fs::path runtime = home / "run";
  fs::create_directory(runtime);
  test::WriteConfig(home.path(), [](TOption& o) {
    o.MonitorAtStart = true;
    o.RecordCamera[1] = true;
    o.UsePassword = true;  // the exit prompt must not stand in the way
    o.Password = QStringLiteral("secret");
    o.ProtectExit = true;
    o.ProtectStart = o.ProtectStop = false;
    o.AlarmSound = false;
  });
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("VIGIL_HOME"), QString::fromStdString(home.path().string()));
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
  test::StationProcess station(env);
  station.Start({QStringLiteral("--virtual-cameras"), QStringLiteral("1")});

  fs::path file;
  ASSERT_TRUE(test::WaitFor(
      [&] {
        file = OnlyRecording(home / "Video");
        std::error_code ec;
        return !file.empty() && fs::file_size(file, ec) > 40'000;
      },
      30'000))
      << (station.Kill9(), station.WaitForExit(1000), station.Output().toStdString());
  ::kill(static_cast<pid_t>(station.Pid()), SIGTERM);
  EXPECT_EQ(station.WaitForExit(20'000), 0) << station.Output().toStdString();

  // Closed properly: the index is there, so every frame is found and the length is known.
  QProcess probe;
  probe.start(QStringLiteral("ffprobe"),
              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
               QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
               QStringLiteral("stream=codec_tag_string,nb_frames,nb_read_frames"), QStringLiteral("-of"),
               QStringLiteral("csv=p=0"), QString::fromStdString(file.string())});
  ASSERT_TRUE(probe.waitForFinished(30'000));
  const QStringList fields = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().split(QLatin1Char(','));
  ASSERT_EQ(fields.size(), 3) << fields.join(QLatin1Char(',')).toStdString();
  EXPECT_EQ(fields[0], QStringLiteral("XVID"));
  EXPECT_GT(fields[2].toInt(), 10);
  EXPECT_EQ(fields[1], fields[2]) << "the header's frame count matches the frames read";
}

}  // namespace
}  // namespace vigil
