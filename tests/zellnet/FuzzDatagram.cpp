// Every datagram parser on arbitrary bytes: none may read outside the input.
#include <cstddef>
#include <cstdint>

#include "zellnet/src/Wire.h"

using namespace zellnet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteSpan d(data, size);
  (void)AcceptDatagram(d);
  (void)ParseHeader(d);
  (void)ParseLoginRequest(d);
  (void)ParseLoginAnswer(d);
  (void)ParseIdPair(d);
  (void)ParseSetup(d);
  (void)ParseSegment(d);
  (void)ParseAck(d);
  (void)ParseProbe(d);
  if (auto data = ParseData(d)) (void)Bytes(data->payload.begin(), data->payload.end());
  if (auto envelope = ParseEnvelope(d)) {
    (void)ParseSegment(envelope->inner);
    (void)ParseData(envelope->inner);
  }
  return 0;
}
