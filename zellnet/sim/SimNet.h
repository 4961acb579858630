// A deterministic simulated network for zellnet tests and benchmarks: virtual time, virtual
// hosts with IPv4 addresses, per-path loss, delay, jitter (reordering) and duplication, and
// NAT boxes with the mapping, filtering and port-allocation behaviours of RFC 4787. Each
// host offers a Runtime, so protocol code runs on it unchanged. Everything runs on the
// caller's thread inside Run*(); the same seed gives the same run.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "zellnet/src/Runtime.h"

namespace zellnet::sim {

struct PathProfile {
  double loss = 0;            // probability that a datagram vanishes
  double duplicate = 0;       // probability that it arrives twice
  uint32_t delay_ms = 1;      // one-way delay
  uint32_t jitter_ms = 0;     // extra random delay 0..jitter; reorders datagrams
};

enum class Mapping { kEndpointIndependent, kAddressDependent, kAddressAndPortDependent };
enum class Filtering { kEndpointIndependent, kAddressDependent, kAddressAndPortDependent };
enum class PortAllocation { kSequential, kRandom };

struct NatConfig {
  Mapping mapping = Mapping::kEndpointIndependent;
  Filtering filtering = Filtering::kAddressAndPortDependent;
  PortAllocation ports = PortAllocation::kSequential;
  uint32_t mappingTimeout_ms = 120000;  // idle time after which a mapping is gone
  uint16_t firstPort = 20000;           // first port of sequential allocation
};

struct Packet {
  uint32_t srcIp = 0;  // address values as in Wire.h
  uint16_t srcPort = 0;
  uint32_t dstIp = 0;
  uint16_t dstPort = 0;
  Bytes bytes;
};

class Network;
class Host;

class Nat {
 public:
  Nat(Network& net, uint32_t publicIp, NatConfig config);
  uint32_t publicIp() const { return publicIp_; }
  size_t mappingCount() const { return mappings_.size(); }

 private:
  friend class Network;
  struct Binding {
    uint32_t privIp;
    uint16_t privPort;
    uint16_t publicPort;
    uint64_t lastUsed_ms;
    std::set<uint32_t> ips;                           // remote addresses contacted
    std::set<std::pair<uint32_t, uint16_t>> ipPorts;  // remote endpoints contacted
  };
  using Key = std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>;
  Key KeyFor(const Packet& p) const;
  // Outbound: rewrites the source to the mapped public endpoint.
  void Outbound(Packet& p);
  // Inbound: rewrites the destination to the private endpoint; false when filtered.
  bool Inbound(Packet& p);
  void Expire();
  uint16_t AllocatePort();

  Network& net_;
  uint32_t publicIp_;
  NatConfig config_;
  uint16_t nextPort_;
  std::map<Key, Binding> mappings_;
  std::map<uint16_t, Key> byPublicPort_;
};

class Network {
 public:
  explicit Network(uint64_t seed = 1, uint64_t start_ms = 1000);
  ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  Host& AddHost(const std::string& ip, Nat* behind = nullptr);
  Nat& AddNat(const std::string& publicIp, NatConfig config = {});
  void AddName(const std::string& name, const std::string& ip);

  void SetProfile(const PathProfile& profile) { profile_ = profile; }
  // Drops every datagram for which `rule` returns true (after NAT translation).
  void SetDropRule(std::function<bool(const Packet&)> rule) { dropRule_ = std::move(rule); }

  // Puts a datagram on the public side now, as if `packet`'s source had sent it (tests and
  // fuzz targets speak for a peer this way).
  void Inject(Packet packet) { Arrive(std::move(packet), nullptr); }

  uint64_t now_ms() const { return now_ms_; }
  // Runs events up to now + `ms`.
  void RunFor(uint64_t ms);
  // Runs until `done` holds (checked after each event) or `limit_ms` passed; true when done.
  bool RunUntil(const std::function<bool()>& done, uint64_t limit_ms);

  struct Counters {
    uint64_t sent = 0, delivered = 0, lost = 0, duplicated = 0, filtered = 0, unroutable = 0;
  };
  const Counters& counters() const { return counters_; }

 private:
  friend class Host;
  friend class Nat;
  friend class SimEndpoint;
  friend class SimWindow;
  void Schedule(uint64_t at_ms, std::function<void()> event);
  void Send(Host& from, uint16_t fromPort, uint32_t dstIp, uint16_t dstPort, ByteSpan bytes);
  // `realm`: the NAT whose private side carries the packet, or null for the public side.
  void Arrive(Packet packet, Nat* realm);
  std::optional<uint32_t> Resolve(std::string_view host) const;
  double Random() { return std::uniform_real_distribution<double>(0, 1)(rng_); }

  uint64_t now_ms_;
  uint64_t nextEventSeq_ = 0;
  std::map<std::pair<uint64_t, uint64_t>, std::function<void()>> events_;
  std::mt19937_64 rng_;
  PathProfile profile_;
  std::function<bool(const Packet&)> dropRule_;
  std::vector<std::unique_ptr<Nat>> nats_;
  std::vector<std::unique_ptr<Host>> hosts_;
  std::map<std::string, uint32_t> names_;
  std::map<uint64_t, class SimWindow*> windows_;
  uint64_t nextSerial_ = 1;
  Counters counters_;
};

class Host final : public Runtime {
 public:
  Host(Network& net, uint32_t ip, Nat* nat) : net_(net), ip_(ip), nat_(nat) {}
  std::string ip() const { return DottedFromValue(ip_); }

  Tick Now() override { return static_cast<Tick>(net_.now_ms_); }
  std::unique_ptr<Endpoint> Bind(const std::string& address, uint16_t port,
                                 std::function<void()> onReadable) override;
  std::unique_ptr<Window> CreateWindow(std::function<void(int id)> onTimer) override;
  std::optional<uint32_t> Resolve(std::string_view host) override { return net_.Resolve(host); }
  std::string LocalIPv4() override { return ip(); }

 private:
  friend class Network;
  friend class SimEndpoint;
  friend class SimWindow;
  Network& net_;
  uint32_t ip_;
  Nat* nat_;
  uint16_t nextEphemeral_ = 40000;
  std::map<uint16_t, class SimEndpoint*> endpoints_;
};

}  // namespace zellnet::sim
