#include "platform/capture/VirtualCamera.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/capture/SourceImpl.h"

namespace vigil::capture {

int64_t ReadBurntCounter(const uint8_t* bgr, int width, int height, int stride) {
  if (width < kCounterBits * kCounterBlock || height < kCounterBlock) return -1;
  int y = height - kCounterBlock / 2;
  int64_t value = 0;
  for (int i = 0; i < kCounterBits; ++i) {
    const uint8_t* p = bgr + static_cast<size_t>(y) * stride + (i * kCounterBlock + kCounterBlock / 2) * 3;
    value = value * 2 + ((p[0] + p[1] + p[2]) > 3 * 128 ? 1 : 0);
  }
  return value;
}

VirtualCameraSource::VirtualCameraSource(const SourceInfo& info, const CaptureRequest& request,
                                         const std::atomic<bool>& stop)
    : opt_(info.virt),
      title_(info.title),
      width_(std::max(16, request.width & ~1)),
      height_(std::max(16, request.height & ~1)),
      fps_(request.fps > 0 ? request.fps : 25.0),
      stop_(stop),
      start_(Clock::now()) {
  BuildBackground();
  titleStamp_.Set(title_, QStringLiteral("Sans"), std::max(8, height_ / 30), 0xffffff);
}

void VirtualCameraSource::BuildBackground() {
  background_.resize(static_cast<size_t>(width_) * height_ * 3);
  const int hue = (opt_.index * 47) % 128;
  const int horizon = height_ * 2 / 3;
  for (int y = 0; y < height_; ++y) {
    uint8_t* row = background_.data() + static_cast<size_t>(y) * width_ * 3;
    for (int x = 0; x < width_; ++x) {
      uint8_t* p = row + x * 3;
      if (y < horizon) {  // sky: light at the horizon
        int t = 255 * y / horizon;
        p[0] = static_cast<uint8_t>(160 + t * 95 / 255);
        p[1] = static_cast<uint8_t>(90 + t / 2 + hue / 4);
        p[2] = static_cast<uint8_t>(40 + t / 3);
      } else {  // ground with a coarse checker so the encoder has texture to keep
        bool dark = ((x / 32) + (y / 16)) % 2 != 0;
        p[0] = static_cast<uint8_t>(dark ? 40 : 60);
        p[1] = static_cast<uint8_t>((dark ? 90 : 120) + hue / 8);
        p[2] = static_cast<uint8_t>(dark ? 50 : 70);
      }
    }
  }
  // A few houses standing on the horizon.
  for (int i = 0; i < 4; ++i) {
    int w = width_ / 8, h = height_ / (5 + i), left = width_ * (1 + 2 * i) / 9;
    for (int y = horizon - h; y < horizon; ++y)
      for (int x = left; x < std::min(width_, left + w); ++x) {
        uint8_t* p = background_.data() + (static_cast<size_t>(y) * width_ + x) * 3;
        p[0] = static_cast<uint8_t>(90 + 30 * i);
        p[1] = static_cast<uint8_t>(100 + hue / 2);
        p[2] = static_cast<uint8_t>(150 - 20 * i);
      }
  }
}

void VirtualCameraSource::Render(int64_t n, Frame& frame) {
  frame.Resize(width_, height_);
  std::memcpy(frame.data(), background_.data(), background_.size());

  // The ball travels only during the moving part of each cycle, and rests where it stopped.
  const double t = static_cast<double>(n) / fps_;
  const double cycle = opt_.move_s + opt_.rest_s;
  const double cycles = std::floor(t / cycle);
  const double inCycle = t - cycles * cycle;
  const double moved = cycles * opt_.move_s + std::min(inCycle, opt_.move_s);
  const int r = std::max(4, height_ / 10);
  const double phase = moved * (0.35 + 0.05 * opt_.index);
  const int cx = r + static_cast<int>((width_ - 2 * r) * (0.5 + 0.5 * std::sin(phase)));
  const int cy = r + static_cast<int>((height_ * 2 / 3 - r) * (0.5 + 0.5 * std::sin(phase * 1.7 + 1.0)));
  for (int y = std::max(0, cy - r); y < std::min(height_, cy + r); ++y) {
    int dy = y - cy;
    int half = static_cast<int>(std::sqrt(static_cast<double>(r * r - dy * dy)));
    uint8_t* p = frame.row(y) + std::max(0, cx - half) * 3;
    for (int x = std::max(0, cx - half); x < std::min(width_, cx + half); ++x, p += 3) {
      p[0] = 30;
      p[1] = static_cast<uint8_t>(60 + 3 * (x - cx + r) / 2 % 120);
      p[2] = 230;
    }
  }

  // The camera's own title and clock sit bottom left, clear of the station's overlay at the
  // top right and above the burnt frame counter.
  const int bottom = height_ - 6 - (opt_.burn_counter ? kCounterBlock : 0);
  // The clock ticks every second, so it is drawn faintly on a plate of its own: its bytes
  // stay within 28 of the plate's, below the threshold of every sensitivity digit but 9,
  // and only the ball makes motion.
  const QString clock = FormatDateTime(QStringLiteral("yyyy-mm-dd hh:nn:ss"), SystemClock().Now());
  constexpr int kPlate = 0x203860, kClockText = 0x3c547c;  // 0x00BBGGRR, 28 apart per byte
  clockStamp_.Set(clock, QStringLiteral("Monospace"), std::max(8, height_ / 36), kClockText);
  const int clockTop = bottom - clockStamp_.image().height();
  titleStamp_.Draw(frame, 8, clockTop - 2 - titleStamp_.image().height(), TextStamp::Align::Left);
  const QRect plate = QRect(6, clockTop - 1, clockStamp_.image().width() + 4, clockStamp_.image().height() + 2)
                          .intersected(QRect(0, 0, width_, height_));
  for (int y = plate.top(); y <= plate.bottom(); ++y)
    for (int x = plate.left(); x <= plate.right(); ++x) {
      uint8_t* p = frame.row(y) + x * 3;
      p[0] = (kPlate >> 16) & 0xff;
      p[1] = (kPlate >> 8) & 0xff;
      p[2] = kPlate & 0xff;
    }
  clockStamp_.Draw(frame, 8, clockTop, TextStamp::Align::Left);

  if (opt_.burn_counter && width_ >= kCounterBits * kCounterBlock) {
    for (int i = 0; i < kCounterBits; ++i) {
      bool one = ((n >> (kCounterBits - 1 - i)) & 1) != 0;
      for (int y = height_ - kCounterBlock; y < height_; ++y)
        std::memset(frame.row(y) + i * kCounterBlock * 3, one ? 255 : 0, kCounterBlock * 3);
    }
  }
}

ReadStatus VirtualCameraSource::Read(Frame& frame, std::string& /*error*/) {
  const auto period = std::chrono::duration<double>(1.0 / fps_);
  auto due = start_ + std::chrono::duration_cast<Clock::duration>(period * static_cast<double>(next_));
  auto now = Clock::now();
  if (opt_.drop_late && now - due > 2 * period) {
    // Fell behind by more than two frames: go on with the frame due now, as a live camera does.
    auto current = static_cast<int64_t>(std::chrono::duration<double>(now - start_) / period);
    dropped_ += current - next_;
    next_ = current;
    due = start_ + std::chrono::duration_cast<Clock::duration>(period * static_cast<double>(next_));
  }
  while (now < due) {
    if (stop_) return ReadStatus::Ended;
    std::this_thread::sleep_for(std::min<Clock::duration>(due - now, std::chrono::milliseconds(50)));
    now = Clock::now();
  }
  Render(next_, frame);
  frame.time_100ns = static_cast<int64_t>(std::llround(static_cast<double>(next_) * 1e7 / fps_));
  ++next_;
  return ReadStatus::Frame;
}

std::unique_ptr<FrameSource> OpenVirtualCamera(const SourceInfo& info, const CaptureRequest& request,
                                               const std::atomic<bool>& stop, std::string& /*error*/) {
  return std::make_unique<VirtualCameraSource>(info, request, stop);
}

}  // namespace vigil::capture
