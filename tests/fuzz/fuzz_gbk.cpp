// Any bytes convert in both directions without failing, and GBK always decodes to UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Gbk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string utf8 = vigil::gbkToUtf8(bytes);
  if (!vigil::isValidUtf8(utf8)) std::abort();
  std::string gbk = vigil::utf8ToGbk(bytes);
  if (!vigil::isValidGbk(gbk)) std::abort();
  vigil::isValidGbk(bytes);
  return 0;
}
