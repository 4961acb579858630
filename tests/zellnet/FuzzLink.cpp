// Arbitrary link packets from the peer's own address on an established direct link, and
// arbitrary inner packets in relay envelopes on a relayed one: segments (stream records
// inside), acknowledgements, keep-alives, datagrams, nested envelopes. The first input byte
// picks the form; a segment form takes its sequence from the next two bytes so that the
// fuzzer reaches the receive window easily.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "hub/TraversalServer.h"
#include "zellnet/sim/SimNet.h"
#include "zellnet/src/CEnVideoDlg.h"

using namespace zellnet;

namespace {

void Ignore(const unsigned char*, int, unsigned char, uintptr_t) {}

// Two instances linked through the hub, and the last datagram seen towards A.
struct Linked {
  sim::Network net{1};
  std::optional<sim::Packet> towardsA;  // before the instances: their end still sends
  sim::Host& server = net.AddHost("10.0.0.1");
  vigil::hub::TraversalServer hub{server, {}, [](const std::string&) {}};
  std::unique_ptr<CEnVideoDlg> a, b;

  Linked(std::optional<sim::NatConfig> nat) {
    sim::Host& hostA = nat ? net.AddHost("192.168.1.2", &net.AddNat("10.0.0.2", *nat)) : net.AddHost("10.0.0.2");
    sim::Host& hostB = nat ? net.AddHost("192.168.2.2", &net.AddNat("10.0.0.3", *nat)) : net.AddHost("10.0.0.3");
    const uint32_t publicA = *ValueFromDotted("10.0.0.2");
    net.SetDropRule([this, publicA](const sim::Packet& p) {
      if (p.dstIp == publicA && p.bytes.size() >= 2 && (p.bytes[1] == cmd::kSegment || p.bytes[1] == cmd::kEnvelope))
        towardsA = p;
      return false;
    });
    hub.Start();
    a = CEnVideoDlg::Create(hostA, &Ignore, 0);
    b = CEnVideoDlg::Create(hostB, &Ignore, 0);
    a->Login("10.0.0.1", "0123456789abcdef");
    b->Login("10.0.0.1", "0123456789abcdef");
    net.RunFor(200);
    a->Connect(b->m_strMyID.c_str(), 1);
    net.RunFor(30000);
    const uint8_t hello[] = "hello";
    b->SendData(hello, 5, 1, 1);
    net.RunFor(500);
  }
};

// The world of each form, made again once an input ended its link (a stop notice, say).
Linked& World(bool relayed) {
  static std::unique_ptr<Linked> worlds[2];
  auto& world = worlds[relayed];
  if (!world || world->a->ReadData(nullptr, 0) == -1) {
    world.reset();
    world = std::make_unique<Linked>(relayed ? std::optional(sim::NatConfig{sim::Mapping::kAddressAndPortDependent,
                                                                          sim::Filtering::kAddressAndPortDependent,
                                                                          sim::PortAllocation::kRandom})
                                             : std::nullopt);
  }
  return *world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const ByteSpan input(data + 3, size - 3);
  const bool relayed = data[0] & 1;
  Linked& world = World(relayed);
  if (!world.towardsA) return 0;
  sim::Packet packet = *world.towardsA;
  const uint16_t seq = static_cast<uint16_t>(data[1] | data[2] << 8);
  Bytes inner = data[0] & 2 ? BuildSegment(seq, input.first(std::min<size_t>(input.size(), kMaxSegmentPayload)))
                            : Bytes(input.begin(), input.end());
  if (relayed) {
    // Keep the envelope's address fields, so that A accepts it, around the fuzzed packet.
    auto envelope = ParseEnvelope(packet.bytes);
    if (!envelope) return 0;
    packet.bytes = BuildEnvelope({envelope->dstIp, envelope->dstPort, envelope->srcIp, envelope->srcPort, inner});
  } else {
    packet.bytes = std::move(inner);
  }
  world.net.Inject(std::move(packet));
  world.net.RunFor(150);
  return 0;
}
