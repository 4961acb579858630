#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace vigil::test {

ModalAnswerer::ModalAnswerer() {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

ModalAnswerer::~ModalAnswerer() { timer_.stop(); }

void ModalAnswerer::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || modal == current_ || !modal->isVisible()) return;
  current_ = modal;
  titles_ << modal->windowTitle();
  // Leave the poll before acting: the handler may open the next modal dialog.
  QTimer::singleShot(0, modal, [this, modal] {
    if (handlers_.empty()) {
      ++unexpected_;
      if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
      return;
    }
    Handler h = std::move(handlers_.front());
    handlers_.pop_front();
    ++answered_;
    h(modal);
  });
}

ModalAnswerer::Handler TypePassword(const QString& password, bool* stayedOpen) {
  return [password, stayedOpen](QWidget* dialog) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("edtPswd"));
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("btnOK"));
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("btnCancel"));
    if (!edit || !ok || !cancel) {
      qobject_cast<QDialog*>(dialog)->reject();
      return;
    }
    edit->setText(password);
    ok->click();
    if (dialog->isVisible()) {
      if (stayedOpen) *stayedOpen = edit->text() == password;
      cancel->click();
    }
  };
}

ModalAnswerer::Handler PressMessageButton(const QString& buttonText, QString* text) {
  return [buttonText, text](QWidget* dialog) {
    auto* box = qobject_cast<QMessageBox*>(dialog);
    if (!box) {
      qobject_cast<QDialog*>(dialog)->reject();
      return;
    }
    if (text) *text = box->windowTitle() + QLatin1Char('|') + box->text();
    for (QAbstractButton* b : box->buttons())
      if (b->text() == buttonText) {
        b->click();
        return;
      }
    box->reject();
  };
}

void WriteConfig(const std::filesystem::path& folder, const std::function<void(TOption&)>& edit) {
  TOption option;
  LoadOptions(option, folder / "missing.ini");  // the defaults
  option.FirstRun = false;
  option.MonitorAtStart = false;
  edit(option);
  SaveOptions(option, folder / "config.ini");
}

QString StationProgram() {
  return QString::fromLocal8Bit(qgetenv("VIGIL_BUILD_DIR")) + QStringLiteral("/vigil");
}

StationProcess::StationProcess(QProcessEnvironment env) {
  process_.setProcessEnvironment(env);
  process_.setProgram(StationProgram());
  process_.setProcessChannelMode(QProcess::SeparateChannels);
}

StationProcess::~StationProcess() {
  if (Running()) Kill9();
}

void StationProcess::Start(const QStringList& args) {
  process_.setArguments(args);
  process_.start();
  process_.waitForStarted(10000);
}

bool StationProcess::WaitForLine(const QString& text, int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (true) {
    output_ += QString::fromUtf8(process_.readAllStandardError());
    if (output_.contains(text)) return true;
    if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
      output_ += QString::fromUtf8(process_.readAllStandardError());
      return output_.contains(text);
    }
    process_.waitForReadyRead(50);
  }
}

int StationProcess::WaitForExit(int timeout_ms) {
  if (!process_.waitForFinished(timeout_ms) && Running()) return -1;
  output_ += QString::fromUtf8(process_.readAllStandardError());
  return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void StationProcess::Kill9() {
  ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
  process_.waitForFinished(10000);
}

}  // namespace vigil::test
