// Helpers for the station's window and process tests.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>

#include "QtTestApp.h"
#include "settings/Options.h"

namespace vigil::test {

// Answers modal dialogs as they open, one handler each, in order. A modal dialog with no
// handler left is rejected and counted as unexpected.
class ModalAnswerer {
 public:
  using Handler = std::function<void(QWidget* dialog)>;
  ModalAnswerer();
  ~ModalAnswerer();
  void Expect(Handler h) { handlers_.push_back(std::move(h)); }
  int Answered() const { return answered_; }
  int Unexpected() const { return unexpected_; }
  QStringList Titles() const { return titles_; }
  bool AllAnswered() const { return handlers_.empty(); }

 private:
  void Poll();
  QTimer timer_;
  std::deque<Handler> handlers_;
  QPointer<QWidget> current_;
  int answered_ = 0;
  int unexpected_ = 0;
  QStringList titles_;
};

// Fills the password prompt and presses "确认(&O)"; when the prompt stays open (a wrong
// password) presses "取消(&C)" after checking it kept the entry.
ModalAnswerer::Handler TypePassword(const QString& password, bool* stayedOpen = nullptr);
// Presses a message box's button ("确定" or "取消") and records its text.
ModalAnswerer::Handler PressMessageButton(const QString& buttonText, QString* text = nullptr);

// config.ini in `folder` with the defaults, changed by `edit`.
void WriteConfig(const std::filesystem::path& folder, const std::function<void(TOption&)>& edit);

// The station program as a child process, its standard error read line by line.
class StationProcess {
 public:
  explicit StationProcess(QProcessEnvironment env);
  ~StationProcess();
  void Start(const QStringList& args = {});
  // Waits until a line of standard error contains `text`.
  bool WaitForLine(const QString& text, int timeout_ms = 20000);
  // Exit code, or -1 when it did not end in time (or crashed).
  int WaitForExit(int timeout_ms = 20000);
  bool Running() const { return process_.state() != QProcess::NotRunning; }
  void Kill9();
  QString Output() const { return output_; }
  qint64 Pid() const { return process_.processId(); }

 private:
  QProcess process_;
  QString output_;
};

// The station program of this build.
QString StationProgram();

}  // namespace vigil::test
