// Two client instances, A and B, each behind its own NAT box (or none) on the simulated
// network, both logged in to the real traversal server on 10.0.0.1.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "SimFixture.h"

namespace zellnet::test {

// One side's router: none, or a NAT with the RFC 4787 behaviours.
struct NatKind {
  const char* name;
  std::optional<sim::NatConfig> nat;
};

namespace nat {
using sim::Filtering;
using sim::Mapping;
using sim::PortAllocation;
inline const NatKind kNone{"none", std::nullopt};
inline const NatKind kFullCone{"fullCone", sim::NatConfig{Mapping::kEndpointIndependent, Filtering::kEndpointIndependent}};
inline const NatKind kRestricted{"restricted", sim::NatConfig{Mapping::kEndpointIndependent, Filtering::kAddressDependent}};
inline const NatKind kPortRestricted{"portRestricted",
                                     sim::NatConfig{Mapping::kEndpointIndependent, Filtering::kAddressAndPortDependent}};
inline const NatKind kAddressMapping{"addressMapping",
                                     sim::NatConfig{Mapping::kAddressDependent, Filtering::kAddressDependent}};
inline const NatKind kSymmetric{"symmetric",
                                sim::NatConfig{Mapping::kAddressAndPortDependent, Filtering::kAddressAndPortDependent}};
inline const NatKind kSymmetricRandom{
    "symmetricRandom", sim::NatConfig{Mapping::kAddressAndPortDependent, Filtering::kAddressAndPortDependent,
                                      PortAllocation::kRandom}};
}  // namespace nat

struct PeerSide {
  sim::Host* host = nullptr;
  Recorder rec;
  std::unique_ptr<CEnVideoDlg> dlg;
  std::string Id() const { return dlg->GetStatus(NK_STATUS_ID); }
  std::string Status() const { return dlg->GetStatus(NK_STATUS_TEXT); }
  bool Has(int code) const { return std::count(rec.events.begin(), rec.events.end(), code) > 0; }
};

class PeerNet {
 public:
  PeerNet(const NatKind& a, const NatKind& b, uint64_t seed = 3, vigil::hub::TraversalOptions options = {})
      : net(seed), serverHost(net.AddHost(kServerIp)) {
    a_.host = &AddSide(a, "10.0.0.2", "192.168.1.10");
    b_.host = &AddSide(b, "10.0.0.3", "192.168.2.10");
    options.seed = seed;
    hub = std::make_unique<vigil::hub::TraversalServer>(serverHost, options,
                                                        [this](const std::string& line) { hubLog.push_back(line); });
  }

  // Starts the hub and logs both sides in; false when a login failed. Without a callback B
  // keeps what arrives in its receive ring.
  bool Start(bool callbackOnB = true) {
    if (!hub->Start()) return false;
    for (PeerSide* side : {&a_, &b_}) {
      const bool callback = side == &a_ || callbackOnB;
      side->dlg = CEnVideoDlg::Create(*side->host, callback ? &Recorder::Callback : nullptr,
                                      reinterpret_cast<uintptr_t>(&side->rec));
      if (!side->dlg || side->dlg->Login(kServerIp, kSerial) != 1) return false;
    }
    return net.RunUntil([&] { return a_.Has(NK_EVENT_LOGIN) && b_.dlg->m_dwID1 != 0; }, 5000);
  }
  // A connects to B; true when both sides are up within `limit_ms`.
  bool ConnectAndWait(bool allowRelay, uint64_t limit_ms = 60000) {
    if (a_.dlg->Connect(b_.Id().c_str(), allowRelay) != 1) return false;
    return net.RunUntil([&] { return a_.Has(NK_EVENT_CONNECTED) && b_.Status() == kLinkUpText; }, limit_ms);
  }
  // Drops every datagram from or to `side`'s public address from now on.
  void CutOff(PeerSide& side) {
    const uint32_t ip = PublicIp(side);
    net.SetDropRule([ip](const sim::Packet& p) { return p.srcIp == ip || p.dstIp == ip; });
  }
  uint32_t PublicIp(PeerSide& side) const { return *ValueFromDotted(&side == &a_ ? "10.0.0.2" : "10.0.0.3"); }
  inline static const std::string kLinkUpText = vigil::test::Gbk("连接成功！");

  PeerSide& a() { return a_; }
  PeerSide& b() { return b_; }

  sim::Network net;
  sim::Host& serverHost;
  std::unique_ptr<vigil::hub::TraversalServer> hub;
  std::vector<std::string> hubLog;

 private:
  sim::Host& AddSide(const NatKind& kind, const char* publicIp, const char* privateIp) {
    if (!kind.nat) return net.AddHost(publicIp);
    return net.AddHost(privateIp, &net.AddNat(publicIp, *kind.nat));
  }
  PeerSide a_, b_;
};

}  // namespace zellnet::test
