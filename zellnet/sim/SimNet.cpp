#include "zellnet/sim/SimNet.h"

#include <deque>
#include <stdexcept>

namespace zellnet::sim {

// --- endpoints and windows --------------------------------------------------------------

class SimEndpoint final : public Endpoint {
 public:
  SimEndpoint(Host& host, uint16_t port, std::function<void()> onReadable)
      : host_(host), port_(port), serial_(host.net_.nextSerial_++), onReadable_(std::move(onReadable)) {
    host_.endpoints_[port_] = this;
  }
  ~SimEndpoint() override { host_.endpoints_.erase(port_); }

  bool SendTo(std::string_view host, uint16_t port, ByteSpan bytes) override {
    auto ip = host_.net_.Resolve(host);
    if (!ip) return false;
    host_.net_.Send(host_, port_, *ip, port, bytes);
    return true;
  }

  int Receive(std::span<uint8_t> buffer, std::string& senderHost, uint16_t& senderPort) override {
    if (inbox_.empty()) return -1;
    Packet p = std::move(inbox_.front());
    inbox_.pop_front();
    if (p.bytes.size() > buffer.size()) return -1;
    std::copy(p.bytes.begin(), p.bytes.end(), buffer.begin());
    senderHost = DottedFromValue(p.srcIp);
    senderPort = p.srcPort;
    return static_cast<int>(p.bytes.size());
  }

  uint16_t LocalPort() const override { return port_; }

  void Deliver(Packet p) {
    inbox_.push_back(std::move(p));
    NotifySoon();
  }

 private:
  // Read notifications repeat while datagrams wait, like a level-triggered socket notifier.
  void NotifySoon() {
    if (notifyPending_) return;
    notifyPending_ = true;
    Host* host = &host_;
    const uint16_t port = port_;
    const uint64_t serial = serial_;
    host_.net_.Schedule(host_.net_.now_ms_, [host, port, serial] {
      auto it = host->endpoints_.find(port);
      if (it == host->endpoints_.end() || it->second->serial_ != serial) return;
      SimEndpoint* self = it->second;
      self->notifyPending_ = false;
      if (self->inbox_.empty()) return;
      // The handler may destroy this endpoint; look it up again afterwards.
      self->onReadable_();
      it = host->endpoints_.find(port);
      if (it != host->endpoints_.end() && it->second->serial_ == serial && !it->second->inbox_.empty())
        it->second->NotifySoon();
    });
  }

  Host& host_;
  uint16_t port_;
  uint64_t serial_;
  std::function<void()> onReadable_;
  std::deque<Packet> inbox_;
  bool notifyPending_ = false;
};

class SimWindow final : public Window {
 public:
  SimWindow(Network& net, std::function<void(int)> onTimer)
      : net_(net), serial_(net.nextSerial_++), onTimer_(std::move(onTimer)) {
    net_.windows_[serial_] = this;
  }
  ~SimWindow() override { net_.windows_.erase(serial_); }

  void StartTimer(int id, uint32_t period_ms) override {
    const uint64_t generation = ++generations_[id];
    Arm(id, generation, period_ms);
  }
  void StopTimer(int id) override { ++generations_[id]; }

 private:
  void Arm(int id, uint64_t generation, uint32_t period_ms) {
    Network* net = &net_;
    const uint64_t serial = serial_;
    net_.Schedule(net_.now_ms_ + std::max<uint32_t>(period_ms, 1), [net, serial, id, generation, period_ms] {
      auto it = net->windows_.find(serial);
      if (it == net->windows_.end() || it->second->generations_[id] != generation) return;
      it->second->Arm(id, generation, period_ms);  // re-armed first: the tick may stop it
      it->second->onTimer_(id);
    });
  }

