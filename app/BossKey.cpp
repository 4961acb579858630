// The boss key: a system-wide hot key that hides the whole station (windows, open dialogs,
// tray icon) and shows it again on the next press. Monitoring goes on while hidden.
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWindow>

#include "app/MainForm.h"
#include "platform/GlobalHotKey.h"
#include "settings/DebugLog.h"
#include "settings/Options.h"

namespace vigil {
namespace {

// The id of our one hot key; 0 means none.
constexpr int kBossHotKeyId = 1;

// Through the native window, so that a modal dialog's own loop is not ended by the hiding
// (hiding a QDialog closes its exec()); it comes back with the same state.
void setShown(QWidget* w, bool shown) {
  if (QWindow* h = w->windowHandle()) h->setVisible(shown);
  else w->setVisible(shown);
}

}  // namespace

void TfrmMain::RegisterBossKey() {
  UnregisterBossKey();
  if (!Option.UseBossKey) return;
  if (!hotKey_) {
    hotKey_ = std::make_unique<GlobalHotKey>();
    // Posted, as the window message was: handled after the key event has been dealt with.
    connect(hotKey_.get(), &GlobalHotKey::Pressed, this,
            [this] { QCoreApplication::postEvent(this, new THotKeyEvent(HotKeyId)); });
  }
  const QString key = QStringLiteral("0x%1").arg(Option.BossKey, 4, 16, QLatin1Char('0'));
  switch (hotKey_->Register(Option.BossKey)) {
    case GlobalHotKey::Result::Registered:
      HotKeyId = kBossHotKeyId;
      DebugLog.Write(QStringLiteral("boss key %1 registered").arg(key));
      break;
    case GlobalHotKey::Result::NoDisplay:
      break;  // no X11 display: no boss key, silently
    case GlobalHotKey::Result::UnknownKey:
      DebugLog.Write(QStringLiteral("boss key %1 names no key of this keyboard").arg(key));
      break;
    case GlobalHotKey::Result::Taken:
      DebugLog.Write(QStringLiteral("boss key %1 is held by another program").arg(key));
      TMsgTip::ShowTip(QStringLiteral("提示"), QStringLiteral("老板键已被其他程序占用，请在系统设置中另选一个。"));
      break;
  }
}

void TfrmMain::UnregisterBossKey() {
  if (HotKeyId <= 0) return;
  if (hotKey_) hotKey_->Unregister();
  HotKeyId = 0;
}

void TfrmMain::OnBossHotKey(int id) {
  if (id != HotKeyId) return;
  if (!BossMode) HideAll();
  else ShowAll();
  BossMode = !BossMode;
  DebugLog.Write(QStringLiteral("boss mode %1: main window %2, tray icon %3")
                     .arg(BossMode ? QStringLiteral("on") : QStringLiteral("off"),
                          isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"),
                          trayIcon->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden")));
}

void TfrmMain::HideAll() {
  bossHidden_.clear();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    if (qobject_cast<QMenu*>(w)) {
      w->close();  // an open pop-up menu is dismissed, not brought back
      continue;
    }
    bossHidden_.emplace_back(w);
    setShown(w, false);
  }
  trayIcon->hide();
}

void TfrmMain::ShowAll() {
  for (const QPointer<QWidget>& w : bossHidden_)
    if (w) setShown(w, true);
  bossHidden_.clear();
  trayIcon->show();
}

}  // namespace vigil
