// /proc/stat texts of any shape: a usage is always within 0..1 or a clear error.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/SystemServices.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t half = text.size() / 2;
  int call = 0;
  vigil::TCpuSampler sampler([&] { return call++ == 0 ? text.substr(0, half) : text.substr(half); });
  try {
    sampler.CollectCpuData();
    sampler.CollectCpuData();
    for (int i = 0; i < sampler.CpuCount() && i < 64; ++i) {
      double u = sampler.CpuUsage(i);
      if (!(u >= 0.0 && u <= 1.0)) std::abort();
    }
  } catch (const vigil::CpuUsageError&) {
  }
  return 0;
}
