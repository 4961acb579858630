#include "app/AlarmFacet.h"

#include <QFile>
#include <QProcess>
#include <QSoundEffect>
#include <QUrl>

#include "app/AlarmRules.h"
#include "app/Channels.h"
#include "app/DetectorHook.h"
#include "app/FileNaming.h"
#include "app/MainForm.h"
#include "app/StationState.h"
#include "platform/Shell.h"
#include "platform/capture/Grabber.h"
#include "settings/DebugLog.h"
#include "settings/SystemServices.h"

namespace vigil {

namespace {
constexpr int kJpegQuality = 90;
}

void ConfigureDetectors(TChannels& channels, TDateTime now) {
  for (int n = 1; n <= kCameraCount; ++n) {
    TChannel& c = channels[n];
    if (c.State == TChannelState::Stopped) continue;  // keeps its last setting
    c.Detector->Configure(DetectorShouldBeOn(Option, n, c.ChannelStart, now),
                          DetectorGrid(Option.MotionDetectSensitivity[n]));
  }
}

QString AlarmSoundFile(const QString& wavFile) {
  if (wavFile.isEmpty()) return {};
  if (QFile::exists(wavFile)) return wavFile;
  const auto relative = std::filesystem::path("WAV") / "AlarmSound.WAV";
  if (std::filesystem::path(wavFile.toStdString()) == ProgramFolder() / relative) {
    const QString installed = QString::fromStdString((ExecutableFolder() / relative).string());
    if (QFile::exists(installed)) return installed;
  }
  return {};
}

TAlarmFacet::TAlarmFacet(TfrmMain& main) : TMainFacet(main), channels_(TChannels::Of(main)) {
  QObject::connect(channels_, &TChannels::MotionDetected, channels_, [this](int n) { OnMotion(n); });
  QObject::connect(channels_, &TChannels::MotionGone, channels_, [this](int n) { OnMotionGone(n); });
  QObject::connect(channels_, &TChannels::PictureCaptured, channels_,
                   [this](int n, const QString& file, bool ok) { OnPictureCaptured(n, file, ok); });
}

TAlarmFacet::~TAlarmFacet() {
  // The lambdas above capture this facet; the channels outlive it.
  QObject::disconnect(channels_, nullptr, channels_, nullptr);
}

void TAlarmFacet::StartMonitoring() { programStarted_ = false; }

void TAlarmFacet::OnMotion(int n) {
  if (Option.ShowAlarmFrame) channels_->SetAlarmFrame(n, true);
  if (Option.AlarmSound) PlaySound();
  if (!Option.RunProg.trimmed().isEmpty()) RunAlarmProgram();
  if (!AlarmNeedsPicture(Option)) return;
  SavePicture(n);
}

void TAlarmFacet::OnMotionGone(int n) { channels_->SetAlarmFrame(n, false); }

void TAlarmFacet::PlaySound() {
  const QString file = AlarmSoundFile(Option.WavFile);
  if (file.isEmpty()) {
    DebugLog.Write(QStringLiteral("报警声音文件不存在：") + Option.WavFile);
    return;
  }
  if (!sound_) sound_ = std::make_unique<QSoundEffect>();
  const QUrl url = QUrl::fromLocalFile(file);
  if (sound_->source() != url) sound_->setSource(url);
  sound_->stop();  // a sound still playing is cut off by the new one
  sound_->play();
}

// "RunProg" with the arguments of "ProgPara" (split as a command line, never through a
// shell). One copy at a time: an alarm while the last copy still runs starts none. With
// "RunOnlyOnce" the program is started once per monitoring run.
void TAlarmFacet::RunAlarmProgram() {
  if (program_ || (Option.RunOnlyOnce && programStarted_)) return;
  auto* process = new QProcess(&main_);
  program_ = process;
  programStarted_ = true;
  QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
  QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    DebugLog.Write(QStringLiteral("报警程序无法启动：%1 %2").arg(process->program(), process->errorString()));
    process->deleteLater();
  });
  // Nobody reads its output: a full pipe must never stall it.
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  process->start(Option.RunProg.trimmed(), QProcess::splitCommand(Option.ProgPara));
}

void TAlarmFacet::SavePicture(int n) {
  TChannel& c = (*channels_)[n];
  const TDateTime now = main_.Now();
  if (!AlarmPictureDue(Option, c.LastAlarmPicture, now)) return;
  c.LastAlarmPicture = now;
  QString file;
  try {
    file = AlarmPictureFileName(Option, n, now, *main_.SharedClock());
  } catch (const std::exception& e) {
    DebugLog.Write(QStringLiteral("报警图片未保存：") + QString::fromUtf8(e.what()));
    return;
  }
  if (QFile::exists(file) || pending_.contains(file)) return;
  const auto format = Option.PicFormat == 0 ? capture::PictureFormat::Bmp : capture::PictureFormat::Jpeg;
  if (!c.Grabber->CaptureFrameTo(file.toStdString(), format, kJpegQuality)) {
    DebugLog.Write(QStringLiteral("报警图片未保存（镜头%1忙）：%2").arg(n).arg(file));
    return;
  }
  pending_.insert(file, Queues{Option.AlarmFTP, Option.AlarmEmail});
}

// The picture is counted and queued once it is on disk, so the senders never meet a name
// without its file.
void TAlarmFacet::OnPictureCaptured(int, const QString& file, bool ok) {
  auto it = pending_.find(file);
  if (it == pending_.end()) return;  // a snapshot
  const Queues queues = *it;
  pending_.erase(it);
  if (!ok) return;  // the grabber wrote the debug line
  ++main_.SavedPictureCount;
  if (queues.ftp) FtpQueue.Add(file);
  if (queues.mail) MailQueue.Add(file);
}

}  // namespace vigil
