#include "StationFixture.h"

#include <QDesktopServices>
#include <algorithm>

#include "app/AlertSendersFacet.h"
#include "app/ChannelsFacet.h"

namespace vigil::test {

capture::SourceInfo MovingCamera(int index, double move_s, double rest_s) {
  capture::SourceInfo s = capture::VirtualCamera(index);
  s.virt.move_s = move_s;
  s.virt.rest_s = rest_s;
  return s;
}

capture::SourceInfo StillCamera(int index) { return MovingCamera(index, 0, 1000); }

void QuietDefaults(TOption& o) {
  o.VideoSize = 1;  // 320 × 240
  o.AlarmStartDelay = 0;
  o.NewVideoTip = false;
  o.AlarmSound = false;
  o.MsgTip = false;
  o.FileNameMode = 1;
  o.MinDiskSpace = 0;
  for (int n = 1; n <= kCameraCount; ++n) o.RecordCamera[n] = false;
}

Station::Station(std::vector<capture::SourceInfo> sources, std::shared_ptr<Clock> clock,
                 const TStartOptions& options, bool alertSenders) {
  Make(&sources, std::move(clock), options, alertSenders);
}

Station::Station(const TStartOptions& options) { Make(nullptr, std::make_shared<SystemClock>(), options); }

void Station::Make(const std::vector<capture::SourceInfo>* sources, std::shared_ptr<Clock> clock,
                   const TStartOptions& options, bool alertSenders) {
  form_ = std::make_unique<TfrmMain>(
      options,
      [&](TfrmMain& m) {
        TFacetList list;
        list.push_back(std::make_unique<TChannelsFacet>(m));
        if (sources) TChannels::Of(m)->SetSources(*sources);
        list.push_back(std::make_unique<TAlarmFacet>(m));
        if (alertSenders) list.push_back(std::make_unique<TAlertSendersFacet>(m));
        auto timer = std::make_unique<TSystemTimerFacet>(m);
        timer_ = timer.get();
        list.push_back(std::move(timer));
        return list;
      },
      std::move(clock));
  form_->show();
}

Station::~Station() {
  form_.reset();
  QCoreApplication::processEvents();
}

UrlCatcher::UrlCatcher(const QString& scheme) : scheme_(scheme) {
  QDesktopServices::setUrlHandler(scheme_, this, "Open");
}

UrlCatcher::~UrlCatcher() { QDesktopServices::unsetUrlHandler(scheme_); }

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace vigil::test
