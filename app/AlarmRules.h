// When a channel's motion detector is on, and the grid it gets.
#pragma once

#include <string>

#include "platform/DateTime.h"
#include "settings/Options.h"

namespace vigil {

// True when the time of day of t lies in one of the first TimesCount alarm periods, both
// ends included. A period whose start lies after its end runs across midnight (22:00–06:00
// covers the night), rather than matching no time at all.
bool InAlarmPeriod(const TOption& option, TDateTime t);

// Ten groups of ten copies of the sensitivity's decimal text, separated by spaces. A value
// outside 0..9 gives a text the detector rejects, so it keeps its last grid.
std::string DetectorGrid(int sensitivity);
// The grid a detector gets when its channel is created.
inline constexpr const char* kInitialDetectorGrid =
    "4444444444 4444444444 4444444444 4444444444 4444444444 4444444444 4444444444 "
    "4444444444 4444444444 4444444444";

// Whether the detector of channel n is on at `now` for a channel that started at
// `channelStart`: never until AlarmStartDelay minutes have passed, then always when
// MotionDetect[n] is set, else inside the alarm periods when MotionDetectInTimes[n] is set.
bool DetectorShouldBeOn(const TOption& option, int n, TDateTime channelStart, TDateTime now);

// Whether a motion event of channel n may save a picture now: SavePicMode 2 allows one per
// SavePicSecs seconds. `lastPicture` is 0 before the first.
bool AlarmPictureDue(const TOption& option, TDateTime lastPicture, TDateTime now);

// Whether any alarm action needs a picture (FTP, e-mail with pictures, or saving).
bool AlarmNeedsPicture(const TOption& option);

}  // namespace vigil
