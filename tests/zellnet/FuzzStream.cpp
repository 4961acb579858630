// The stream reassembler on arbitrary bytes cut into arbitrary chunks: the first byte of the
// input picks the chunk size.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "zellnet/src/Wire.h"

using namespace zellnet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk = data[0] + 1u;
  ByteSpan rest(data + 1, size - 1);
  StreamReassembler r;
  while (!rest.empty()) {
    auto part = rest.first(std::min(chunk, rest.size()));
    rest = rest.subspan(part.size());
    bool more = r.Feed(part, [](ByteSpan record) {
      (void)ParseData(record);
      return record[1] != cmd::kStop;
    });
    if (!more) break;
  }
  return 0;
}
