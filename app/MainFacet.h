// How the parts of the station plug into the main window controller.
//
// TfrmMain owns the start-up order, the toolbar, the menus, the tray, the notifications,
// protection and the two monitoring commands. Everything else (channels and views,
// recording, snapshots, alarms, the mail and FTP senders, the system timer, the network
// part) is a facet: a class derived from TMainFacet in its own files, created by
// MakeStationFacets (app/StationFacets.cpp, one line per facet), given the controller, and
// called at the moments below. A facet reads and changes the controller's public state and
// may create its own timers and widgets (parented to the controller or its pnlView).
//
// Commands that open another part's dialog or act on a channel are bound with
// TfrmMain::SetCommand; the controller applies the password guard first where one applies.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "dialogs/Notifications.h"

namespace vigil {

class TfrmMain;

// Moments of FormCreate at which facets act, in this order. The controller's own steps
// (settings load, caption, boss key, the posted start-up notifications) sit between them.
enum class TCreateStage {
  NetData,        // first of all: network data and the debug-log prefix
  Views,          // after the settings load: create the nine channels, lay out the views
  Settings,       // burst-shot timers, FTP settings
  Services,       // the alert e-mail sender, the alarm frame for the current video size
  PublicAddress,  // mail the station's public address (failures logged as "SendMyIP异常:")
  Network,        // network start and reconnect timer (failures logged as "InitNetWork异常:")
};

// Moments of FormDestroy, in this order.
enum class TDestroyStage {
  Services,  // end the mail sender (terminate, wait, free)
  Views,     // free the channels and their per-channel network objects
  Network,   // network stop (failures logged as "FiniNetWork异常:")
};

class TMainFacet {
 public:
  explicit TMainFacet(TfrmMain& main) : main_(main) {}
  virtual ~TMainFacet() = default;
  TMainFacet(const TMainFacet&) = delete;
  TMainFacet& operator=(const TMainFacet&) = delete;

  virtual void FormCreate(TCreateStage) {}
  virtual void FormDestroy(TDestroyStage) {}
  // Start monitoring, after its password guard and before the buttons switch: start the
  // used channels whose device exists; activate the remote session server when allowed.
  virtual void StartMonitoring() {}
  // Stop monitoring, after its guard: stop every channel.
  virtual void StopMonitoring() {}
  // The view area was resized or the view count (SplitMode) changed.
  virtual void LayoutViews() {}
  // WM_ALARM_SETTINGS_CHANGED and WM_VIDEO_SIZE_CHANGED reach every facet; the others are
  // the controller's own.
  virtual void Notified(TNotification) {}

 protected:
  TfrmMain& main_;
};

using TFacetList = std::vector<std::unique_ptr<TMainFacet>>;
using TFacetMaker = std::function<TFacetList(TfrmMain&)>;

// The station's facets (app/StationFacets.cpp).
TFacetList MakeStationFacets(TfrmMain& main);

}  // namespace vigil
