// The channel facet of the main window: creates the nine channels and their views, lays
// them out, starts and stops them with monitoring, and carries out the channel commands of
// the pop-up menu and the snapshot commands.
#pragma once

#include "app/MainFacet.h"

namespace vigil {

class TChannels;

class TChannelsFacet final : public TMainFacet {
 public:
  explicit TChannelsFacet(TfrmMain& main);
  ~TChannelsFacet() override;

  void FormCreate(TCreateStage stage) override;
  void FormDestroy(TDestroyStage stage) override;
  void StartMonitoring() override;
  void StopMonitoring() override;
  void LayoutViews() override;
  void Notified(TNotification n) override;

 private:
  void BindCommands();
  void ShowDeviceSettings();

  TChannels* channels_;  // child of the main window
};

}  // namespace vigil
