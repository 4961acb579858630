// Date-time texts: what parses writes back to the same moment; patterns never crash.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/DateTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (auto t = vigil::StrToDateTime(text)) {
    auto back = vigil::StrToDateTime(vigil::DateTimeToStr(*t));
    if (!back || std::fabs(*back - *t) > 1.0 / 86400) std::abort();
  }
  if (auto t = vigil::StrToTime(text)) {
    auto back = vigil::StrToTime(vigil::TimeToStr(*t));
    if (!back || std::fabs(*back - *t) > 1.0 / 86400) std::abort();
  }
  vigil::FormatDateTime(text.left(64), 39356.5);
  return 0;
}
