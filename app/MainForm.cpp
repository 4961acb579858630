#include "MainForm.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <algorithm>
#include <exception>

#include "app/StationState.h"
#include "dialogs/SystemMessage.h"
#include "platform/GlobalHotKey.h"
#include "platform/SessionInhibitor.h"
#include "settings/DebugLog.h"
#include "settings/Options.h"

namespace vigil {

QEvent::Type THotKeyEvent::Type() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

TfrmMain::TfrmMain(const TStartOptions& options, const TFacetMaker& makeFacets,
                   std::shared_ptr<Clock> clock)
    : startOptions_(options), clock_(std::move(clock)) {
  BuildWindow();
  BuildTray();
  SetNotificationTarget(this);
  facets_ = makeFacets(*this);
  FormCreate();
}

TfrmMain::~TfrmMain() {
  FormDestroy();
  SetNotificationTarget(nullptr);
  TMsgTip::SetPresenter({});
}

bool TfrmMain::Monitoring() const { return !btnStart->isEnabled(); }

// Runs one step on every facet; a failing facet is logged and the others still run, so
// start-up and teardown always go on.
void TfrmMain::ForEachFacet(const char* failurePrefix,
                            const std::function<void(TMainFacet&)>& step) {
  for (const auto& facet : facets_) {
    try {
      step(*facet);
    } catch (const std::exception& e) {
      DebugLog.Write(QString::fromUtf8(failurePrefix) + QString::fromUtf8(e.what()));
    }
  }
}

void TfrmMain::LoadSettings() {
  LoadNetOptions();
  LoadOptions();
  try {
    ApplyPathDefaults();
  } catch (const std::exception& e) {
    // The defaults are in memory and the station runs on; what could not be created or
    // saved is said once, as a tip rather than a box that would hold an unattended start.
    DebugLog.Write(QStringLiteral("ApplyPathDefaults异常:") + QString::fromUtf8(e.what()));
    ShowTip(QStringLiteral("提示"), QString::fromUtf8(e.what()));
  }
}

void TfrmMain::FormCreate() {
  const auto create = [this](TCreateStage stage, const char* failurePrefix) {
    ForEachFacet(failurePrefix, [stage](TMainFacet& f) { f.FormCreate(stage); });
  };
  create(TCreateStage::NetData, "InitNetData异常:");
  NewsPending = true;
  TickCount = 0;
  StartTime = Now();
  trayIcon->setToolTip(QString::fromUtf8(kApplicationTitle));
  SavedPictureCount = SavedVideoCount = 0;
  UploadCount = 0;
  MailCount = 0;
  FtpQueue.Clear();
  MailQueue.Clear();
  SplitMode = 1;
  SelectedChannel = 1;
  FullScreen = false;
  LoadSettings();
  setWindowTitle(Option.WindowTitle);
  create(TCreateStage::Views, "CreateChannels异常:");
  create(TCreateStage::Settings, "ApplySettings异常:");
  RegisterBossKey();
  UpdateSessionInhibitor();
  create(TCreateStage::Services, "StartServices异常:");
  create(TCreateStage::PublicAddress, "SendMyIP异常:");
  // Handled once the window is shown and the event loop runs, in this order.
  if (Option.FirstRun) {
    PostNotification(WM_SHOW_GUIDE);
  } else {
    if (Option.BossModeAtStart) QCoreApplication::postEvent(this, new THotKeyEvent(HotKeyId));
    if (Option.MonitorAtStart) PostNotification(WM_START_MONITORING);
  }
  create(TCreateStage::Network, "InitNetWork异常:");
}

void TfrmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  const auto destroy = [this](TDestroyStage stage, const char* failurePrefix) {
    ForEachFacet(failurePrefix, [stage](TMainFacet& f) { f.FormDestroy(stage); });
  };
  destroy(TDestroyStage::Services, "StopServices异常:");
  FtpQueue.Clear();
  MailQueue.Clear();
  destroy(TDestroyStage::Views, "FreeChannels异常:");
  UnregisterBossKey();
  destroy(TDestroyStage::Network, "FiniNetWork异常:");
  facets_.clear();
  if (inhibitor_) inhibitor_->Release();
}

