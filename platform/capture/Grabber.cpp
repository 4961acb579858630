#include "platform/capture/Grabber.h"

#include <QMetaObject>
#include <chrono>

namespace vigil::capture {

namespace {

constexpr auto kRetryDelay = std::chrono::milliseconds(1000);

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

Grabber::Grabber(int channel, QObject* parent) : QObject(parent), channel_(channel) {
  source_ = VirtualCamera(channel);
}

Grabber::~Grabber() { Stop(); }

void Grabber::SetSource(const SourceInfo& source) {
  std::lock_guard lock(mutex_);
  source_ = source;
}

void Grabber::SetCaptureSize(int width, int height, double fps) {
  std::lock_guard lock(mutex_);
  request_.width = std::max(16, width & ~1);
  request_.height = std::max(16, height & ~1);
  request_.fps = fps > 0 ? fps : 25.0;
}

void Grabber::SetTextOverlay(const TextOverlay& overlay) {
  std::lock_guard lock(mutex_);
  control_.overlay = overlay;
  ++control_.generation;
}

void Grabber::SetAlarmFrame(bool enabled, const QRect& rect) {
  std::lock_guard lock(mutex_);
  control_.alarm = enabled;
  if (!rect.isNull()) control_.alarmRect = rect;
  ++control_.generation;
}

void Grabber::SetMotionHook(std::shared_ptr<MotionHook> hook) {
  std::lock_guard lock(mutex_);
  control_.motion = std::move(hook);
  ++control_.generation;
}

void Grabber::SetRemoteFrameHandler(RemoteFrameHandler handler) {
  std::lock_guard lock(mutex_);
  control_.remote = std::move(handler);
  ++control_.generation;
}

void Grabber::SetClock(std::shared_ptr<const Clock> clock) {
  std::lock_guard lock(mutex_);
  control_.clock = std::move(clock);
  ++control_.generation;
}

void Grabber::SetRecordingNamer(std::function<std::filesystem::path()> namer) { namer_ = std::move(namer); }

void Grabber::StartThread() {
  if (thread_.joinable()) return;
  stop_ = false;
  frameNotified_ = false;
  thread_ = std::thread([this] { Run(); });
}

void Grabber::StartPreview() {
  StopRecording();
  StartThread();
}

bool Grabber::StartRecording(const RecordingRequest& request, QString* error) {
  CaptureRequest size;
  {
    std::lock_guard lock(mutex_);
    size = request_;
  }
  std::string refusal = AviRecorder::Check(request.compressor, size.width, size.height, size.fps);
  if (!refusal.empty()) {
    QString message = QStringLiteral("无法录像 %1：%2").arg(Q(request.file), Q(refusal));
    if (error) *error = message;
    emit ErrorOccurred(channel_, message);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    control_.wantRecord = true;
    control_.pendingFile = request;
    control_.lastRequest = request;
  }
  StartThread();
  return true;
}

bool Grabber::SetRecordingFileName(const std::filesystem::path& file) {
  std::lock_guard lock(mutex_);
  if (!control_.wantRecord) return false;
  control_.lastRequest.file = file;
  control_.pendingFile = control_.lastRequest;
  return true;
}

void Grabber::StopRecording() {
  std::lock_guard lock(mutex_);
  control_.wantRecord = false;
  control_.pendingFile.reset();
}

void Grabber::Stop() {
  {
    std::lock_guard lock(mutex_);
    control_.wantRecord = false;
    control_.pendingFile.reset();
    control_.picture.reset();
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  slot_.Clear();
  state_ = ChannelState::Stopped;
}

bool Grabber::CaptureFrameTo(const std::filesystem::path& file, PictureFormat format, int quality) {
  std::lock_guard lock(mutex_);
  if (!thread_.joinable() || stop_ || control_.picture) return false;
  control_.picture = PendingPicture{file, format, quality};
  return true;
}

ConstFramePtr Grabber::LatestFrame() {
  frameNotified_ = false;
  return slot_.Get();
}

SourceInfo Grabber::source() const {
  std::lock_guard lock(mutex_);
  return source_;
}

GrabberStats Grabber::stats() const { return {frames_, recorded_, dropped_}; }

bool Grabber::WaitRetry() {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, kRetryDelay, [this] { return stop_.load(); });
}

void Grabber::Run() {
  bool everOpened = false, failureReported = false;
  Control local;  // the capture thread's copy of control_
  local.generation = ~uint64_t{0};
  while (!stop_) {
    SourceInfo info;
    CaptureRequest request;
    {
      std::lock_guard lock(mutex_);
      info = source_;
      request = request_;
    }
    std::string error;
    std::unique_ptr<FrameSource> source = OpenSource(info, request, stop_, error);
    if (!source) {
      if (stop_) break;
      if (!failureReported) {
        emit ErrorOccurred(channel_, QStringLiteral("无法打开视频源“%1”：%2").arg(info.title, Q(error)));
        failureReported = true;
      }
      if (!WaitRetry()) break;
      continue;
    }
    failureReported = false;
    fps_ = source->FrameRate();
    if (everOpened) {
      emit SourceRestored(channel_);
      ResumeRecordingLater();
    }
    everOpened = true;
    state_ = ChannelState::Previewing;
    emit PreviewStarted(channel_);

    ReadStatus status;
    int64_t droppedBefore = 0;
    for (;;) {
      FramePtr frame = pool_.Acquire(request.width, request.height);
      status = source->Read(*frame, error);
      if (status != ReadStatus::Frame) break;
      dropped_ += source->Dropped() - droppedBefore;
      droppedBefore = source->Dropped();
      frame->number = ++frames_;
      Process(std::move(frame), local);
    }
    source.reset();
    CloseRecorder(false);
    if (stop_) break;
    // The source went away: say so, keep the wish to record, and try again.
    state_ = ChannelState::Previewing;
    emit SourceLost(channel_, QStringLiteral("视频源“%1”中断：%2").arg(info.title, Q(error)));
    if (!WaitRetry()) break;
  }
  CloseRecorder(false);
  state_ = ChannelState::Stopped;
}

void Grabber::ResumeRecordingLater() {
  // A new name comes from the UI thread, where the naming rules and counters live.
  QMetaObject::invokeMethod(
      this,
      [this] {
        bool want;
        {
          std::lock_guard lock(mutex_);
          want = control_.wantRecord && !control_.pendingFile;
        }
        if (!want) return;
        if (namer_) {
          SetRecordingFileName(namer_());
        } else {
          StopRecording();
        }
      },
      Qt::QueuedConnection);
}

void Grabber::Process(FramePtr frame, Control& local) {
  std::optional<RecordingRequest> pendingFile;
  std::optional<PendingPicture> picture;
  bool wantRecord;
  {
    std::lock_guard lock(mutex_);
    if (local.generation != control_.generation) {
      local.overlay = control_.overlay;
      local.alarm = control_.alarm;
      local.alarmRect = control_.alarmRect;
      local.motion = control_.motion;
      local.remote = control_.remote;
      local.clock = control_.clock;
      local.generation = control_.generation;
    }
    wantRecord = control_.wantRecord;
    pendingFile = std::exchange(control_.pendingFile, std::nullopt);
    picture = std::exchange(control_.picture, std::nullopt);
  }

  // The detector sees the camera's picture only: our own time text changes every second
  // and the alarm frame appears on motion, so either would otherwise report motion itself.
  if (local.motion) {
    if (auto result = local.motion->OnFrame(*frame)) {
      if (result->motion)
        emit MotionDetected(channel_, result->ratio);
      else
        emit MotionNotDetected(channel_);
    }
  }

  if (local.overlay.enabled) {
    TDateTime now = local.clock ? local.clock->Now() : SystemClock().Now();
    overlayStamp_.Set(ExpandOverlayText(local.overlay.text, now), local.overlay.font, local.overlay.point_size,
                      local.overlay.colour_bgr);
    overlayStamp_.Draw(*frame, local.overlay.right, local.overlay.top, TextStamp::Align::Right);
  }
  if (local.alarm) DrawAlarmFrame(*frame, local.alarmRect);

  slot_.Put(frame);
  if (!frameNotified_.exchange(true)) emit FrameReady(channel_);

  if (pendingFile) SwitchRecorder(*pendingFile, *frame);
  if (!wantRecord && recorder_) CloseRecorder(true);
  if (recorder_) {
    std::string error;
    bool ok;
    {
      std::lock_guard lock(recorderMutex_);
      ok = recorder_->WriteVideo(*frame, error);
    }
    if (ok) {
      ++recorded_;
    } else {
      emit ErrorOccurred(channel_, QStringLiteral("录像写入失败，文件已关闭：%1").arg(Q(error)));
      {
        std::lock_guard lock(mutex_);
        control_.wantRecord = false;
      }
      CloseRecorder(true);
    }
  }

  if (local.remote) local.remote(channel_, frame->number, *frame);

  if (picture) {
    std::string error;
    bool ok = WritePicture(*frame, picture->file, picture->format, picture->quality, jpeg_, error);
    if (!ok) emit DebugLine(channel_, QStringLiteral("保存图片失败：%1").arg(Q(error)));
    emit FrameCaptured(channel_, Q(picture->file), ok);
  }
}

void Grabber::SwitchRecorder(const RecordingRequest& request, const Frame& frame) {
  RecorderConfig config;
  config.file = request.file;
  config.compressor = request.compressor;
  config.width = frame.width;
  config.height = frame.height;
  config.fps = fps_ > 0 ? fps_.load() : 25.0;

  // Sound stays with the recording across file switches; it starts with the first file.
  if (!recorder_ && request.audio_index >= 0) {
    std::vector<AudioInputInfo> inputs = ListAudioInputs();
    std::string error;
    if (request.audio_index < static_cast<int>(inputs.size())) {
      audio_ = AudioCapture::Open(inputs[static_cast<size_t>(request.audio_index)],
                                  [this](const uint8_t* s, int n) { WriteAudio(s, n); }, error);
    } else {
      error = "no sound input " + std::to_string(request.audio_index) + " (" + std::to_string(inputs.size()) +
              " present)";
    }
    if (!audio_) emit DebugLine(channel_, QStringLiteral("录像无声音：%1").arg(Q(error)));
  }
  if (audio_) config.audio = audio_->format();

  std::string error;
  std::unique_ptr<AviRecorder> next = AviRecorder::Open(config, error);
  if (!next) {
    emit ErrorOccurred(channel_, QStringLiteral("无法录像 %1：%2").arg(Q(request.file), Q(error)));
    if (!recorder_) {
      std::lock_guard lock(mutex_);
      control_.wantRecord = false;
      audio_.reset();
    }
    return;
  }
  std::unique_ptr<AviRecorder> previous;
  {
    std::lock_guard lock(recorderMutex_);
    previous = std::exchange(recorder_, std::move(next));
  }
  if (previous) {
    std::string closeError;
    bool ok = previous->Close(closeError);
    if (!ok) emit DebugLine(channel_, QStringLiteral("关闭录像文件失败：%1").arg(Q(closeError)));
    emit RecordingClosed(channel_, Q(previous->file()), previous->frames(), ok);
  }
  state_ = ChannelState::Recording;
  emit RecordingStarted(channel_, Q(request.file));
}

void Grabber::CloseRecorder(bool reportStop) {
  audio_.reset();  // joins the sound thread before the file goes
  std::unique_ptr<AviRecorder> current;
  {
    std::lock_guard lock(recorderMutex_);
    current = std::move(recorder_);
  }
  if (!current) return;
  std::string error;
  bool ok = current->Close(error);
  if (!ok) emit DebugLine(channel_, QStringLiteral("关闭录像文件失败：%1").arg(Q(error)));
  emit RecordingClosed(channel_, Q(current->file()), current->frames(), ok);
  if (reportStop && !stop_) {
    state_ = ChannelState::Previewing;
    emit PreviewStarted(channel_);
  }
}

void Grabber::WriteAudio(const uint8_t* samples, int bytes) {
  std::lock_guard lock(recorderMutex_);
  std::string ignored;  // a failed write shows on the next video frame
  if (recorder_) recorder_->WriteAudio(samples, bytes, ignored);
}

}  // namespace vigil::capture
