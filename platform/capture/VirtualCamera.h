// The virtual demo camera: a synthetic scene with the camera's title, a running clock and a
// ball that moves for a while and then rests, so that motion comes and goes.
#pragma once

#include <chrono>

#include "platform/capture/Overlay.h"
#include "platform/capture/Sources.h"

namespace vigil::capture {

// Counter blocks: bit i (most significant first) is a white or black square of this size
// along the bottom of the picture, starting at its left edge.
inline constexpr int kCounterBits = 24;
inline constexpr int kCounterBlock = 16;
// Reads a burnt frame counter back from a decoded picture (-1 when the picture is too small).
int64_t ReadBurntCounter(const uint8_t* bgr, int width, int height, int stride);

class VirtualCameraSource final : public FrameSource {
 public:
  VirtualCameraSource(const SourceInfo& info, const CaptureRequest& request, const std::atomic<bool>& stop);
  ReadStatus Read(Frame& frame, std::string& error) override;
  double FrameRate() const override { return fps_; }
  int64_t Dropped() const override { return dropped_; }

  // The scene of frame n (0-based), without pacing.
  void Render(int64_t n, Frame& frame);

 private:
  using Clock = std::chrono::steady_clock;
  void BuildBackground();

  VirtualCameraOptions opt_;
  QString title_;
  int width_, height_;
  double fps_;
  const std::atomic<bool>& stop_;
  std::vector<uint8_t> background_;
  TextStamp titleStamp_, clockStamp_;
  Clock::time_point start_;
  int64_t next_ = 0;
  int64_t dropped_ = 0;
};

}  // namespace vigil::capture
