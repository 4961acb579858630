// Nine virtual cameras at 640x480, 25 frames per second, all recording with the XviD-named
// MPEG-4 compressor, against the ffmpeg command line encoding the same nine synthetic
// streams (fed raw from the same virtual cameras) with the same codec, bit rate and GOP.
// Prints CPU time of both, the ratio, dropped frames and the station's peak RSS.
//   bench_capture [SECONDS] [CAMERAS] [station]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture/Compressors.h"
#include "platform/capture/Grabber.h"
#include "platform/capture/VirtualCamera.h"

extern char** environ;

using namespace vigil;
using namespace vigil::capture;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr double kFps = 25.0;

double CpuSeconds(const rusage& r) {
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double SelfCpu() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return CpuSeconds(r);
}

// The overlay the station draws on every channel (time line and title).
TextOverlay StationOverlay(int camera) {
  TextOverlay o;
  o.enabled = true;
  o.text = QStringLiteral("%sys_time[yyyy-mm-dd hh:nn:ss]%\r\n镜头%1").arg(camera);
  o.point_size = 20;
  o.right = kWidth - 5;
  return o;
}

struct StationResult {
  double cpu_s = 0;
  long peak_rss_kb = 0;
  int64_t frames = 0, recorded = 0, dropped = 0;
};

StationResult RunStation(int cameras, int seconds, const QString& dir) {
  std::vector<std::unique_ptr<Grabber>> grabbers;
  int closed = 0;
  QEventLoop loop;
  const double cpu0 = SelfCpu();
  for (int i = 1; i <= cameras; ++i) {
    auto g = std::make_unique<Grabber>(i);
    g->SetSource(VirtualCamera(i));
    g->SetCaptureSize(kWidth, kHeight, kFps);
    g->SetTextOverlay(StationOverlay(i));
    QObject::connect(g.get(), &Grabber::RecordingClosed, [&] {
      if (++closed == cameras) loop.quit();
    });
    QObject::connect(g.get(), &Grabber::ErrorOccurred,
                     [](int ch, const QString& m) { std::fprintf(stderr, "channel %d: %s\n", ch, qPrintable(m)); });
    g->StartRecording({(dir + QStringLiteral("/%1(%2).AVI").arg(i, 6, 10, QLatin1Char('0')).arg(i)).toStdString(),
                       kXvidCompressor, -1});
    grabbers.push_back(std::move(g));
  }
  QTimer::singleShot(seconds * 1000, [&] {
    for (auto& g : grabbers) g->StopRecording();
  });
  loop.exec();
  StationResult r;
  for (auto& g : grabbers) {
    g->Stop();
    r.frames += g->stats().frames;
    r.recorded += g->stats().recorded;
    r.dropped += g->stats().dropped;
  }
  r.cpu_s = SelfCpu() - cpu0;
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  r.peak_rss_kb = ru.ru_maxrss;
  return r;
}

struct FfmpegResult {
  double cpu_s = 0;
  int64_t fed = 0, dropped = 0;
  int failures = 0;
};

