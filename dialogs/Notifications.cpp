#include "Notifications.h"

#include <QCoreApplication>
#include <QPointer>

namespace vigil {
namespace {

QPointer<QObject>& target() {
  static QPointer<QObject> t;
  return t;
}

}  // namespace

void SetNotificationTarget(QObject* t) { target() = t; }

bool PostNotification(TNotification n) {
  QObject* t = target();
  if (!t) return false;
  QCoreApplication::postEvent(t, new QEvent(EventType(n)));  // the queue owns the event
  return true;
}

}  // namespace vigil
