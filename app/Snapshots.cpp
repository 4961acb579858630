// Snapshots of the selected channel: one picture, or a burst of BurstCount pictures
// PhotoInterval ms apart, named after the moment of the click.
#include <QDir>
#include <QTimer>

#include "app/Channels.h"
#include "app/FileNaming.h"
#include "app/MainForm.h"
#include "platform/capture/Grabber.h"
#include "settings/DebugLog.h"

namespace vigil {

namespace {

constexpr int kBurstMode = 2;
constexpr int kJpegQuality = 90;

void Capture(capture::Grabber& grabber, const QString& base, int k) {
  const QString file = SnapshotFileName(base, k, Option.PhotoFormat);
  const auto format = Option.PhotoFormat == 0 ? capture::PictureFormat::Bmp : capture::PictureFormat::Jpeg;
  // A refused capture (channel not running, a picture still pending) writes nothing.
  if (!grabber.CaptureFrameTo(file.toStdString(), format, kJpegQuality))
    DebugLog.Write(QStringLiteral("拍照未执行：%1").arg(file));
}

}  // namespace

void TChannels::btnPhotoClick() {
  const int s = main_.SelectedChannel;
  TChannel& c = (*this)[s];
  c.BurstBase = SnapshotBaseName(Option.PhotoPath, main_.Now(), s);
  // The snapshot folder may have been deleted by hand since start-up.
  if (!Option.PhotoPath.trimmed().isEmpty()) QDir().mkpath(Option.PhotoPath);
  Capture(*c.Grabber, c.BurstBase, 1);
  if (Option.PhotoMode == kBurstMode && Option.BurstCount > 1) {
    c.BurstLeft = Option.BurstCount - 1;
    c.BurstTimer->start();
  }
}

void TChannels::BurstTick(int n) {
  TChannel& c = (*this)[n];
  if (c.BurstLeft <= 0) {
    c.BurstTimer->stop();
    return;
  }
  Capture(*c.Grabber, c.BurstBase, Option.BurstCount - c.BurstLeft + 1);
  if (--c.BurstLeft == 0) c.BurstTimer->stop();
}

void TChannels::ApplyBurstInterval() {
  if (Option.PhotoMode != kBurstMode) return;
  for (TChannel& c : channels_) c.BurstTimer->setInterval(Option.PhotoInterval);
}

}  // namespace vigil
