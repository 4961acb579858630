// Records one virtual camera into an AVI file until killed or until the recording fails,
// printing "frames N" as frames are written, "closed OK|FAILED N" when the file closes and
// "error TEXT" for every error. Run by the capture tests (kill -9, disk full).
//   record_helper FILE [--fsize BYTES]
#include <sys/resource.h>

#include <QGuiApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/capture/Grabber.h"

using namespace vigil::capture;

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: record_helper FILE [--fsize BYTES]\n");
    return 2;
  }
  if (argc >= 4 && std::string(argv[2]) == "--fsize") {
    // A file-size limit stands in for a full disk: writes past it fail with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = std::strtoull(argv[3], nullptr, 10);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  QGuiApplication app(argc, argv);
  Grabber grabber(1);
  grabber.SetSource(VirtualCamera(1));
  grabber.SetCaptureSize(640, 480, 25);
  QObject::connect(&grabber, &Grabber::ErrorOccurred, [](int, const QString& m) {
    std::printf("error %s\n", m.toUtf8().constData());
    std::fflush(stdout);
  });
  QObject::connect(&grabber, &Grabber::RecordingClosed, [&](int, const QString&, qint64 frames, bool ok) {
    std::printf("closed %s %lld\n", ok ? "OK" : "FAILED", static_cast<long long>(frames));
    std::fflush(stdout);
    app.quit();
  });
  QTimer progress;
  QObject::connect(&progress, &QTimer::timeout, [&] {
    std::printf("frames %lld\n", static_cast<long long>(grabber.stats().recorded));
    std::fflush(stdout);
  });
  progress.start(40);
  if (!grabber.StartRecording({argv[1], kXvidCompressor, -1})) return 1;
  return QGuiApplication::exec();
}
