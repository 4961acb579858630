#include <gtest/gtest.h>

#include <random>

#include "app/MotionDetector.h"

using namespace vigil;

namespace {

std::string GridOf(int digit) {
  std::string g;
  for (int r = 0; r < 10; ++r) {
    if (r) g += ' ';
    g += std::string(10, static_cast<char>('0' + digit));
  }
  return g;
}

// A grid with one cell set to `digit` and every other cell off.
std::string OneCell(int column, int row, int digit) {
  std::string g = GridOf(0);
  g[static_cast<size_t>(row * 11 + column)] = static_cast<char>('0' + digit);
  return g;
}

// BGR pictures with 25 frames per second time stamps.
class Feed {
 public:
  Feed(int w, int h, uint8_t fill = 60) : w_(w), h_(h), pixels_(static_cast<size_t>(w * h * 3), fill) {}
  uint8_t* At(int x, int y) { return &pixels_[static_cast<size_t>((y * w_ + x) * 3)]; }
  std::vector<uint8_t>& Pixels() { return pixels_; }
  TMotionDetector::Outcome Next(TMotionDetector& d) {
    ++number_;
    TMotionDetector::Frame f{pixels_.data(), w_, h_, w_ * 3, 3, number_ * 400'000, number_};
    return d.Process(f);
  }
  int64_t Number() const { return number_; }

 private:
  int w_, h_;
  std::vector<uint8_t> pixels_;
  int64_t number_ = 0;
};

TMotionDetector Detector(const std::string& grid) {
  TMotionDetector d;
  EXPECT_TRUE(d.SetGrid(grid));
  d.SetEnabled(true);
  return d;
}

// Runs frames 1..3 (no events; the first comparison is discarded) on an unchanged picture.
void WarmUp(TMotionDetector& d, Feed& feed) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(feed.Next(d).event, TMotionDetector::Event::None);
}

using Event = TMotionDetector::Event;

}  // namespace

TEST(MotionGrid, ValidationKeepsTheLastValidGrid) {
  TMotionDetector d;
  const std::string good = GridOf(5);
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {good, true},
      {good + "7", true},                         // 110 characters: the first 109 count
      {"  " + good.substr(0, 107), false},        // blanks then too short
      {good.substr(0, 108), false},
      {good.substr(0, 50) + "x" + good.substr(51), false},
      {good.substr(0, 10) + "0" + good.substr(11), false},  // a digit where a space belongs
      {"", false},
      {std::string(109, ' '), false},
  };
  for (const Case& c : cases) EXPECT_EQ(d.SetGrid(c.text), c.valid) << '"' << c.text << '"';
  EXPECT_EQ(d.Grid(), good);
  EXPECT_EQ(d.Digit(9, 9), 5);
  EXPECT_TRUE(d.SetGrid(OneCell(3, 7, 9)));
  EXPECT_EQ(d.Digit(3, 7), 9);
  EXPECT_EQ(d.Digit(7, 3), 0);
  EXPECT_FALSE(d.SetGrid(OneCell(3, 7, 9).replace(0, 1, "a")));
  EXPECT_EQ(d.Digit(3, 7), 9);
}

TEST(MotionDetector, ThresholdsByDigit) {
  int expected[] = {256, 228, 200, 172, 144, 116, 88, 60, 32, 4};
  for (int digit = 0; digit <= 9; ++digit) EXPECT_EQ(TMotionDetector::ThresholdOf(digit), expected[digit]);
}

TEST(MotionDetector, OneRedByteAgainstDigitFour) {
  struct Case {
    uint8_t to;
    Event event;
  } cases[] = {{150, Event::NoMotion}, {154, Event::NoMotion}, {155, Event::Motion}, {160, Event::Motion}};
  for (const Case& c : cases) {
    auto d = Detector(GridOf(4));
    Feed feed(320, 240);
    feed.At(100, 100)[2] = 10;
    WarmUp(d, feed);
    feed.At(100, 100)[2] = c.to;  // red byte of one pixel
    EXPECT_EQ(feed.Next(d).event, c.event) << int(c.to);
  }
}

TEST(MotionDetector, BlockInACellAgainstEachDigit) {
  // A block changing by 100 in cell (6, 2) of a 640×480 picture: seen when 256 − 28d < 100.
  for (int digit = 0; digit <= 9; ++digit) {
    for (bool sameCell : {true, false}) {
      auto d = Detector(OneCell(sameCell ? 6 : 5, 2, digit));
      Feed feed(640, 480);
      WarmUp(d, feed);
      for (int y = 100; y < 130; ++y)
        for (int x = 400; x < 440; ++x) feed.At(x, y)[1] = 160;  // cell 6, row 2
      bool seen = feed.Next(d).event == Event::Motion;
      EXPECT_EQ(seen, sameCell && digit >= 6) << "digit " << digit << " same cell " << sameCell;
    }
  }
}

