#include "MotionDetector.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace vigil {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// For each byte: how far its change from the reference goes past the threshold of its
// cell (0 when it does not), folded into `over` with max; the reference then takes the new
// bytes. One pass over a whole row, a plain loop the compiler vectorises.
// Built for AVX2 too, picked at load time where the processor has it.
__attribute__((target_clones("avx2", "default")))
void FoldRow(const uint8_t* __restrict cur, uint8_t* __restrict ref, const uint8_t* __restrict threshold,
             uint8_t* __restrict over, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint8_t a = cur[i], b = ref[i];
    uint8_t d = static_cast<uint8_t>((a > b ? a : b) - (a > b ? b : a));
    uint8_t t = threshold[i];
    uint8_t past = static_cast<uint8_t>(d > t ? d - t : 0);
    over[i] = past > over[i] ? past : over[i];
    ref[i] = a;
  }
}

}  // namespace

bool TMotionDetector::SetGrid(std::string_view text) {
  text = text.substr(0, kGridTextLength);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.size() != kGridTextLength) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool separator = i % 11 == 10;
    if (separator ? text[i] != ' ' : (text[i] < '0' || text[i] > '9')) return false;
  }
  if (text == grid_) return true;
  grid_ = text;
  for (int r = 0; r < kCells; ++r)
    for (int c = 0; c < kCells; ++c) digits_[r][c] = static_cast<uint8_t>(text[r * 11 + c] - '0');
  return true;
}

void TMotionDetector::SetMaxPerSecond(double perSecond) {
  if (perSecond < 0 || std::isnan(perSecond)) return;
  maxPerSecond_ = perSecond;
  minInterval_ = perSecond > 0 ? std::llround(10'000'000.0 / perSecond) : 0;
}

void TMotionDetector::Reinitialise(const Frame& frame) {
  hasLastCompared_ = false;
  refWidth_ = frame.width;
  refHeight_ = frame.height;
  refBpp_ = frame.bytesPerPixel;
  thresholds_.clear();
  for (int i = 0; i < kCells; ++i) {
    // Bound i is round((i + 1) × size / 10); the last cell takes whatever remains.
    columnEnd_[i] = i == kCells - 1 ? INT_MAX
                                    : static_cast<int>(std::lround((i + 1) * frame.width / 10.0));
    rowEnd_[i] = i == kCells - 1 ? INT_MAX
                                 : static_cast<int>(std::lround((i + 1) * frame.height / 10.0));
  }
}

void TMotionDetector::PrepareThresholds() {
  // Per band of cell rows, the threshold of every byte of a row; 255 where nothing is
  // checked (a difference never goes past it) and for the unused fourth byte.
  const size_t rowBytes = static_cast<size_t>(refWidth_) * static_cast<size_t>(refBpp_);
  thresholds_.assign(static_cast<size_t>(kCells) * rowBytes, 255);
  for (int r = 0; r < kCells; ++r) {
    uint8_t* band = thresholds_.data() + static_cast<size_t>(r) * rowBytes;
    int x = 0;
    for (int c = 0; c < kCells && x < refWidth_; ++c) {
      const int end = std::min(columnEnd_[c], refWidth_ - 1);
      if (end < x) continue;
      if (digits_[r][c] != 0)
        for (int px = x; px <= end; ++px)
          for (int k = 0; k < 3; ++k)
            band[static_cast<size_t>(px * refBpp_ + k)] = static_cast<uint8_t>(ThresholdOf(digits_[r][c]));
      x = end + 1;
    }
  }
  thresholdGrid_ = grid_;
}

double TMotionDetector::CompareAndStore(const Frame& frame) {
  if (thresholdGrid_ != grid_ || thresholds_.empty()) PrepareThresholds();
  const size_t rowBytes = static_cast<size_t>(frame.width) * static_cast<size_t>(refBpp_);
  over_.resize(rowBytes);
  int checked = 0, changed = 0;
  int y = 0;
  for (int r = 0; r < kCells; ++r) {
    const int last = std::min(rowEnd_[r], frame.height - 1);
    if (last < y) continue;
    std::fill(over_.begin(), over_.end(), 0);
    const uint8_t* band = thresholds_.data() + static_cast<size_t>(r) * rowBytes;
    for (; y <= last; ++y)
      FoldRow(frame.data + static_cast<std::ptrdiff_t>(y) * frame.stride,
              reference_.data() + static_cast<size_t>(y) * rowBytes, band, over_.data(), rowBytes);
    // A cell changed when any of its bytes went past its threshold.
    int x = 0;
    for (int c = 0; c < kCells && x < frame.width; ++c) {
      const int end = std::min(columnEnd_[c], frame.width - 1);
      if (end < x) continue;
      if (digits_[r][c] != 0) {
        ++checked;
        auto from = over_.begin() + static_cast<std::ptrdiff_t>(x) * refBpp_;
        auto to = over_.begin() + static_cast<std::ptrdiff_t>(end + 1) * refBpp_;
        changed += std::any_of(from, to, [](uint8_t v) { return v != 0; });
      }
      x = end + 1;
    }
  }
  return checked ? static_cast<double>(changed) / checked : 0.0;
}

TMotionDetector::Outcome TMotionDetector::Process(const Frame& frame) {
  if (!enabled_) return {};
  if (minInterval_ > 0 && hasLastCompared_ && frame.time100ns - lastCompared_ < minInterval_) return {};
  if (frame.data == nullptr || frame.width <= 0 || frame.height <= 0 ||
      (frame.bytesPerPixel != 3 && frame.bytesPerPixel != 4) ||
      frame.stride < frame.width * frame.bytesPerPixel)
    return {};

  double ratio = 0;
  if (reference_.empty() || frame.width != refWidth_ || frame.height != refHeight_ ||
      frame.bytesPerPixel != refBpp_) {
    Reinitialise(frame);
    // The frame becomes the reference; the buffer only grows, so steady running allocates
    // nothing.
    const size_t rowBytes = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.bytesPerPixel);
    reference_.resize(rowBytes * static_cast<size_t>(frame.height));
    for (int y = 0; y < frame.height; ++y)
      std::memcpy(reference_.data() + static_cast<size_t>(y) * rowBytes,
                  frame.data + static_cast<std::ptrdiff_t>(y) * frame.stride, rowBytes);
  } else {
    ratio = CompareAndStore(frame);  // the frame becomes the reference on the way
    lastCompared_ = frame.time100ns;
    hasLastCompared_ = true;
    if (firstPending_) {
      firstPending_ = false;
      ratio = 0;
    }
  }

  if (frame.frameNumber <= 3) return {};
  return {ratio > 0 ? Event::Motion : Event::NoMotion, ratio};
}

}  // namespace vigil
