// SIGTERM, SIGINT and SIGHUP as a Qt signal on the thread that made this object, so a
// service manager or a closing terminal ends the station through its normal shutdown
// (recordings closed, threads joined) instead of killing it mid-write.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace vigil {

class TerminationSignals final : public QObject {
  Q_OBJECT
 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  // Puts the previous handlers back.
  ~TerminationSignals() override;

 signals:
  void Requested(int signo);

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vigil