void TfrmMain::btnStartClick() {
  if (!PasswordGate(Option.ProtectStart)) return;
  ForEachFacet("StartMonitoring异常:", [](TMainFacet& f) { f.StartMonitoring(); });
  btnStop->setEnabled(true);
  btnStart->setEnabled(false);
}

void TfrmMain::btnStopClick() {
  if (!PasswordGate(Option.ProtectStop)) return;
  ForEachFacet("StopMonitoring异常:", [](TMainFacet& f) { f.StopMonitoring(); });
  btnStop->setEnabled(false);
  btnStart->setEnabled(true);
}

void TfrmMain::SetCommand(TCommand command, std::function<void()> action) {
  commands_[command] = std::move(action);
}

void TfrmMain::RunCommand(TCommand command) {
  bool guard = false;
  switch (command) {
    case TCommand::PlayBack: guard = Option.ProtectView; break;
    case TCommand::SystemOptions:
    case TCommand::AlarmSettings:
    case TCommand::NetSettings: guard = Option.ProtectOptions; break;
    default: break;
  }
  auto it = commands_.find(command);
  if (it == commands_.end() || !it->second) {
    // Said without a box: the first-run guide comes this way at an unattended start too.
    DebugLog.Write(QStringLiteral("command %1 is not available in this build").arg(static_cast<int>(command)));
    ShowTip(QStringLiteral("提示"), QStringLiteral("此功能在本版本中尚未提供。"));
    return;
  }
  if (!PasswordGate(guard)) return;
  it->second();
}

void TfrmMain::ToggleFullScreen() {
  if (!FullScreen) {
    SavedBounds = geometry();
    showMaximized();
  } else {
    showNormal();
    setGeometry(SavedBounds);
  }
  FullScreen = !FullScreen;
  btnFullScreen->setChecked(FullScreen);
  for (QAction* item : fullScreenItems_) item->setChecked(FullScreen);
}

void TfrmMain::SetSplitMode(int mode) {
  SplitMode = std::clamp(mode, 0, 3);
  viewCountGroup_->actions().at(SplitMode)->setChecked(true);
  ForEachFacet("LayoutViews异常:", [](TMainFacet& f) { f.LayoutViews(); });
}

bool TfrmMain::event(QEvent* e) {
  const int type = e->type();
  if (type >= kFirstNotification && type <= kLastNotification) {
    HandleNotification(static_cast<TNotification>(type));
    return true;
  }
  if (type == THotKeyEvent::Type()) {
    OnBossHotKey(static_cast<THotKeyEvent*>(e)->Id);
    return true;
  }
  return QWidget::event(e);
}

void TfrmMain::HandleNotification(TNotification n) {
  DebugLog.Write(QStringLiteral("notification %1").arg(static_cast<int>(n)));
  switch (n) {
    case WM_START_MONITORING: btnStartClick(); break;
    case WM_ACTIVATE_INSTANCE: ActivateInstance(); break;
    case WM_SHOW_GUIDE: RunCommand(TCommand::SetupWizard); break;
    case WM_HOTKEY_CHANGED:
      RegisterBossKey();
      UpdateSessionInhibitor();  // "退出选项" lives on the same settings page
      break;
    case WM_CAPTURE_SETTINGS_CHANGED:
      if (Monitoring()) {
        btnStopClick();
        btnStartClick();
      }
      break;
    case WM_ALARM_SETTINGS_CHANGED:
    case WM_VIDEO_SIZE_CHANGED:
      ForEachFacet("Notified异常:", [n](TMainFacet& f) { f.Notified(n); });
      break;
  }
}

void TfrmMain::ActivateInstance() {
  if (BossMode) {
    // Hidden by the boss key: stay hidden. Without a working hot key nothing else could
    // ever show the station again, so then a new start brings it back.
    if (hotKey_ && hotKey_->IsRegistered()) return;
    OnBossHotKey(HotKeyId);
  }
  RestoreFromTray();
}

}  // namespace vigil
