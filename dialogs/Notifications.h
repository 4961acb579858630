// The notifications that dialogs and a second start post to the main window: posted
// events whose type is the notification's number, handled on the UI thread in arrival order.
#pragma once

#include <QEvent>

class QObject;

namespace vigil {

enum TNotification : int {
  WM_START_MONITORING = 2024,
  WM_ACTIVATE_INSTANCE = 2025,
  WM_SHOW_GUIDE = 2026,
  WM_HOTKEY_CHANGED = 2027,
  WM_ALARM_SETTINGS_CHANGED = 2028,
  WM_CAPTURE_SETTINGS_CHANGED = 2029,
  WM_VIDEO_SIZE_CHANGED = 2030,
};
inline constexpr int kFirstNotification = WM_START_MONITORING;
inline constexpr int kLastNotification = WM_VIDEO_SIZE_CHANGED;

inline QEvent::Type EventType(TNotification n) { return static_cast<QEvent::Type>(n); }

// The main window registers itself here while it exists.
void SetNotificationTarget(QObject* target);
// Queues the notification for the main window; false when there is none.
bool PostNotification(TNotification n);

}  // namespace vigil
