// Entry point of the station.
#include <QApplication>
#include <QCommandLineParser>
#include <QMainWindow>
#include <QMessageBox>
#include <cstdio>

#include "settings/DebugLog.h"
#include "settings/Options.h"
#include "settings/SystemServices.h"

using namespace vigil;

int main(int argc, char* argv[]) {
#ifndef NDEBUG
  DebugLog.SetForceOn(true);
#endif
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vigil"));
  QApplication::setApplicationVersion(QStringLiteral(VIGIL_VERSION));

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

  if (QApplication::platformName() == QLatin1String("offscreen"))
    std::fprintf(stderr, "vigil: no display; running offscreen\n");

  LoadNetOptions();
  LoadOptions();
  try {
    ApplyPathDefaults();
  } catch (const std::exception& e) {
    DebugLog.Write(QString::fromStdString(e.what()));
    QMessageBox::warning(nullptr, QStringLiteral("系统提示"), QString::fromStdString(e.what()));
  }

  QMainWindow window;
  window.setWindowTitle(Option.WindowTitle);
  window.resize(732, 600);
  window.setStyleSheet(QStringLiteral("background: black;"));
  window.show();
  return QApplication::exec();
}
