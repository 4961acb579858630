// Alarm actions of the main window: the detectors' switch and grid once a second, and what
// a motion report does — the warning frame, the sound, the alarm program, the picture and
// its queuing for the e-mail and FTP senders. Failures of these actions never bother the
// user; they leave a debug line and the other actions go on.
#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/MainFacet.h"
#include "platform/DateTime.h"

class QProcess;
class QSoundEffect;

namespace vigil {

class TChannels;

// Switches each running channel's detector on or off and gives it its grid (a step of the
// system timer).
void ConfigureDetectors(TChannels& channels, TDateTime now);

// The sound file to play for `wavFile`: itself when it exists; for the default sound of a
// program folder that has none (VIGIL_HOME), the one installed beside the program; else
// empty.
QString AlarmSoundFile(const QString& wavFile);

class TAlarmFacet final : public TMainFacet {
 public:
  explicit TAlarmFacet(TfrmMain& main);
  ~TAlarmFacet() override;

  void StartMonitoring() override;

  void OnMotion(int n);
  void OnMotionGone(int n);

 private:
  struct Queues {
    bool ftp = false, mail = false;
  };
  void PlaySound();
  void RunAlarmProgram();
  void SavePicture(int n);
  void OnPictureCaptured(int n, const QString& file, bool ok);

  TChannels* channels_;
  std::unique_ptr<QSoundEffect> sound_;
  QPointer<QProcess> program_;  // the alarm program's last start, while it runs
  bool programStarted_ = false;  // since monitoring started
  QHash<QString, Queues> pending_;  // alarm pictures asked for and not yet written
};

}  // namespace vigil
