#include "app/Channels.h"

#include <QDir>
#include <QTimer>
#include <algorithm>

#include "app/ChannelView.h"
#include "app/DetectorHook.h"
#include "app/MainForm.h"
#include "app/ViewLayout.h"
#include "platform/capture/Grabber.h"
#include "settings/DebugLog.h"

namespace vigil {

namespace {

// Point size of the overlay text by picture width.
int OverlayPointSize(int videoWidth) {
  if (videoWidth <= 160) return 8;
  if (videoWidth <= 352) return 14;
  if (videoWidth <= 640) return 20;
  return 30;
}

constexpr double kCaptureFps = 25.0;

}  // namespace

TChannels::TChannels(TfrmMain& main) : QObject(&main), main_(main) {
  setObjectName(QStringLiteral("Channels"));
}

TChannels::~TChannels() { FreeChannels(); }

TChannels* TChannels::Of(TfrmMain& main) {
  return main.findChild<TChannels*>(QStringLiteral("Channels"), Qt::FindDirectChildrenOnly);
}

void TChannels::SetSources(std::vector<capture::SourceInfo> sources) {
  sources_ = std::move(sources);
  sourcesSet_ = true;
}

int TChannels::DeviceCount() const { return std::min(static_cast<int>(sources_.size()), kCameraCount); }

TChannel& TChannels::operator[](int n) { return channels_.at(static_cast<size_t>(n - 1)); }
const TChannel& TChannels::operator[](int n) const { return channels_.at(static_cast<size_t>(n - 1)); }

bool TChannels::Running(int n) const {
  const TChannel& c = (*this)[n];
  return c.Grabber && c.Grabber->running();
}

void TChannels::CreateChannels() {
  if (!sourcesSet_) {
    const TStartOptions& start = main_.StartOptions();
    sources_ = capture::ListSources(ConfigFilePath(), start.VirtualCameras);
    if (sources_.empty() && start.DemoIfNoCamera) sources_ = capture::ListSources(ConfigFilePath(), 4);
    sourcesSet_ = true;
  }
  DebugLog.Write(QStringLiteral("%1 video sources").arg(sources_.size()));
  channels_.clear();
  channels_.resize(kCameraCount);
  for (int n = 1; n <= kCameraCount; ++n) {
    TChannel& c = (*this)[n];
    c.n = n;
    c.Grabber = new capture::Grabber(n, this);
    c.Grabber->SetClock(main_.SharedClock());
    c.Detector = std::make_shared<TDetectorHook>();
    c.Grabber->SetMotionHook(c.Detector);
    c.View = new TChannelView(n, c.Grabber, true, main_.pnlView);
    connect(c.View, &TChannelView::Pressed, this, &TChannels::SelectChannel);
    connect(c.View, &TChannelView::DoubleClicked, this,
            [this](int ch) { SetFullScreen(ch, !(*this)[ch].FullScreenView); });
    c.BurstTimer = new QTimer(this);
    c.BurstTimer->setProperty("tag", n);
    connect(c.BurstTimer, &QTimer::timeout, this, [this, n] { BurstTick(n); });
    ConnectGrabber(c);
  }
}

void TChannels::ConnectGrabber(TChannel& c) {
  using capture::Grabber;
  connect(c.Grabber, &Grabber::PreviewStarted, this, &TChannels::OnPreviewStarted);
  connect(c.Grabber, &Grabber::RecordingStarted, this, &TChannels::OnRecordingStarted);
  connect(c.Grabber, &Grabber::RecordingClosed, this,
          [this](int n, const QString& file, qint64, bool ok) { OnRecordingClosed(n, file, ok); });
  connect(c.Grabber, &Grabber::ErrorOccurred, this, &TChannels::ShowChannelError);
  connect(c.Grabber, &Grabber::SourceLost, this, [this](int n, const QString& message) {
    DebugLog.Write(message);
    (*this)[n].View->SetStatusText(message);
  });
  connect(c.Grabber, &Grabber::SourceRestored, this, [this](int n) { (*this)[n].View->SetStatusText({}); });
  connect(c.Grabber, &Grabber::DebugLine, this,
          [](int n, const QString& text) { DebugLog.Write(QStringLiteral("镜头%1：%2").arg(n).arg(text)); });
  connect(c.Grabber, &Grabber::FrameCaptured, this, [this](int n, const QString& file, bool ok) {
    emit PictureCaptured(n, file, ok);
  });
  connect(c.Grabber, &Grabber::MotionDetected, this, [this](int n, double) { OnMotion(n, true); });
  connect(c.Grabber, &Grabber::MotionNotDetected, this, [this](int n) { OnMotion(n, false); });
  // A lost source that comes back during a recording continues in a new file.
  const int n = c.n;
  c.Grabber->SetRecordingNamer([this, n] {
    const TDateTime t = main_.Now();
    ++main_.SavedVideoCount;
    try {
      return std::filesystem::path(NextRecordingName(n, t).toStdString());
    } catch (const std::exception& e) {
      DebugLog.Write(QString::fromUtf8(e.what()));
      // Better a file beside the day folders than a lost recording.
      const QString name = FormatDateTime(QStringLiteral("yyyymmddhhnnss"), t) + QStringLiteral("(%1).AVI").arg(n);
      return std::filesystem::path((Option.VideoPath + name).toStdString());
    }
  });
}

void TChannels::FreeChannels() {
  for (TChannel& c : channels_) {
    c.BurstTimer->stop();
    c.FullScreenView.reset();
    c.Grabber->Stop();
    // The grabber's closing report would arrive after us: settle its last file here.
    if (!c.RecordingFile.isEmpty()) OnRecordingClosed(c.n, c.RecordingFile, true);
    c.View->deleteLater();
    c.Grabber->deleteLater();
  }
  channels_.clear();
}

void TChannels::LayoutViews() {
  if (channels_.empty()) return;
  const int v = ViewCount(main_.SplitMode);
  for (int i = 1; i <= kCameraCount; ++i) {
    TChannelView* view = (*this)[i].View;
    if (i > v) {
      view->hide();
      continue;
    }
    view->setGeometry(ViewCell(main_.SplitMode, i, main_.pnlView->size()));
    view->show();
  }
}

void TChannels::SelectChannel(int n) { main_.SelectedChannel = std::clamp(n, 1, kCameraCount); }

void TChannels::SetFullScreen(int n, bool on) {
  TChannel& c = (*this)[n];
  if (!on) {
    c.FullScreenView.reset();
    return;
  }
  if (c.FullScreenView) return;
  c.FullScreenView = std::make_unique<TChannelView>(n, c.Grabber, false);
  c.FullScreenView->setWindowTitle(Option.DispMsg[n]);
  // Queued: the view must not be destroyed inside its own mouse handler.
  connect(c.FullScreenView.get(), &TChannelView::DoubleClicked, this,
          [this](int ch) { SetFullScreen(ch, false); }, Qt::QueuedConnection);
  c.FullScreenView->showFullScreen();
}

void TChannels::SetOverlayText(int n) {
  capture::TextOverlay overlay;
  QString text;
  if (Option.ShowTime) text = QStringLiteral("%sys_time[yyyy-mm-dd hh:nn:ss]%\r\n");
  if (Option.ShowTitle) text += Option.DispMsg[n];
  overlay.enabled = true;
  overlay.text = text;
  overlay.font = Option.OLTextFont;
  overlay.colour_bgr = Option.OLTextColor;
  overlay.point_size = OverlayPointSize(Option.VideoWidth);
  overlay.right = Option.VideoWidth - 5;
  overlay.top = 5;
  (*this)[n].Grabber->SetTextOverlay(overlay);
}

void TChannels::PlaceAlarmFrame() {
  const QRect frame(2, 2, Option.VideoWidth - 2, Option.VideoHeight - 2);
  for (TChannel& c : channels_) c.Grabber->SetAlarmFrame(c.AlarmFrameOn, frame);
}

void TChannels::SetAlarmFrame(int n, bool on) {
  TChannel& c = (*this)[n];
  c.AlarmFrameOn = on;
  c.Grabber->SetAlarmFrame(on);
}

// Source, picture size and overlay of channel n for its next start.
void TChannels::PrepareGrabber(int n) {
  TChannel& c = (*this)[n];
  if (n <= static_cast<int>(sources_.size())) {
    c.Grabber->SetSource(sources_[static_cast<size_t>(n - 1)]);
  } else {
    // Channel n uses device n-1, which this machine does not have: the channel says so.
    capture::SourceInfo none;
    none.kind = capture::SourceKind::V4l2;
    none.title = QStringLiteral("设备%1").arg(n - 1);
    none.location = "(无设备)";
    c.Grabber->SetSource(none);
  }
  SetOverlayText(n);
  c.Grabber->SetCaptureSize(Option.VideoWidth, Option.VideoHeight, kCaptureFps);
}

void TChannels::StartChannel(int n) {
  const TDateTime t = main_.Now();
  PrepareGrabber(n);
  if (Option.RecordCamera[n] && Option.Compressor >= 0)
    StartRecording(n, t);
  else
    (*this)[n].Grabber->StartPreview();
  SetAlarmFrame(n, false);
}

void TChannels::PreviewChannel(int n) {
  TChannel& c = (*this)[n];
  c.Grabber->Stop();
  PrepareGrabber(n);
  c.Grabber->StartPreview();
  SetAlarmFrame(n, false);
}

void TChannels::DisconnectChannel(int n) {
  TChannel& c = (*this)[n];
  c.Grabber->Stop();
  c.State = TChannelState::Stopped;
  c.InAlarm = false;
  c.View->SetStatusText({});
  c.View->update();
}

void TChannels::StopAll() {
  for (int n = 1; n <= static_cast<int>(channels_.size()); ++n) DisconnectChannel(n);
}

void TChannels::ShowChannelError(int n, const QString& message) {
  const QString text = QStringLiteral("镜头%1：%2").arg(n).arg(message);
  TMsgTip::ShowTip(QStringLiteral("提示"), text);
  // A source that never opened leaves the view black: say why in it until it opens.
  // Anything else is said over the picture for a while.
  if (Running(n) && (*this)[n].State == TChannelState::Stopped)
    (*this)[n].View->SetStatusText(text);
  else
    (*this)[n].View->ShowMessage(text);
}

void TChannels::OnPreviewStarted(int n) {
  if (!Running(n)) return;  // a report that crossed a stop
  TChannel& c = (*this)[n];
  c.State = TChannelState::Previewing;
  c.ChannelStart = main_.Now();
  c.View->SetStatusText({});
}

void TChannels::OnMotion(int n, bool motion) {
  if (!Running(n)) return;
  TChannel& c = (*this)[n];
  c.InAlarm = motion;
  if (motion && !c.RecordingFile.isEmpty()) alarmFiles_.insert(c.RecordingFile);
  if (motion)
    emit MotionDetected(n);
  else
    emit MotionGone(n);
}

}  // namespace vigil