  Network& net_;
  uint64_t serial_;
  std::function<void(int)> onTimer_;
  std::map<int, uint64_t> generations_;
};

std::unique_ptr<Endpoint> Host::Bind(const std::string& address, uint16_t port,
                                     std::function<void()> onReadable) {
  if (!address.empty() && net_.Resolve(address) != ip_) return nullptr;
  if (port == 0) {
    for (int tries = 0; tries < 65536 && (port == 0 || endpoints_.count(port)); ++tries) {
      port = nextEphemeral_;
      nextEphemeral_ = nextEphemeral_ == 60999 ? 40000 : nextEphemeral_ + 1;
    }
  }
  if (endpoints_.count(port)) return nullptr;
  return std::make_unique<SimEndpoint>(*this, port, std::move(onReadable));
}

std::unique_ptr<Window> Host::CreateWindow(std::function<void(int id)> onTimer) {
  return std::make_unique<SimWindow>(net_, std::move(onTimer));
}

// --- NAT ----------------------------------------------------------------------------------

Nat::Nat(Network& net, uint32_t publicIp, NatConfig config)
    : net_(net), publicIp_(publicIp), config_(config), nextPort_(config.firstPort) {}

Nat::Key Nat::KeyFor(const Packet& p) const {
  switch (config_.mapping) {
    case Mapping::kEndpointIndependent: return {p.srcIp, p.srcPort, 0, 0};
    case Mapping::kAddressDependent: return {p.srcIp, p.srcPort, p.dstIp, 0};
    case Mapping::kAddressAndPortDependent: break;
  }
  return {p.srcIp, p.srcPort, p.dstIp, p.dstPort};
}

uint16_t Nat::AllocatePort() {
  for (int tries = 0; tries < 65536; ++tries) {
    uint16_t port;
    if (config_.ports == PortAllocation::kRandom) {
      port = static_cast<uint16_t>(1024 + net_.Random() * (65536 - 1024));
    } else {
      port = nextPort_;
      nextPort_ = nextPort_ == 65535 ? 1024 : static_cast<uint16_t>(nextPort_ + 1);
    }
    if (!byPublicPort_.count(port)) return port;
  }
  throw std::runtime_error("NAT ports exhausted");
}

void Nat::Expire() {
  for (auto it = mappings_.begin(); it != mappings_.end();) {
    if (net_.now_ms_ - it->second.lastUsed_ms > config_.mappingTimeout_ms) {
      byPublicPort_.erase(it->second.publicPort);
      it = mappings_.erase(it);
    } else {
      ++it;
    }
  }
}

void Nat::Outbound(Packet& p) {
  Expire();
  const Key key = KeyFor(p);
  auto it = mappings_.find(key);
  if (it == mappings_.end()) {
    Binding b{p.srcIp, p.srcPort, AllocatePort(), net_.now_ms_, {}, {}};
    byPublicPort_[b.publicPort] = key;
    it = mappings_.emplace(key, std::move(b)).first;
  }
  Binding& b = it->second;
  b.lastUsed_ms = net_.now_ms_;  // only outbound traffic refreshes a mapping
  b.ips.insert(p.dstIp);
  b.ipPorts.insert({p.dstIp, p.dstPort});
  p.srcIp = publicIp_;
  p.srcPort = b.publicPort;
}

bool Nat::Inbound(Packet& p) {
  Expire();
  auto port = byPublicPort_.find(p.dstPort);
  if (port == byPublicPort_.end()) return false;
  const Binding& b = mappings_.at(port->second);
  switch (config_.filtering) {
    case Filtering::kEndpointIndependent: break;
    case Filtering::kAddressDependent:
      if (!b.ips.count(p.srcIp)) return false;
      break;
    case Filtering::kAddressAndPortDependent:
      if (!b.ipPorts.count({p.srcIp, p.srcPort})) return false;
      break;
  }
  p.dstIp = b.privIp;
  p.dstPort = b.privPort;
  return true;
}

// --- network ------------------------------------------------------------------------------

Network::Network(uint64_t seed, uint64_t start_ms) : now_ms_(start_ms), rng_(seed) {}
Network::~Network() = default;

Host& Network::AddHost(const std::string& ip, Nat* behind) {
  auto value = ValueFromDotted(ip);
  if (!value) throw std::invalid_argument("bad host address " + ip);
  hosts_.push_back(std::make_unique<Host>(*this, *value, behind));
  return *hosts_.back();
}

Nat& Network::AddNat(const std::string& publicIp, NatConfig config) {
  auto value = ValueFromDotted(publicIp);
  if (!value) throw std::invalid_argument("bad NAT address " + publicIp);
  nats_.push_back(std::make_unique<Nat>(*this, *value, config));
  return *nats_.back();
}

void Network::AddName(const std::string& name, const std::string& ip) {
  auto value = ValueFromDotted(ip);
  if (!value) throw std::invalid_argument("bad address " + ip);
  names_[name] = *value;
}

std::optional<uint32_t> Network::Resolve(std::string_view host) const {
  if (auto value = ValueFromDotted(host)) return value;
  auto it = names_.find(std::string(host));
  if (it == names_.end()) return std::nullopt;
  return it->second;
}

void Network::Schedule(uint64_t at_ms, std::function<void()> event) {
  events_.emplace(std::make_pair(at_ms, nextEventSeq_++), std::move(event));
}

void Network::Send(Host& from, uint16_t fromPort, uint32_t dstIp, uint16_t dstPort, ByteSpan bytes) {
  Packet p{from.ip_, fromPort, dstIp, dstPort, Bytes(bytes.begin(), bytes.end())};
  ++counters_.sent;
  // Hosts behind the same NAT reach each other directly; everything else leaves through it.
  bool sameRealm = false;
  for (const auto& h : hosts_)
    if (h->ip_ == dstIp && h->nat_ == from.nat_) sameRealm = true;
  if (from.nat_ && !sameRealm) from.nat_->Outbound(p);
  if (dropRule_ && dropRule_(p)) {
    ++counters_.lost;
    return;
  }
  if (Random() < profile_.loss) {
    ++counters_.lost;
    return;
  }
  const int copies = Random() < profile_.duplicate ? 2 : 1;
  if (copies == 2) ++counters_.duplicated;
  for (int i = 0; i < copies; ++i) {
    const uint64_t delay = profile_.delay_ms + static_cast<uint64_t>(Random() * (profile_.jitter_ms + 1));
    Nat* realm = sameRealm ? from.nat_ : nullptr;
    Schedule(now_ms_ + delay, [this, p, realm] { Arrive(p, realm); });
  }
}

void Network::Arrive(Packet p, Nat* realm) {
  for (const auto& nat : nats_) {
    if (realm || nat->publicIp() != p.dstIp) continue;
    if (!nat->Inbound(p)) {
      ++counters_.filtered;
      return;
    }
    realm = nat.get();
    break;
  }
  for (const auto& h : hosts_) {
    if (h->ip_ != p.dstIp || h->nat_ != realm) continue;
    auto ep = h->endpoints_.find(p.dstPort);
    if (ep == h->endpoints_.end()) break;
    ++counters_.delivered;
    ep->second->Deliver(std::move(p));
    return;
  }
  ++counters_.unroutable;
}

void Network::RunFor(uint64_t ms) {
  RunUntil([] { return false; }, ms);
}

bool Network::RunUntil(const std::function<bool()>& done, uint64_t limit_ms) {
  const uint64_t end = now_ms_ + limit_ms;
  if (done()) return true;
  while (!events_.empty() && events_.begin()->first.first <= end) {
    auto node = events_.extract(events_.begin());
    now_ms_ = node.key().first;
    node.mapped()();
    if (done()) return true;
  }
  now_ms_ = end;
  return false;
}

}  // namespace zellnet::sim
