// The tray icon with its menu, hiding into the tray when minimised, and the message tips.
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/Icons.h"
#include "app/MainForm.h"
#include "platform/Shell.h"
#include "settings/DebugLog.h"
#include "settings/Options.h"

namespace vigil {
namespace {

bool trayUsable(const QSystemTrayIcon* tray) {
  return tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace

void TfrmMain::BuildTray() {
  const QIcon icon = StationIcon(QStringLiteral("camera-video"), QStringLiteral("station"));
  setWindowIcon(icon);
  trayIcon = new QSystemTrayIcon(icon, this);
  trayIcon->setToolTip(QString::fromUtf8(kApplicationTitle));
  trayIcon->setContextMenu(pmTray);  // shown when the right button is released over it
  connect(trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick) RestoreFromTray();
  });
  trayIcon->show();
  TMsgTip::SetPresenter([this](const QString& title, const QString& text) { ShowTip(title, text); });
}

void TfrmMain::RestoreFromTray() {
  if (BossMode) return;
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TfrmMain::changeEvent(QEvent* e) {
  QWidget::changeEvent(e);
  // Minimising hides the window into the tray, but only where a tray can bring it back.
  if (e->type() == QEvent::WindowStateChange && isMinimized() && trayUsable(trayIcon))
    QTimer::singleShot(0, this, [this] { if (isMinimized()) hide(); });
}

void TfrmMain::ShowTip(const QString& title, const QString& text) {
  if (BossMode) return;  // hidden means silent, tray icon included
  if (trayUsable(trayIcon)) {
    trayIcon->showMessage(title, text, QSystemTrayIcon::Information, TMsgTip::kShowMs);
    return;
  }
  if (ShowDesktopNotification(title, text, TMsgTip::kShowMs)) return;
  // Neither tray nor notification service: a tip along the top of the view area.
  if (!inWindowTip_) {
    inWindowTip_ = new QLabel(pnlView);
    inWindowTip_->setObjectName(QStringLiteral("lblTip"));
    inWindowTip_->setStyleSheet(QStringLiteral(
        "background: #fff8c4; color: black; border: 1px solid #a08000; padding: 4px;"));
    inWindowTip_->setWordWrap(true);
  }
  inWindowTip_->setText(QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), text.toHtmlEscaped()));
  inWindowTip_->setFixedWidth(std::max(200, pnlView->width() - 16));
  inWindowTip_->adjustSize();
  inWindowTip_->move(8, 8);
  inWindowTip_->show();
  inWindowTip_->raise();
  // A new tip replaces the old one and starts its own ten seconds.
  auto* timer = inWindowTip_->findChild<QTimer*>();
  if (!timer) {
    timer = new QTimer(inWindowTip_);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, inWindowTip_, &QLabel::hide);
  }
  timer->start(TMsgTip::kShowMs);
}

}  // namespace vigil
