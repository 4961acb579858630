#include "TimerRules.h"

#include <cmath>

namespace vigil {

QString RunTimeText(TDateTime start, TDateTime now) {
  const long long m = std::max(0LL, static_cast<long long>(std::floor((now - start) * 1440.0 + 1e-7)));
  return QStringLiteral("%1天%2小时%3分").arg(m / 1440).arg(m % 1440 / 60).arg(m % 1440 % 60);
}

bool ShutdownDue(const TOption& option, TDateTime now) {
  if (!option.ScheduleShutdown) return false;
  const QString pattern = option.ShutdownEveryDay ? QStringLiteral("hh:nn") : QStringLiteral("yyyy-mm-dd hh:nn");
  return FormatDateTime(pattern, now) == FormatDateTime(pattern, option.ShutdownAt);
}

bool InMonitorWindow(const TOption& option, TDateTime now) {
  if (!option.MonitorEveryDay) return option.MonitorFrom <= now && now <= option.MonitorTo;
  const int from = FormatDateTime(QStringLiteral("hhnn00"), option.MonitorFrom).toInt();
  const int to = FormatDateTime(QStringLiteral("hhnn59"), option.MonitorTo).toInt();
  const int at = FormatDateTime(QStringLiteral("hhnnss"), now).toInt();
  return from <= to ? (from <= at && at <= to) : (at >= from || at <= to);
}

bool RotationDue(const TOption& option, TDateTime recordStart, TDateTime now) {
  // A millisecond of slack so that a file started at 10:00:00 rotates on the 10:30:00 tick.
  return recordStart + option.SaveInterval / 1440.0 <= now + 0.001 / 86400.0;
}

int64_t LowDiskThresholdBytes(const TOption& option) {
  return static_cast<int64_t>(option.MinDiskSpace) * 1'048'576;
}

QString FreeSpaceText(int64_t bytes) {
  return QString::asprintf("%.2fG", static_cast<double>(bytes) / 1073741824.0);
}

QString CpuUsageText(double busy) { return QString::asprintf("%.2f%%", 100.0 * busy); }

}  // namespace vigil
