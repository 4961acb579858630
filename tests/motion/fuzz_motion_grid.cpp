// Grid texts of any shape, then frames of sizes taken from the input: an accepted grid is
// always 109 characters, and nothing reads outside a frame.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/MotionDetector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  vigil::TMotionDetector d;
  std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
  if (d.SetGrid(text) && d.Grid().size() != vigil::TMotionDetector::kGridTextLength) std::abort();
  d.SetEnabled(true);
  for (int k = 0; k < 2; ++k) {
    int w = 1 + data[k * 2] % 64, h = 1 + data[k * 2 + 1] % 48;
    std::vector<uint8_t> px(static_cast<size_t>(w * h * 3));
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 31 + k * 7);
    for (int64_t n = 1; n <= 5; ++n) d.Process({px.data(), w, h, w * 3, 3, n * 400'000, n});
  }
  return 0;
}