TEST(MotionDetector, NoiseAndSlowLightStayQuiet) {
  auto d = Detector(GridOf(5));  // threshold 116
  Feed feed(320, 240, 100);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> noise(-20, 20);
  int motions = 0;
  for (int i = 0; i < 60; ++i) {
    for (size_t k = 0; k < feed.Pixels().size(); ++k)
      feed.Pixels()[k] = static_cast<uint8_t>(100 + i + noise(rng));  // +1 per frame, ±20 noise
    motions += feed.Next(d).event == Event::Motion;
  }
  EXPECT_EQ(motions, 0);
}

TEST(MotionDetector, AllZeroGridNeverReports) {
  auto d = Detector(GridOf(0));
  Feed feed(160, 120);
  WarmUp(d, feed);
  std::fill(feed.Pixels().begin(), feed.Pixels().end(), 255);
  EXPECT_EQ(feed.Next(d).event, Event::NoMotion);
}

TEST(MotionDetector, TwoComparisonsPerSecondAt25Fps) {
  auto d = Detector(GridOf(9));
  d.SetMaxPerSecond(2);
  EXPECT_EQ(d.MinInterval100ns(), 5'000'000);
  Feed feed(160, 120);
  std::vector<int64_t> compared;
  for (int i = 0; i < 250; ++i)
    if (feed.Next(d).event != Event::None) compared.push_back(feed.Number());
  ASSERT_GE(compared.size(), 18u);
  for (size_t i = 1; i < compared.size(); ++i) EXPECT_EQ(compared[i] - compared[i - 1], 13);
  d.SetMaxPerSecond(-1);  // ignored
  EXPECT_EQ(d.MinInterval100ns(), 5'000'000);
  d.SetMaxPerSecond(0);   // no limit
  EXPECT_EQ(d.MinInterval100ns(), 0);
}

TEST(MotionDetector, NewFrameSizeReinitialisesAsNoMotion) {
  auto d = Detector(GridOf(9));
  std::vector<uint8_t> small(160 * 120 * 3, 0), big(320 * 240 * 3, 255);
  int64_t n = 0;
  auto feed = [&](std::vector<uint8_t>& px, int w, int h) {
    ++n;
    return d.Process({px.data(), w, h, w * 3, 3, n * 400'000, n}).event;
  };
  for (int i = 0; i < 4; ++i) feed(small, 160, 120);
  // The camera changed its mode: one re-initialisation, reported as no motion, and never a
  // read past the smaller reference (ASan watches).
  EXPECT_EQ(feed(big, 320, 240), Event::NoMotion);
  EXPECT_EQ(feed(big, 320, 240), Event::NoMotion);
  std::fill(big.begin(), big.end(), 0);
  EXPECT_EQ(feed(big, 320, 240), Event::Motion);
  EXPECT_EQ(feed(small, 160, 120), Event::NoMotion);  // and back
}

TEST(MotionDetector, SwitchedOffKeepsTheReference) {
  auto d = Detector(GridOf(9));
  Feed feed(160, 120, 10);
  WarmUp(d, feed);
  EXPECT_EQ(feed.Next(d).event, Event::NoMotion);
  d.SetEnabled(false);
  std::fill(feed.Pixels().begin(), feed.Pixels().end(), 200);
  EXPECT_EQ(feed.Next(d).event, Event::None);
  d.SetEnabled(true);
  EXPECT_EQ(feed.Next(d).event, Event::Motion);  // against the frame before switching off
}

TEST(MotionDetector, CellBoundsWhenTheWidthDoesNotDivideByTen) {
  // Width 25: bounds round(2.5)=3, 5, round(7.5)=8, ..., round(22.5)=23, so x = 3 is still
  // column 0 and x = 23 column 8.
  struct Case {
    int x, column;
  } cases[] = {{0, 0}, {3, 0}, {4, 1}, {5, 1}, {6, 2}, {8, 2}, {9, 3}, {22, 8}, {23, 8}, {24, 9}};
  for (const Case& c : cases) {
    for (int column = 0; column < 10; ++column) {
      auto d = Detector(OneCell(column, 0, 9));
      Feed feed(25, 13);
      WarmUp(d, feed);
      feed.At(c.x, 0)[0] = 200;
      EXPECT_EQ(feed.Next(d).event == Event::Motion, column == c.column) << "x " << c.x << " column " << column;
    }
  }
}

TEST(MotionDetector, ThirtyTwoBitFramesIgnoreTheFourthByte) {
  auto d = Detector(GridOf(9));
  std::vector<uint8_t> px(64 * 48 * 4, 50);
  auto feed = [&](int64_t n) {
    return d.Process({px.data(), 64, 48, 64 * 4, 4, n * 400'000, n}).event;
  };
  for (int n = 1; n <= 3; ++n) feed(n);
  px[3] = 255;  // the unused byte of pixel 0
  EXPECT_EQ(feed(4), Event::NoMotion);
  px[4] = 255;  // blue of pixel 1
  EXPECT_EQ(feed(5), Event::Motion);
}
