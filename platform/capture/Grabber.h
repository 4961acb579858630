// One channel's capture engine: a capture thread reading its source and running the frame
// path (motion hook, overlay, alarm frame, preview slot, recorder, remote-frame hook,
// pending picture). Commands are called on the UI thread; every event reaches the UI thread
// as a queued signal, except the remote-frame handler, which runs on the capture thread.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/DateTime.h"
#include "platform/capture/AudioInput.h"
#include "platform/capture/AviRecorder.h"
#include "platform/capture/Compressors.h"
#include "platform/capture/Frame.h"
#include "platform/capture/Overlay.h"
#include "platform/capture/Picture.h"
#include "platform/capture/Sources.h"

namespace vigil::capture {

struct MotionResult {
  bool motion = false;
  double ratio = 0;
};

// The motion detector as the frame path sees it: called on the capture thread with every
// frame, before the overlay and the alarm frame are drawn; nothing means "no comparison
// made for this frame".
class MotionHook {
 public:
  virtual ~MotionHook() = default;
  virtual std::optional<MotionResult> OnFrame(const Frame& frame) = 0;
};

// Called on the capture thread for every frame; the frame is valid only during the call.
using RemoteFrameHandler = std::function<void(int channel, int64_t number, const Frame& frame)>;

struct RecordingRequest {
  std::filesystem::path file;
  int compressor = kXvidCompressor;
  int audio_index = -1;  // into ListAudioInputs(); below 0: no sound
};

enum class ChannelState { Stopped, Previewing, Recording };

struct GrabberStats {
  int64_t frames = 0;    // frames taken from the source
  int64_t recorded = 0;  // frames written to recordings
  int64_t dropped = 0;   // frames the source skipped because the channel fell behind
};

class Grabber : public QObject {
  Q_OBJECT
 public:
  explicit Grabber(int channel, QObject* parent = nullptr);
  ~Grabber() override;

  int channel() const { return channel_; }

  // These two take effect at the next start.
  void SetSource(const SourceInfo& source);
  void SetCaptureSize(int width, int height, double fps = 25.0);
  // These take effect at the next frame.
  void SetTextOverlay(const TextOverlay& overlay);
  void SetAlarmFrame(bool enabled, const QRect& rect = {});
  void SetMotionHook(std::shared_ptr<MotionHook> hook);
  void SetRemoteFrameHandler(RemoteFrameHandler handler);
  void SetClock(std::shared_ptr<const Clock> clock);
  // Names the next file when a lost source comes back during a recording; called on the UI
  // thread. Without a namer the channel comes back previewing.
  void SetRecordingNamer(std::function<std::filesystem::path()> namer);

  // Starts capture if needed and stops a recording.
  void StartPreview();
  // Starts capture if needed and records; while recording, switches to the new file as
  // SetRecordingFileName does. False (and ErrorOccurred) when the compressor cannot encode
  // this picture: nothing is written then.
  bool StartRecording(const RecordingRequest& request, QString* error = nullptr);
  // While recording: the current file is closed after the frame in hand and the next frame
  // starts `file`. False when not recording.
  bool SetRecordingFileName(const std::filesystem::path& file);
  void StopRecording();  // back to preview
  void Stop();

  // Writes the next frame to `file`; refused while the channel is stopped or a picture is
  // still pending. FrameCaptured reports the outcome.
  bool CaptureFrameTo(const std::filesystem::path& file, PictureFormat format, int quality = 90);

  // The newest frame for the preview; also re-arms FrameReady.
  ConstFramePtr LatestFrame();
  ChannelState state() const { return state_; }
  bool running() const { return thread_.joinable(); }
  double FrameRate() const { return fps_; }
  GrabberStats stats() const;
  SourceInfo source() const;

 signals:
  void PreviewStarted(int channel);
  void RecordingStarted(int channel, const QString& file);
  void RecordingClosed(int channel, const QString& file, qint64 frames, bool ok);
  void SourceLost(int channel, const QString& message);
  void SourceRestored(int channel);
  // A message for the user (and the debug log): source cannot be opened, write failed ...
  void ErrorOccurred(int channel, const QString& message);
  // A debug line only.
  void DebugLine(int channel, const QString& text);
  void FrameCaptured(int channel, const QString& file, bool ok);
  void MotionDetected(int channel, double ratio);
  void MotionNotDetected(int channel);
  // A new frame is in the slot; sent again only after LatestFrame() was called.
  void FrameReady(int channel);

 private:
  struct PendingPicture {
    std::filesystem::path file;
    PictureFormat format;
    int quality;
  };
  // What the UI thread asks of the capture thread, read at each frame boundary.
  struct Control {
    bool wantRecord = false;
    std::optional<RecordingRequest> pendingFile;  // open this file at the next frame
    RecordingRequest lastRequest;
    std::optional<PendingPicture> picture;
    TextOverlay overlay;
    bool alarm = false;
    QRect alarmRect;
    std::shared_ptr<MotionHook> motion;
    RemoteFrameHandler remote;
    std::shared_ptr<const Clock> clock;
    uint64_t generation = 0;  // bumped by every change of the fields above
  };

  void StartThread();
  void Run();
  bool WaitRetry();
  void Process(FramePtr frame, Control& local);
  void SwitchRecorder(const RecordingRequest& request, const Frame& frame);
  void CloseRecorder(bool reportStop);
  void WriteAudio(const uint8_t* samples, int bytes);
  void ResumeRecordingLater();

  const int channel_;
  std::function<std::filesystem::path()> namer_;

  mutable std::mutex mutex_;  // guards source_, request_ and control_
  std::condition_variable wake_;
  SourceInfo source_;
  CaptureRequest request_;
  Control control_;

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<ChannelState> state_{ChannelState::Stopped};
  std::atomic<double> fps_{0};
  std::atomic<bool> frameNotified_{false};
  std::atomic<int64_t> frames_{0}, recorded_{0}, dropped_{0};
  LatestFrameSlot slot_;

  // Capture thread only (the recorder also under recorderMutex_, for the sound thread).
  std::mutex recorderMutex_;
  std::unique_ptr<AviRecorder> recorder_;
  std::unique_ptr<AudioCapture> audio_;
  TextStamp overlayStamp_;
  JpegEncoder jpeg_;
  FramePool pool_;
};

}  // namespace vigil::capture
