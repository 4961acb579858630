// One video picture as the capture layer passes it around: packed 24-bit BGR, row 0 at the
// top. The UI wraps it without a copy: QImage(data(), width, height, stride, Format_BGR888).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace vigil::capture {

struct Frame {
  int width = 0;
  int height = 0;
  int64_t number = 0;    // running frame number of the channel, the first frame is 1
  int64_t time_100ns = 0;  // capture time since the channel started, 100-ns units
  std::vector<uint8_t> bgr;

  int stride() const { return width * 3; }
  uint8_t* data() { return bgr.data(); }
  const uint8_t* data() const { return bgr.data(); }
  uint8_t* row(int y) { return bgr.data() + static_cast<size_t>(y) * stride(); }
  const uint8_t* row(int y) const { return bgr.data() + static_cast<size_t>(y) * stride(); }
  void Resize(int w, int h) {
    width = w;
    height = h;
    bgr.resize(static_cast<size_t>(w) * h * 3);
  }
};

using FramePtr = std::shared_ptr<Frame>;
using ConstFramePtr = std::shared_ptr<const Frame>;

// Recycles frame buffers: a frame nobody else holds any more is handed out again, so a
// steady stream allocates nothing after its first few frames.
class FramePool {
 public:
  FramePtr Acquire(int width, int height) {
    for (auto& f : frames_) {
      if (f.use_count() == 1) {
        f->Resize(width, height);
        return f;
      }
    }
    auto f = std::make_shared<Frame>();
    f->Resize(width, height);
    if (frames_.size() < kMaxKept) frames_.push_back(f);
    return f;
  }

 private:
  static constexpr size_t kMaxKept = 4;
  std::vector<FramePtr> frames_;
};

// The newest frame of a channel, for the preview: the capture thread replaces it, readers
// take a shared reference, so a slow reader never holds the capture up.
class LatestFrameSlot {
 public:
  void Put(ConstFramePtr frame) {
    std::lock_guard lock(mutex_);
    frame_ = std::move(frame);
  }
  ConstFramePtr Get() const {
    std::lock_guard lock(mutex_);
    return frame_;
  }
  void Clear() { Put(nullptr); }

 private:
  mutable std::mutex mutex_;
  ConstFramePtr frame_;
};

}  // namespace vigil::capture