// One ffmpeg process per stream, reading raw BGR frames on its standard input.
FfmpegResult RunFfmpeg(int cameras, int seconds, const QString& dir) {
  const std::string bitrate = std::to_string(BitRateFor(kWidth, kHeight, kFps));
  struct Child {
    pid_t pid = -1;
    int in = -1;
  };
  std::vector<Child> children(static_cast<size_t>(cameras));
  for (int i = 0; i < cameras; ++i) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return {};
    const std::string out = (dir + QStringLiteral("/ffmpeg%1.avi").arg(i + 1)).toStdString();
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "rawvideo",
                                     "-pix_fmt", "bgr24", "-s", "640x480", "-r", "25", "-i", "pipe:0",
                                     "-c:v", "mpeg4", "-vtag", "XVID", "-b:v", bitrate, "-g", "25", "-bf", "0",
                                     "-threads", "1", out};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    children[static_cast<size_t>(i)] = {pid, fds[1]};
  }
  FfmpegResult r;
  std::vector<std::thread> feeders;
  std::vector<int64_t> fed(static_cast<size_t>(cameras)), dropped(static_cast<size_t>(cameras));
  for (int i = 0; i < cameras; ++i) {
    feeders.emplace_back([&, i] {
      std::atomic<bool> stop{false};
      VirtualCameraSource camera(VirtualCamera(i + 1), {kWidth, kHeight, kFps}, stop);
      TextStamp stamp;
      const TextOverlay o = StationOverlay(i + 1);
      Frame frame;
      std::string error;
      const int64_t total = static_cast<int64_t>(seconds * kFps);
      for (int64_t n = 0; n + camera.Dropped() < total; ++n) {
        if (camera.Read(frame, error) != ReadStatus::Frame) break;
        stamp.Set(ExpandOverlayText(o.text, SystemClock().Now()), o.font, o.point_size, o.colour_bgr);
        stamp.Draw(frame, o.right, o.top, TextStamp::Align::Right);
        const uint8_t* p = frame.data();
        size_t left = frame.bgr.size();
        while (left > 0) {
          ssize_t w = write(children[static_cast<size_t>(i)].in, p, left);
          if (w <= 0) return;
          p += w;
          left -= static_cast<size_t>(w);
        }
        ++fed[static_cast<size_t>(i)];
      }
      dropped[static_cast<size_t>(i)] = camera.Dropped();
      close(children[static_cast<size_t>(i)].in);
    });
  }
  for (auto& t : feeders) t.join();
  for (auto& c : children) {
    int status = 0;
    rusage ru{};
    if (c.pid > 0 && wait4(c.pid, &status, 0, &ru) == c.pid) {
      r.cpu_s += CpuSeconds(ru);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++r.failures;
    } else {
      ++r.failures;
    }
  }
  for (int i = 0; i < cameras; ++i) {
    r.fed += fed[static_cast<size_t>(i)];
    r.dropped += dropped[static_cast<size_t>(i)];
  }
  return r;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int cameras = argc > 2 ? std::atoi(argv[2]) : 9;
  QGuiApplication app(argc, argv);
  QTemporaryDir dir;

  std::printf("bench_capture: %d virtual cameras, %dx%d, %.0f fps, compressor \"%s\", %d s\n", cameras, kWidth,
              kHeight, kFps, FindCompressor(kXvidCompressor)->name, seconds);
  const StationResult s = RunStation(cameras, seconds, dir.path());
  std::printf("station: cpu %.1f s, frames %lld, recorded %lld, dropped %lld, peak RSS %.1f MB\n", s.cpu_s,
              static_cast<long long>(s.frames), static_cast<long long>(s.recorded),
              static_cast<long long>(s.dropped), static_cast<double>(s.peak_rss_kb) / 1024.0);
  if (argc > 3 && std::string(argv[3]) == "station") return 0;  // profiling the station alone
  const FfmpegResult f = RunFfmpeg(cameras, seconds, dir.path());
  std::printf("ffmpeg:  cpu %.1f s, frames fed %lld, feeder dropped %lld, failed processes %d\n", f.cpu_s,
              static_cast<long long>(f.fed), static_cast<long long>(f.dropped), f.failures);
  const double ratio = f.cpu_s > 0 ? s.cpu_s / f.cpu_s : 0;
  std::printf("ratio station/ffmpeg CPU: %.2f (goal <= 1.30); dropped %lld (goal 0); peak RSS %.1f MB (goal <= 300)\n",
              ratio, static_cast<long long>(s.dropped), static_cast<double>(s.peak_rss_kb) / 1024.0);
  const bool ok = ratio <= 1.3 && s.dropped == 0 && s.peak_rss_kb <= 300 * 1024 && f.failures == 0;
  std::printf("%s\n", ok ? "bench_capture: goals met" : "bench_capture: GOALS MISSED");
  return 0;
}
