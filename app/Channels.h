// The nine camera channels of the main window: each with its grabber (capture thread,
// recording, pictures, motion detector), its view in pnlView, its state and times, and its
// burst timer. Owned by the main window (a Qt child of TfrmMain); the facets of channels,
// alarms, the system timer and remote viewing find it with TChannels::Of.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "platform/DateTime.h"
#include "platform/capture/Sources.h"
#include "settings/Options.h"

class QTimer;

namespace vigil {

class TfrmMain;
class TChannelView;
class TDetectorHook;
namespace capture {
class Grabber;
}

enum class TChannelState { Stopped, Previewing, Recording };

struct TChannel {
  int n = 0;
  capture::Grabber* Grabber = nullptr;  // child of TChannels
  TChannelView* View = nullptr;         // child of pnlView
  std::unique_ptr<TChannelView> FullScreenView;  // while shown on the whole screen
  std::shared_ptr<TDetectorHook> Detector;
  TChannelState State = TChannelState::Stopped;
  TDateTime ChannelStart = 0;      // preview or a recording file began
  TDateTime RecordStart = 0;       // the current recording file began
  TDateTime LastAlarmPicture = 0;
  QString BurstBase;
  int BurstLeft = 0;
  QTimer* BurstTimer = nullptr;    // child of TChannels, tag = n
  QString RecordingFile;           // the file being written, empty when none
  bool InAlarm = false;            // between a motion and a no-motion report
  bool AlarmFrameOn = false;       // the red frame is drawn into the picture
};

class TChannels : public QObject {
  Q_OBJECT
 public:
  explicit TChannels(TfrmMain& main);
  ~TChannels() override;
  // The channels of this main window (null before the channel facet made them).
  static TChannels* Of(TfrmMain& main);

  TfrmMain& main() const { return main_; }

  // The sources channels 1..9 use, in device order. Default: the machine's devices, the
  // extra sources of config.ini and the virtual cameras the command line asks for.
  void SetSources(std::vector<capture::SourceInfo> sources);
  const std::vector<capture::SourceInfo>& Sources() const { return sources_; }
  int DeviceCount() const;

  // --- channels and views (Channels.cpp) ---
  void CreateChannels();
  void FreeChannels();
  TChannel& operator[](int n);  // 1..9
  const TChannel& operator[](int n) const;
  void LayoutViews();
  void SelectChannel(int n);
  void SetFullScreen(int n, bool on);
  void StartChannel(int n);
  void PreviewChannel(int n);
  void DisconnectChannel(int n);
  void StopAll();
  void SetOverlayText(int n);
  void PlaceAlarmFrame();
  void SetAlarmFrame(int n, bool on);

  // --- recording (Recording.cpp) ---
  // Sets up sound, day folder, name and compressor and starts recording; false (with a
  // message to the user) when the day folder cannot be made. Counts nothing.
  bool BeginRecording(int n, TDateTime t);
  void StartRecording(int n, TDateTime t);  // BeginRecording + SavedVideoCount
  void RecordChannel(int n);
  // The name of channel n's next recording file at t (day folder made); throws
  // DayFolderError.
  QString NextRecordingName(int n, TDateTime t);
  // Files being written, which no clean-up may touch.
  std::set<std::filesystem::path> FilesInUse() const;

  // --- snapshots (Snapshots.cpp) ---
  void btnPhotoClick();
  void BurstTick(int n);
  void ApplyBurstInterval();

 signals:
  // Re-sent from the grabbers, on the UI thread, for running channels only.
  void MotionDetected(int n);
  void MotionGone(int n);
  void PictureCaptured(int n, const QString& file, bool ok);

 private:
  void ConnectGrabber(TChannel& c);
  void OnPreviewStarted(int n);
  void OnRecordingStarted(int n, const QString& file);
  void OnRecordingClosed(int n, const QString& file, bool ok);
  void OnMotion(int n, bool motion);
  void ShowChannelError(int n, const QString& message);
  void PrepareGrabber(int n);
  bool Running(int n) const;

  TfrmMain& main_;
  std::vector<capture::SourceInfo> sources_;
  bool sourcesSet_ = false;
  std::vector<TChannel> channels_;  // 9 once created
  // Files of this run that held an alarm (kept under RecordMode 2).
  std::set<QString> alarmFiles_;
};

}  // namespace vigil
