// TfrmMain: the station's main window controller. This file holds its state and the
// start-up order; its pieces live beside it:
//   MainForm.cpp        FormCreate / FormDestroy, the monitoring commands, notifications
//   MainWindowLayout.cpp  view area, toolbar, status labels, the two pop-up menus
//   MainTray.cpp        tray icon, restoring, minimising into the tray, message tips
//   Protection.cpp      password guard, closing, the end-of-session query
//   BossKey.cpp         the boss key
// and the other parts plug in as facets (app/MainFacet.h).
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/MainFacet.h"
#include "platform/DateTime.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSessionManager;
class QSystemTrayIcon;
class QToolButton;

namespace vigil {

class GlobalHotKey;
class SessionInhibitor;

// What the command line asked for; the capture layer reads the camera options.
struct TStartOptions {
  int VirtualCameras = 0;       // --virtual-cameras N
  bool DemoIfNoCamera = false;  // --demo-if-no-camera
};

// Commands that other parts carry out; bound with SetCommand.
enum class TCommand {
  PlayBack,           // recording browser (guarded by ProtectView)
  SystemOptions,      // system options dialog (ProtectOptions)
  AlarmSettings,      // alarm settings dialog (ProtectOptions)
  NetSettings,        // remote connection settings dialog (ProtectOptions)
  SetupWizard,        // first-run wizard
  Photo,              // snapshot of the selected channel
  DataSource,         // device settings dialog of the selected channel
  PreviewChannel,     // the selected channel previews
  RecordChannel,      // the selected channel records
  DisconnectChannel,  // the selected channel stops
  DefaultSettings,    // system options on the camera page, unguarded
  ExpandChannel,      // the selected channel's picture on the whole screen
  ViewPhotos,         // the snapshot folder
  PhotoSettings,      // snapshot settings
};

class TfrmMain : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmMain(const TStartOptions& options = {}, const TFacetMaker& makeFacets = MakeStationFacets,
                    std::shared_ptr<Clock> clock = std::make_shared<SystemClock>());
  ~TfrmMain() override;

  // --- state shared by the facets ---
  int SelectedChannel = 1;  // 1..9
  int SplitMode = 1;        // 0..3: 1, 4, 6 or 9 views
  bool FullScreen = false;
  QRect SavedBounds;
  int SavedPictureCount = 0;
  int SavedVideoCount = 0;
  TDateTime StartTime = 0;
  int TickCount = 0;
  bool NewsPending = true;
  int HotKeyId = 0;  // 0 = no boss key registered
  bool BossMode = false;

  // Monitoring runs exactly while btnStart is disabled.
  bool Monitoring() const;
  const TStartOptions& StartOptions() const { return startOptions_; }
  TDateTime Now() const { return clock_->Now(); }
  std::shared_ptr<Clock> SharedClock() const { return clock_; }

  // --- commands ---
  void btnStartClick();
  void btnStopClick();
  void ToggleFullScreen();
  void SetSplitMode(int mode);
  void RestoreFromTray();  // show, un-minimise and bring to the front
  // Runs a bound command after its password guard; an unbound one is logged.
  void RunCommand(TCommand command);
  void SetCommand(TCommand command, std::function<void()> action);

  // --- protection, boss key, exit (Protection.cpp, BossKey.cpp) ---
  // True when no password is needed for `flag` or the prompt ended with the right one.
  bool PasswordGate(bool flag);
  void RegisterBossKey();
  void UnregisterBossKey();
  void OnBossHotKey(int id);
  // Ends the station without the exit prompt: the system asked (SIGTERM and the like).
  void CloseOnRequest(const QString& why);
  // Whether the desktop session may end now (no prompt).
  bool QueryEndSession();
  // Holds or drops the logind block according to ExitOption.
  void UpdateSessionInhibitor();

  // --- widgets ---
  QWidget* pnlView = nullptr;
  QWidget* pnlToolbar = nullptr;
  QToolButton* btnStart = nullptr;
  QToolButton* btnStop = nullptr;
  QToolButton* btnPlayBack = nullptr;
  QToolButton* btnFullScreen = nullptr;
  QToolButton* btnSystemSet = nullptr;
  QToolButton* btnAlarmSet = nullptr;
  QToolButton* btnNetSet = nullptr;
  QToolButton* btnPhoto = nullptr;
  QLabel* lblSendEmail = nullptr;
  QLabel* lblUploadPic = nullptr;
  QLabel* lblSavePic = nullptr;
  QLabel* lblSaveAvi = nullptr;
  QLabel* lblFreeDiskPic = nullptr;
  QLabel* lblCPUUsage = nullptr;
  QLabel* lblRunTime = nullptr;
  QLabel* lblAd = nullptr;   // advertisement link of the network part
  QMenu* pm1 = nullptr;      // pop-up menu of the view area and the channels
  QMenu* pmTray = nullptr;   // pop-up menu of the tray icon
  QAction* mnuDataSource = nullptr;  // enabled by the channel facet as devices allow
  QSystemTrayIcon* trayIcon = nullptr;

 signals:
  // The window has closed for good: the program ends.
  void Closed();

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void FormCreate();
  void FormDestroy();
  void LoadSettings();
  void ForEachFacet(const char* failurePrefix, const std::function<void(TMainFacet&)>& step);
  void HandleNotification(TNotification n);
  void ActivateInstance();

  // MainWindowLayout.cpp
  void BuildWindow();
  void BuildToolbar();
  void BuildMenus();
  QAction* AddCommandItem(QMenu* menu, const QString& text, TCommand command);
  // MainTray.cpp
  void BuildTray();
  void ShowTip(const QString& title, const QString& text);
  // Protection.cpp
  bool FormCloseQuery();
  void OnCommitDataRequest(QSessionManager& manager);
  // BossKey.cpp
  void HideAll();
  void ShowAll();

  TStartOptions startOptions_;
  std::shared_ptr<Clock> clock_;
  TFacetList facets_;
  std::map<TCommand, std::function<void()>> commands_;
  std::vector<QAction*> fullScreenItems_;
  QActionGroup* viewCountGroup_ = nullptr;
  QLabel* inWindowTip_ = nullptr;
  std::unique_ptr<GlobalHotKey> hotKey_;
  std::unique_ptr<SessionInhibitor> inhibitor_;
  std::vector<QPointer<QWidget>> bossHidden_;  // windows to show again after boss mode
  bool trayWasVisible_ = false;
  bool sessionEnding_ = false;  // the session ends with our consent: close without asking
  bool destroyed_ = false;
};

// The event that the boss hot key (or boss mode at start) posts; carries the key's id.
class THotKeyEvent : public QEvent {
 public:
  explicit THotKeyEvent(int id) : QEvent(Type()), Id(id) {}
  static QEvent::Type Type();
  int Id;
};

}  // namespace vigil
