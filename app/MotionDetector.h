// The motion detector of one channel: compares frames of the live picture, at most
// MaxPerSecond times a second, cell by cell of a 10 × 10 sensitivity grid.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vigil {

class TMotionDetector {
 public:
  static constexpr int kCells = 10;
  static constexpr size_t kGridTextLength = 109;  // 10 groups of 10 digits, 9 spaces

  struct Frame {
    const uint8_t* data = nullptr;  // B, G, R (and a fourth byte for 32-bit), row 0 at the top
    int width = 0;
    int height = 0;
    int stride = 0;         // bytes from one row to the next
    int bytesPerPixel = 3;  // 3 or 4; others are not analysed
    int64_t time100ns = 0;
    int64_t frameNumber = 0;  // running number from 1
  };

  enum class Event { None, Motion, NoMotion };
  struct Outcome {
    Event event = Event::None;
    double ratio = 0;  // share of checked cells that changed
  };

  void SetEnabled(bool on) { enabled_ = on; }
  bool Enabled() const { return enabled_; }

  // Takes the first 109 characters with blanks around them removed; a text that is then not
  // exactly ten space-separated groups of ten digits is ignored (the last valid grid stays).
  // Returns whether the text was valid.
  bool SetGrid(std::string_view text);
  const std::string& Grid() const { return grid_; }
  int Digit(int column, int row) const { return digits_[row][column]; }
  static int ThresholdOf(int digit) { return 256 - 28 * digit; }

  // A negative value is ignored; 0 means no limit.
  void SetMaxPerSecond(double perSecond);
  int64_t MinInterval100ns() const { return minInterval_; }

  // Feeds one frame. Frames 1 to 3 and frames inside the interval give no event.
  Outcome Process(const Frame& frame);

 private:
  void Reinitialise(const Frame& frame);
  void PrepareThresholds();
  double CompareAndStore(const Frame& frame);

  bool enabled_ = false;
  std::string grid_;  // empty until a valid grid is set: every cell off
  std::array<std::array<uint8_t, kCells>, kCells> digits_{};  // [row][column]
  double maxPerSecond_ = 0;
  int64_t minInterval_ = 0;

  std::vector<uint8_t> reference_;  // packed rows of the last compared frame
  int refWidth_ = 0, refHeight_ = 0, refBpp_ = 0;
  bool hasLastCompared_ = false;
  int64_t lastCompared_ = 0;
  bool firstPending_ = true;
  // Last column (row) of each cell, inclusive: a pixel belongs to the first cell whose bound
  // is at or past it.
  std::array<int, kCells> columnEnd_{}, rowEnd_{};
  // Byte thresholds of one row for each band of cell rows, made for thresholdGrid_ and the
  // reference's size; `over_` collects how far a band's bytes went past them.
  std::vector<uint8_t> thresholds_, over_;
  std::string thresholdGrid_;
};

}  // namespace vigil
