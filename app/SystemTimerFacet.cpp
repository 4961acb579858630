#include "app/SystemTimerFacet.h"

#include <QLabel>
#include <algorithm>

#include "app/AlarmFacet.h"
#include "app/Channels.h"
#include "app/DiskPolicy.h"
#include "app/FileNaming.h"
#include "app/MainForm.h"
#include "app/StationState.h"
#include "app/TimerRules.h"
#include "platform/Shell.h"
#include "platform/capture/Grabber.h"
#include "settings/DebugLog.h"
#include "settings/SystemServices.h"

namespace vigil {

namespace {

constexpr int kTickMs = 1000;
constexpr int kPowerOffForced = 12;  // power off (8) and close applications without asking (4)
constexpr int kOverwriteOldFiles = 1;
constexpr double kMinute = 1.0 / 1440.0;

std::filesystem::path PathOf(const QString& folder) { return folder.toStdString(); }

}  // namespace

TSystemTimerFacet::TSystemTimerFacet(TfrmMain& main)
    : TMainFacet(main), channels_(TChannels::Of(main)), tmrSys_(std::make_unique<QTimer>()) {
  tmrSys_->setInterval(kTickMs);
  QObject::connect(tmrSys_.get(), &QTimer::timeout, tmrSys_.get(), [this] { tmrSysTimer(); });
}

TSystemTimerFacet::~TSystemTimerFacet() = default;

void TSystemTimerFacet::FormCreate(TCreateStage stage) {
  if (stage == TCreateStage::Views) tmrSys_->start();
}

void TSystemTimerFacet::FormDestroy(TDestroyStage stage) {
  if (stage == TDestroyStage::Services) tmrSys_->stop();
}

void TSystemTimerFacet::tmrSysTimer() {
  TfrmMain& m = main_;
  const TDateTime now = m.Now();

  if (++m.TickCount > 60) {
    m.TickCount = 0;
    m.lblRunTime->setText(RunTimeText(m.StartTime, now));
  }

  // Asked once in the set minute: a refused request is not better for being repeated.
  if (Option.ScheduleShutdown && ShutdownDue(Option, now)) {
    const QString minute = FormatDateTime(QStringLiteral("yyyy-mm-dd hh:nn"), now);
    if (minute != shutdownMinute_) {
      shutdownMinute_ = minute;
      ShutdownComputer(kPowerOffForced);
    }
  }

  if (Option.ScheduleMonitor && !scheduleRunning_) {
    // The start or stop may open the password prompt, whose loop runs further ticks.
    scheduleRunning_ = true;
    const bool inside = InMonitorWindow(Option, now);
    if (inside && !m.Monitoring())
      m.btnStartClick();
    else if (!inside && m.Monitoring())
      m.btnStopClick();
    scheduleRunning_ = false;
  }

  try {
    MakeDayFolder(Option.VideoPath, now);
  } catch (const std::exception&) {
    // tried again next tick
  }

  RotateRecordings(now);

  const DiskSpaceResult pictures = DiskSpace(PathOf(Option.PicPath));
  m.lblFreeDiskPic->setText(FreeSpaceText(std::max<int64_t>(pictures.free, 0)));

  try {
    CpuSampler().CollectCpuData();
    m.lblCPUUsage->setText(CpuUsageText(CpuSampler().CpuUsage(0)));
  } catch (const std::exception& e) {
    DebugLog.Write(QStringLiteral("CPU usage: ") + QString::fromUtf8(e.what()));
  }

  m.lblSaveAvi->setText(QString::number(m.SavedVideoCount));
  m.lblSavePic->setText(QString::number(m.SavedPictureCount));
  m.lblSendEmail->setText(QString::number(MailCount.load()));
  m.lblUploadPic->setText(QString::number(UploadCount.load()));

  // Recordings fill the drive of VideoPath: when it differs from the picture folder's, the
  // fuller of the two decides.
  const DiskSpaceResult videos = DiskSpace(PathOf(Option.VideoPath));
  int64_t free = pictures.free;
  if (videos.free >= 0 && (free < 0 || videos.free < free)) free = videos.free;
  if (free >= 0 && free < LowDiskThresholdBytes(Option)) LowDisk();

  ConfigureDetectors(*channels_, now);

  if (m.NewsPending && Option.NewVideoTip && m.StartTime + kMinute < now) {
    m.NewsPending = false;
    // Only an operator who runs such a page names it in config.ini ("NewsPageUrl"); without
    // one, nothing pops up on the desktop a minute after every start.
    if (!Option.NewsPageUrl.trimmed().isEmpty()) OpenWithDesktop(Option.NewsPageUrl.trimmed());
  }
}

void TSystemTimerFacet::RotateRecordings(TDateTime now) {
  for (int n = 1; n <= kCameraCount; ++n) {
    TChannel& c = (*channels_)[n];
    if (c.State != TChannelState::Recording || !RotationDue(Option, c.RecordStart, now)) continue;
    QString file;
    try {
      file = channels_->NextRecordingName(n, now);
    } catch (const std::exception& e) {
      DebugLog.Write(QStringLiteral("新录像文件：") + QString::fromUtf8(e.what()));
      continue;
    }
    if (!c.Grabber->SetRecordingFileName(file.toStdString())) continue;
    ++main_.SavedVideoCount;
    // The recording-started report sets it again; until it comes no second switch is due.
    c.RecordStart = now;
  }
}

void TSystemTimerFacet::LowDisk() {
  if (Option.DiskFullMode == kOverwriteOldFiles) {
    auto deleted = DeleteOldestStationFile(PathOf(Option.VideoPath), PathOf(Option.PicPath), channels_->FilesInUse());
    if (deleted) DebugLog.Write(QStringLiteral("磁盘空间不足，已删除：") + QString::fromStdString(deleted->string()));
    return;
  }
  for (int n = 1; n <= kCameraCount; ++n) {
    TChannel& c = (*channels_)[n];
    if (c.State != TChannelState::Recording) continue;
    DebugLog.Write(QStringLiteral("磁盘空间不足，镜头%1停止录像").arg(n));
    c.Grabber->StopRecording();  // back to preview
    channels_->SetAlarmFrame(n, false);
  }
}

}  // namespace vigil
