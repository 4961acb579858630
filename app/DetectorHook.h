// A channel's motion detector on its capture thread. The UI thread configures it (switch
// and grid, once a second); the capture thread picks the change up at its next frame, so
// neither waits for a comparison of the other.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "app/MotionDetector.h"
#include "platform/capture/Grabber.h"

namespace vigil {

class TDetectorHook final : public capture::MotionHook {
 public:
  // Off, with the initial grid and two comparisons a second.
  TDetectorHook();

  // UI thread. An invalid grid leaves the detector's last valid one.
  void Configure(bool enabled, const std::string& grid);
  bool Enabled() const;

  // Capture thread.
  std::optional<capture::MotionResult> OnFrame(const capture::Frame& frame) override;

 private:
  struct Settings {
    bool enabled = false;
    std::string grid;
  };
  mutable std::mutex mutex_;
  Settings wanted_;
  bool changed_ = false;
  TMotionDetector detector_;  // capture thread only, after construction
};

}  // namespace vigil
