#include "SessionInhibitor.h"

#include <QDBusInterface>
#include <QDBusReply>

namespace vigil {

SessionInhibitor::SessionInhibitor(QDBusConnection bus) : bus_(std::move(bus)) {}

bool SessionInhibitor::Acquire(const QString& who, const QString& why, QString* error) {
  if (Held()) return true;
  if (!bus_.isConnected()) {
    if (error) *error = QStringLiteral("no system bus");
    return false;
  }
  QDBusInterface logind(QStringLiteral("org.freedesktop.login1"),
                        QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"), bus_);
  QDBusReply<QDBusUnixFileDescriptor> reply =
      logind.call(QStringLiteral("Inhibit"), QStringLiteral("shutdown"), who, why,
                  QStringLiteral("block"));
  if (!reply.isValid()) {
    if (error) *error = reply.error().message();
    return false;
  }
  lock_ = reply.value();
  if (!lock_.isValid()) {
    if (error) *error = QStringLiteral("logind returned no lock");
    return false;
  }
  return true;
}

}  // namespace vigil
