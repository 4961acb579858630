// The station's main window with its real channel, alarm and system-timer facets, fed by
// virtual cameras, in a private VIGIL_HOME, on a clock the test can move.
#pragma once

#include <QUrl>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "AppTestSupport.h"
#include "TempHome.h"
#include "app/AlarmFacet.h"
#include "app/Channels.h"
#include "app/MainForm.h"
#include "app/SystemTimerFacet.h"
#include "platform/capture/Sources.h"

namespace vigil::test {

// Real time shifted by an offset the test sets: frames keep their real pace while the
// station believes it is another day or hour.
class ShiftedClock final : public Clock {
 public:
  TDateTime Now() const override { return SystemClock().Now() + offset_.load(); }
  void Set(TDateTime t) { offset_ = t - SystemClock().Now(); }
  void AdvanceSeconds(double s) { offset_ = offset_.load() + s / 86400.0; }

 private:
  std::atomic<double> offset_{0};
};

// A virtual camera whose ball moves for `move_s` seconds after the start, then rests.
capture::SourceInfo MovingCamera(int index, double move_s, double rest_s = 1000);
// A virtual camera whose ball never moves.
capture::SourceInfo StillCamera(int index);

// Settings of the tests: 320 × 240, no wizard, no start delay, no news page, no sound.
void QuietDefaults(TOption& o);

class Station {
 public:
  // With `alertSenders` the alert e-mail thread and the FTP uploader run too.
  Station(std::vector<capture::SourceInfo> sources, std::shared_ptr<Clock> clock,
          const TStartOptions& options = {}, bool alertSenders = false);
  // The sources the command line asks for, as the program finds them.
  explicit Station(const TStartOptions& options);
  ~Station();
  TfrmMain& form() { return *form_; }
  TChannels& channels() { return *TChannels::Of(*form_); }
  TSystemTimerFacet& timer() { return *timer_; }
  TChannel& operator[](int n) { return channels()[n]; }

 private:
  void Make(const std::vector<capture::SourceInfo>* sources, std::shared_ptr<Clock> clock,
            const TStartOptions& options, bool alertSenders = false);
  TSystemTimerFacet* timer_ = nullptr;
  std::unique_ptr<TfrmMain> form_;
};

// Catches what the station would open in the desktop's browser or viewer.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  explicit UrlCatcher(const QString& scheme);
  ~UrlCatcher() override;
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.push_back(url); }

 private:
  QString scheme_;
};

// Files directly in `folder` (sorted by name); empty when it does not exist.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder);

}  // namespace vigil::test
