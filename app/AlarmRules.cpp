#include "AlarmRules.h"

#include <algorithm>
#include <cmath>

namespace vigil {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

// Time of day in whole milliseconds, so that bounds written as texts compare exactly.
long long Ms(TDateTime t) { return std::llround(TimePart(t) * 86'400'000.0); }

}  // namespace

bool InAlarmPeriod(const TOption& option, TDateTime t) {
  const int count = std::min(option.TimesCount, kMaxAlarmTimes);
  const long long now = Ms(t);
  for (int k = 1; k <= count; ++k) {
    const long long from = Ms(option.StartTimes[k]), to = Ms(option.EndTimes[k]);
    if (from <= to ? (from <= now && now <= to) : (now >= from || now <= to)) return true;
  }
  return false;
}

std::string DetectorGrid(int sensitivity) {
  std::string group;
  for (int i = 0; i < 10; ++i) group += std::to_string(sensitivity);
  std::string grid = group;
  for (int r = 1; r < 10; ++r) grid += " " + group;
  return grid;
}

bool DetectorShouldBeOn(const TOption& option, int n, TDateTime channelStart, TDateTime now) {
  if (channelStart + option.AlarmStartDelay * 60 * kSecond >= now) return false;
  if (option.MotionDetect[n]) return true;
  return option.MotionDetectInTimes[n] && InAlarmPeriod(option, now);
}

bool AlarmPictureDue(const TOption& option, TDateTime lastPicture, TDateTime now) {
  if (option.SavePicMode != 2 || lastPicture == 0) return true;
  return lastPicture + option.SavePicSecs * kSecond <= now;
}

bool AlarmNeedsPicture(const TOption& option) {
  return option.AlarmFTP || (option.AlarmEmail && option.EmailMode != 2) || option.AlarmPicture;
}

}  // namespace vigil
