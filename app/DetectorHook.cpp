#include "app/DetectorHook.h"

#include "app/AlarmRules.h"

namespace vigil {

namespace {
constexpr double kComparisonsPerSecond = 2;
}

TDetectorHook::TDetectorHook() {
  detector_.SetEnabled(false);
  detector_.SetGrid(kInitialDetectorGrid);
  detector_.SetMaxPerSecond(kComparisonsPerSecond);
  wanted_.grid = kInitialDetectorGrid;
}

void TDetectorHook::Configure(bool enabled, const std::string& grid) {
  std::lock_guard lock(mutex_);
  if (wanted_.enabled == enabled && wanted_.grid == grid) return;
  wanted_ = {enabled, grid};
  changed_ = true;
}

bool TDetectorHook::Enabled() const {
  std::lock_guard lock(mutex_);
  return wanted_.enabled;
}

std::optional<capture::MotionResult> TDetectorHook::OnFrame(const capture::Frame& frame) {
  {
    std::lock_guard lock(mutex_);
    if (changed_) {
      detector_.SetGrid(wanted_.grid);
      detector_.SetEnabled(wanted_.enabled);
      changed_ = false;
    }
  }
  if (!detector_.Enabled()) return std::nullopt;
  TMotionDetector::Frame f;
  f.data = frame.data();
  f.width = frame.width;
  f.height = frame.height;
  f.stride = frame.stride();
  f.bytesPerPixel = 3;
  f.time100ns = frame.time_100ns;
  f.frameNumber = frame.number;
  const TMotionDetector::Outcome outcome = detector_.Process(f);
  switch (outcome.event) {
    case TMotionDetector::Event::Motion: return capture::MotionResult{true, outcome.ratio};
    case TMotionDetector::Event::NoMotion: return capture::MotionResult{false, 0};
    case TMotionDetector::Event::None: break;
  }
  return std::nullopt;
}

}  // namespace vigil
