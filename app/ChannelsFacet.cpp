#include "app/ChannelsFacet.h"

#include <QAction>
#include <QMenu>

#include "app/Channels.h"
#include "app/DeviceSettingsDialog.h"
#include "app/MainForm.h"
#include "platform/Shell.h"
#include "settings/Options.h"

namespace vigil {

TChannelsFacet::TChannelsFacet(TfrmMain& main) : TMainFacet(main), channels_(new TChannels(main)) {}

TChannelsFacet::~TChannelsFacet() = default;

void TChannelsFacet::FormCreate(TCreateStage stage) {
  switch (stage) {
    case TCreateStage::Views:
      channels_->CreateChannels();
      channels_->LayoutViews();
      BindCommands();
      break;
    case TCreateStage::Settings: channels_->ApplyBurstInterval(); break;
    case TCreateStage::Services: channels_->PlaceAlarmFrame(); break;
    default: break;
  }
}

void TChannelsFacet::FormDestroy(TDestroyStage stage) {
  if (stage == TDestroyStage::Views) channels_->FreeChannels();
}

void TChannelsFacet::StartMonitoring() {
  const int d = channels_->DeviceCount();
  for (int n = 1; n <= d; ++n)
    if (Option.UseVideo[n]) channels_->StartChannel(n);
}

void TChannelsFacet::StopMonitoring() { channels_->StopAll(); }

void TChannelsFacet::LayoutViews() { channels_->LayoutViews(); }

void TChannelsFacet::Notified(TNotification n) {
  if (n == WM_VIDEO_SIZE_CHANGED) channels_->PlaceAlarmFrame();
}

void TChannelsFacet::BindCommands() {
  TChannels& ch = *channels_;
  TfrmMain& m = main_;
  m.SetCommand(TCommand::DataSource, [this] { ShowDeviceSettings(); });
  m.SetCommand(TCommand::PreviewChannel, [&ch, &m] { ch.PreviewChannel(m.SelectedChannel); });
  m.SetCommand(TCommand::RecordChannel, [&ch, &m] { ch.RecordChannel(m.SelectedChannel); });
  m.SetCommand(TCommand::DisconnectChannel, [&ch, &m] { ch.DisconnectChannel(m.SelectedChannel); });
  m.SetCommand(TCommand::ExpandChannel, [&ch, &m] { ch.SetFullScreen(m.SelectedChannel, true); });
  m.SetCommand(TCommand::Photo, [&ch] { ch.btnPhotoClick(); });
  m.SetCommand(TCommand::ViewPhotos, [] {
    if (!Option.PhotoPath.isEmpty()) OpenWithDesktop(Option.PhotoPath);
  });
  // The device settings item is there only for channels whose device exists.
  QObject::connect(m.pm1, &QMenu::aboutToShow, channels_,
                   [&ch, &m] { m.mnuDataSource->setEnabled(ch.DeviceCount() >= m.SelectedChannel); });
}

void TChannelsFacet::ShowDeviceSettings() {
  const int s = main_.SelectedChannel;
  if (channels_->DeviceCount() < s) return;
  TDeviceSettingsDialog dialog(s, channels_->Sources().at(static_cast<size_t>(s - 1)), &main_);
  dialog.exec();
}

}  // namespace vigil
