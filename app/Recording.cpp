// Recording of the channels: starting, the record command, the names of the files, and
// the "keep only recordings that hold an alarm" mode.
#include <QFile>

#include "app/ChannelView.h"
#include "app/Channels.h"
#include "app/FileNaming.h"
#include "app/MainForm.h"
#include "platform/capture/Grabber.h"
#include "settings/DebugLog.h"

namespace vigil {

namespace {
// "录像方式" 2: a file that ends without an alarm in it is deleted.
constexpr int kRecordOnlyAlarms = 2;
}

QString TChannels::NextRecordingName(int n, TDateTime t) {
  return RecordingFileName(Option, n, t, *main_.SharedClock());
}

bool TChannels::BeginRecording(int n, TDateTime t) {
  TChannel& c = (*this)[n];
  capture::RecordingRequest request;
  request.audio_index = Option.UseAudio[n] && Option.AudioIdx[n] >= 0 ? Option.AudioIdx[n] : -1;
  request.compressor = Option.Compressor;
  try {
    request.file = NextRecordingName(n, t).toStdString();
  } catch (const std::exception& e) {
    // Without a folder nothing can be recorded; the channel still shows its camera.
    ShowChannelError(n, QStringLiteral("无法录像：%1").arg(QString::fromUtf8(e.what())));
    c.Grabber->StartPreview();
    return false;
  }
  QString error;
  if (!c.Grabber->StartRecording(request, &error)) {
    // The grabber said why (ErrorOccurred); the picture is shown all the same.
    c.Grabber->StartPreview();
    return false;
  }
  return true;
}

void TChannels::StartRecording(int n, TDateTime t) {
  BeginRecording(n, t);
  ++main_.SavedVideoCount;  // counted whether or not the start was accepted
}

void TChannels::RecordChannel(int n) {
  if (DeviceCount() < n) return;
  const TDateTime t = main_.Now();
  PrepareGrabber(n);
  BeginRecording(n, t);
  SetAlarmFrame(n, false);
  ++main_.SavedVideoCount;
}

std::set<std::filesystem::path> TChannels::FilesInUse() const {
  std::set<std::filesystem::path> files;
  for (const TChannel& c : channels_)
    if (!c.RecordingFile.isEmpty()) files.insert(c.RecordingFile.toStdString());
  return files;
}

void TChannels::OnRecordingStarted(int n, const QString& file) {
  if (!Running(n)) return;
  TChannel& c = (*this)[n];
  const TDateTime now = main_.Now();
  c.State = TChannelState::Recording;
  c.ChannelStart = now;
  c.RecordStart = now;
  c.RecordingFile = file;
  c.View->SetStatusText({});
  // An alarm still on when the file begins belongs to it too.
  if (c.InAlarm) alarmFiles_.insert(file);
}

void TChannels::OnRecordingClosed(int n, const QString& file, bool ok) {
  TChannel& c = (*this)[n];
  if (c.RecordingFile == file) c.RecordingFile.clear();
  const bool hadAlarm = alarmFiles_.erase(file) > 0;
  if (!ok) DebugLog.Write(QStringLiteral("录像文件未正常关闭：%1").arg(file));
  if (Option.RecordMode != kRecordOnlyAlarms || hadAlarm) return;
  if (QFile::remove(file))
    DebugLog.Write(QStringLiteral("录像无报警，已删除：%1").arg(file));
  else if (QFile::exists(file))
    DebugLog.Write(QStringLiteral("无法删除无报警录像：%1").arg(file));
}

}  // namespace vigil
