// The one-second system timer tmrSys: run time, timed shutdown, the monitoring window, the
// day folder, the rotation of recording files, free space and CPU, the counters, the
// low-disk action, the detectors and the news page, in that order, each tick.
#pragma once

#include <QTimer>
#include <memory>

#include "app/MainFacet.h"
#include "platform/DateTime.h"

namespace vigil {

class TChannels;

class TSystemTimerFacet final : public TMainFacet {
 public:
  explicit TSystemTimerFacet(TfrmMain& main);
  ~TSystemTimerFacet() override;

  void FormCreate(TCreateStage stage) override;
  void FormDestroy(TDestroyStage stage) override;

  // One tick; also called by tests that drive the clock themselves.
  void tmrSysTimer();
  QTimer& tmrSys() { return *tmrSys_; }

 private:
  void RotateRecordings(TDateTime now);
  void LowDisk();

  TChannels* channels_;
  std::unique_ptr<QTimer> tmrSys_;
  bool scheduleRunning_ = false;
  QString shutdownMinute_;  // the minute the shutdown was last asked for  // a start or stop of the monitoring window is under way
};

}  // namespace vigil
