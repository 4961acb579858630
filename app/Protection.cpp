// Password guard of the protected commands, closing the main window, and whether the
// desktop session may end while the station runs.
#include <QCloseEvent>
#include <QGuiApplication>
#include <QSessionManager>

#include "app/MainForm.h"
#include "dialogs/PasswordDialogs.h"
#include "dialogs/SystemMessage.h"
#include "platform/SessionInhibitor.h"
#include "settings/DebugLog.h"
#include "settings/Options.h"

namespace vigil {
namespace {

constexpr int kExitAllowsShutdown = 1;

}  // namespace

bool TfrmMain::PasswordGate(bool flag) {
  if (!Option.UsePassword || !flag) return true;
  return AskPassword();
}

bool TfrmMain::FormCloseQuery() {
  if (!PasswordGate(Option.ProtectExit)) return false;
  return ConfirmMessage(this, QStringLiteral("退出系统"),
                        QStringLiteral("本操作将退出《") + Option.WindowTitle + QStringLiteral("》！"));
}

void TfrmMain::closeEvent(QCloseEvent* e) {
  if (!sessionEnding_ && !FormCloseQuery()) {
    e->ignore();
    return;
  }
  e->accept();
  emit Closed();
}

void TfrmMain::CloseOnRequest(const QString& why) {
  DebugLog.Write(QStringLiteral("closing on request: ") + why);
  sessionEnding_ = true;  // whoever sent it may not answer a password prompt
  close();
}

bool TfrmMain::QueryEndSession() { return Option.ExitOption == kExitAllowsShutdown; }

void TfrmMain::OnCommitDataRequest(QSessionManager& manager) {
  if (QueryEndSession()) {
    sessionEnding_ = true;  // the session closes us next: no prompt on that path
    return;
  }
  DebugLog.Write(QStringLiteral("end of session refused (退出选项 %1)").arg(Option.ExitOption));
  manager.cancel();
}

void TfrmMain::UpdateSessionInhibitor() {
  if (!inhibitor_) {
    // Both ways a desktop session ends: the session manager asks us, and logind honours
    // our block for shutdowns and reboots started elsewhere.
    inhibitor_ = std::make_unique<SessionInhibitor>();
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &TfrmMain::OnCommitDataRequest);
  }
  // Offscreen runs (tests, services) have no desktop session to hold up.
  const QString platform = QGuiApplication::platformName();
  if (QueryEndSession() || platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
    inhibitor_->Release();
    return;
  }
  QString error;
  if (!inhibitor_->Acquire(QString::fromUtf8(kApplicationTitle),
                           QStringLiteral("视频监控运行中"), &error))
    DebugLog.Write(QStringLiteral("logind inhibitor: ") + error);
}

}  // namespace vigil
