// One detector comparison of a 640×480 frame against copying that frame with memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "app/MotionDetector.h"

namespace {

constexpr int kW = 640, kH = 480;

std::vector<uint8_t> Picture(unsigned seed) {
  std::vector<uint8_t> px(kW * kH * 3);
  std::mt19937 rng(seed);
  for (auto& b : px) b = static_cast<uint8_t>(100 + rng() % 8);  // noise below every threshold
  return px;
}

void BM_Memcpy640x480(benchmark::State& state) {
  auto src = Picture(1);
  std::vector<uint8_t> dst(src.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}

// The worst case: no motion anywhere, so every checked pixel is visited; every cell checked.
void BM_DetectorCompare640x480(benchmark::State& state) {
  std::vector<uint8_t> a = Picture(1), b = Picture(2);
  vigil::TMotionDetector d;
  std::string grid;
  for (int r = 0; r < 10; ++r) grid += (r ? " " : "") + std::string(10, '5');
  d.SetGrid(grid);
  d.SetEnabled(true);
  d.SetMaxPerSecond(0);
  int64_t n = 0;
  for (int i = 0; i < 4; ++i, ++n) d.Process({(i % 2 ? a : b).data(), kW, kH, kW * 3, 3, n, n + 1});
  for (auto _ : state) {
    ++n;
    auto out = d.Process({(n % 2 ? a : b).data(), kW, kH, kW * 3, 3, n, n});
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(a.size()));
}

}  // namespace

BENCHMARK(BM_Memcpy640x480);
BENCHMARK(BM_DetectorCompare640x480);
BENCHMARK_MAIN();
