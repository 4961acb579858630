// The whole station, headless, with 9 virtual cameras at 640×480 recording with the
// XviD-named compressor: CPU time with motion detection (and its alarm actions) on against
// the same run with detection off. Each run is a child process of its own, alternating
// off/on, so both see the same machine.
//   bench_station [SECONDS] [ROUNDS]
#include <sys/resource.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/Channels.h"
#include "app/MainForm.h"
#include "platform/capture/Grabber.h"
#include "settings/Options.h"

using namespace vigil;

namespace {

constexpr int kCameras = 9;

double CpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

void WriteSettings(bool detect) {
  TOption o;
  LoadOptions(o, ConfigFilePath().parent_path() / "missing.ini");
  o.FirstRun = false;
  o.MonitorAtStart = true;
  o.NewVideoTip = false;
  o.VideoSize = 3;  // 640 × 480
  o.Compressor = 5;
  o.AlarmStartDelay = 0;
  o.AlarmSound = false;  // no sound device on a build machine
  for (int n = 1; n <= kCameras; ++n) {
    o.UseVideo[n] = true;
    o.RecordCamera[n] = true;
    o.MotionDetect[n] = detect;
    o.MotionDetectInTimes[n] = false;
  }
  SaveOptions(o);
}

// One station run; prints "cpu frames dropped pictures".
int RunStation(bool detect, int seconds) {
  int argc = 1;
  char name[] = "bench_station";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  WriteSettings(detect);
  TStartOptions options;
  options.VirtualCameras = kCameras;
  TfrmMain form(options);
  form.show();
  double startCpu = 0;
  // Measure once all channels run, for `seconds`.
  QTimer::singleShot(3000, [&] { startCpu = CpuSeconds(); });
  QTimer::singleShot(3000 + seconds * 1000, [] { QCoreApplication::exit(0); });  // no close prompt
  QApplication::exec();
  const double cpu = CpuSeconds() - startCpu;
  int64_t frames = 0, dropped = 0;
  TChannels& channels = *TChannels::Of(form);
  for (int n = 1; n <= kCameras; ++n) {
    frames += channels[n].Grabber->stats().frames;
    dropped += channels[n].Grabber->stats().dropped;
  }
  std::printf("%.3f %lld %lld %d\n", cpu, static_cast<long long>(frames), static_cast<long long>(dropped),
              form.SavedPictureCount);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "run") return RunStation(std::string(argv[2]) == "on", std::atoi(argv[3]));
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
  double total[2] = {0, 0};
  long long dropped[2] = {0, 0}, frames[2] = {0, 0};
  int pictures = 0;
  for (int round = 0; round < rounds; ++round) {
    for (int on = 0; on < 2; ++on) {
      QTemporaryDir home;
      QProcess child;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QStringLiteral("VIGIL_HOME"), home.path());
      env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
      child.setProcessEnvironment(env);
      child.setProcessChannelMode(QProcess::SeparateChannels);
      child.start(QString::fromLocal8Bit(argv[0]),
                  {QStringLiteral("run"), on ? QStringLiteral("on") : QStringLiteral("off"), QString::number(seconds)});
      if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        std::fprintf(stderr, "station run failed: %s\n", child.readAllStandardError().constData());
        return 1;
      }
      double cpu = 0;
      long long f = 0, d = 0;
      int p = 0;
      std::sscanf(child.readAllStandardOutput().constData(), "%lf %lld %lld %d", &cpu, &f, &d, &p);
      std::printf("round %d detection %-3s  CPU %.2f s  frames %lld  dropped %lld  alarm pictures %d\n", round + 1,
                  on ? "on" : "off", cpu, f, d, p);
      total[on] += cpu;
      frames[on] += f;
      dropped[on] += d;
      if (on) pictures += p;
    }
  }
  std::printf("detection off: %.2f s CPU, on: %.2f s CPU, extra %.1f%% (goal < 5%%); dropped %lld / %lld frames; "
              "%d alarm pictures\n",
              total[0], total[1], 100.0 * (total[1] - total[0]) / total[0], dropped[0] + dropped[1],
              frames[0] + frames[1], pictures);
  return 0;
}
