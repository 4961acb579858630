// The clock rules of the one-second system timer: run time, timed shutdown, monitoring
// window, recording rotation and the low-disk threshold.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/DateTime.h"
#include "settings/Options.h"

namespace vigil {

// "d天h小时m分" for the whole minutes from start to now, without padding.
QString RunTimeText(TDateTime start, TDateTime now);

// The timed shutdown is due during the whole set minute (every day when ShutdownEveryDay).
bool ShutdownDue(const TOption& option, TDateTime now);

// Inside the monitoring window: the full date-times for a one-off window; for a daily one
// from the start's minute to the end of the end's minute. A daily window whose start lies
// after its end runs across midnight.
bool InMonitorWindow(const TOption& option, TDateTime now);

// A channel recording since recordStart needs its next file.
bool RotationDue(const TOption& option, TDateTime recordStart, TDateTime now);

// MinDiskSpace megabytes in bytes, computed in 64 bits.
int64_t LowDiskThresholdBytes(const TOption& option);

// "12.34G" for a byte count.
QString FreeSpaceText(int64_t bytes);
// "12.34%" for a busy fraction 0..1.
QString CpuUsageText(double busy);

}  // namespace vigil
