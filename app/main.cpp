// Entry point of the station: one per user; a later start brings the running one forward.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>

#include "app/MainForm.h"
#include "dialogs/Notifications.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "settings/DebugLog.h"
#include "settings/Options.h"
#include "settings/SystemServices.h"

using namespace vigil;

namespace {

// The running station is found by the class name its main window has always had.
constexpr const char* kInstanceName = "NOXA_WIN_CLASS";

bool haveDisplay() {
  for (const char* var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* v = std::getenv(var); v && *v) return true;
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
#ifndef NDEBUG
  DebugLog.SetForceOn(true);
#endif
  CpuSampler();
  const bool offscreen = !haveDisplay();
  if (offscreen) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vigil"));
  QApplication::setApplicationVersion(QStringLiteral(VIGIL_VERSION));
  // The tray keeps the station alive while its window is hidden; only closing the main
  // window ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  QCommandLineParser cli;
  cli.setApplicationDescription(QStringLiteral("Vigil video-surveillance station"));
  cli.addHelpOption();
  cli.addVersionOption();
  QCommandLineOption virtualCameras(QStringLiteral("virtual-cameras"),
                                    QStringLiteral("Add N virtual demo cameras."),
                                    QStringLiteral("N"));
  QCommandLineOption demoIfNoCamera(QStringLiteral("demo-if-no-camera"),
                                    QStringLiteral("Add four virtual cameras when no camera exists."));
  cli.addOption(virtualCameras);
  cli.addOption(demoIfNoCamera);
  cli.process(app);

  TStartOptions options;
  options.DemoIfNoCamera = cli.isSet(demoIfNoCamera);
  if (cli.isSet(virtualCameras)) {
    bool ok = false;
    options.VirtualCameras = cli.value(virtualCameras).toInt(&ok);
    if (!ok || options.VirtualCameras < 0 || options.VirtualCameras > kCameraCount) {
      std::fprintf(stderr, "vigil: --virtual-cameras wants a number from 0 to %d\n", kCameraCount);
      return 2;
    }
  }

  SingleInstance instance(QString::fromLatin1(kInstanceName));
  QString error;
  const QByteArray activate = QByteArray::number(WM_ACTIVATE_INSTANCE);
  switch (instance.Start(activate, &error)) {
    case SingleInstance::Role::Secondary:
      if (!error.isEmpty()) DebugLog.Write(QStringLiteral("single instance: ") + error);
      DebugLog.Write(QStringLiteral("another station runs; it was asked to come forward"));
      return 0;
    case SingleInstance::Role::Failed:
      // Better a station without the one-instance check than none at all.
      DebugLog.Write(QStringLiteral("single instance: ") + error);
      std::fprintf(stderr, "vigil: %s\n", qPrintable(error));
      break;
    case SingleInstance::Role::Primary:
      DebugLog.Write(QStringLiteral("single instance: listening on ") +
                     QString::fromStdString(instance.SocketPath().string()));
      break;
  }
  if (offscreen || QApplication::platformName() == QLatin1String("offscreen"))
    std::fprintf(stderr, "vigil: no display; running offscreen\n");

  TfrmMain frmMain(options);
  QObject::connect(&instance, &SingleInstance::MessageReceived, &frmMain, [&](const QByteArray& m) {
    if (m == activate) PostNotification(WM_ACTIVATE_INSTANCE);
  });
  QObject::connect(&frmMain, &TfrmMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  TerminationSignals termination;
  QObject::connect(&termination, &TerminationSignals::Requested, &frmMain,
                   [&](int signo) { frmMain.CloseOnRequest(QStringLiteral("signal %1").arg(signo)); });
  frmMain.show();
  return QApplication::exec();
}
