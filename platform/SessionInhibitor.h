// A systemd-logind "block" inhibitor: while it is held, shutdown and reboot requests made
// through logind wait until it is released (the lock is the file descriptor logind hands
// out; closing it releases the block).
#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>

namespace vigil {

class SessionInhibitor {
 public:
  // The system bus unless a test gives another.
  explicit SessionInhibitor(QDBusConnection bus = QDBusConnection::systemBus());

  // No-op when held already. False with the reason when logind refused or is absent.
  bool Acquire(const QString& who, const QString& why, QString* error);
  void Release() { lock_ = QDBusUnixFileDescriptor(); }
  bool Held() const { return lock_.isValid(); }

 private:
  QDBusConnection bus_;
  QDBusUnixFileDescriptor lock_;
};

}  // namespace vigil
