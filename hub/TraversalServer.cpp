#include "hub/TraversalServer.h"

#include <array>
#include <cstdio>

namespace vigil::hub {

using namespace zellnet;

namespace {
constexpr int kHousekeepingTimer = 1;
constexpr uint32_t kHousekeeping_ms = 1000;
constexpr uint32_t kFullLogEvery_ms = 10000;

uint32_t NonZero(uint32_t value) { return value == 0 ? 1 : value; }
}  // namespace

TraversalServer::TraversalServer(Runtime& runtime, TraversalOptions options, LogLine log)
    : m_runtime(runtime),
      m_options(std::move(options)),
      m_log(std::move(log)),
      m_random(m_options.seed ? static_cast<uint32_t>(m_options.seed) : std::random_device{}()),
      m_nextId1(NonZero(m_random() & 0x7fffffff)) {}

TraversalServer::~TraversalServer() = default;

bool TraversalServer::Start() {
  m_socket = m_runtime.Bind(m_options.address, m_options.port, [this] { OnReadable(); });
  const std::string where = (m_options.address.empty() ? "0.0.0.0" : m_options.address) + ":" +
                            std::to_string(m_options.port);
  if (!m_socket) {
    m_log("traversal: cannot listen on UDP " + where);
    return false;
  }
  m_window = m_runtime.CreateWindow([this](int) { OnTimer(); });
  if (!m_window) {
    m_socket.reset();
    m_log("traversal: no event loop");
    return false;
  }
  m_window->StartTimer(kHousekeepingTimer, kHousekeeping_ms);
  m_log("traversal: listening on UDP " + where);
  return true;
}

void TraversalServer::OnReadable() {
  std::array<uint8_t, kMaxDatagram> buffer;
  std::string host;
  uint16_t port = 0;
  // A bounded batch per notification keeps the loop responsive; the notifier repeats.
  for (int i = 0; i < 64; ++i) {
    const int n = m_socket->Receive(buffer, host, port);
    if (n < 0) return;
    const ByteSpan datagram(buffer.data(), static_cast<size_t>(n));
    auto ip = ValueFromDotted(host);
    if (!ip || !AcceptDatagram(datagram)) continue;
    try {
      Handle(datagram, {*ip, port});
    } catch (const std::exception& e) {
      m_log(std::string("traversal: dropped a datagram: ") + e.what());
    }
  }
}

void TraversalServer::Handle(ByteSpan datagram, const Address& from) {
  switch (datagram[1]) {
    case cmd::kLogin: OnLogin(datagram, from); break;
    case cmd::kAlive: OnAlive(datagram, from); break;
    case cmd::kLogout: OnLogout(datagram, from); break;
    case cmd::kConnect: OnConnect(datagram, from); break;
    case cmd::kAnswer: OnAnswer(datagram, from); break;
    case cmd::kConfirm: OnConfirm(datagram, from); break;
    case cmd::kEnvelope: OnEnvelope(datagram, from); break;
    default: break;
  }
}

void TraversalServer::OnLogin(ByteSpan datagram, const Address& from) {
  auto request = ParseLoginRequest(datagram);
  if (!request) return;
  if (request->version.rfind("2.", 0) != 0) {
    Send(from, BuildLoginRefusal(request->seq, "update"));
    return;
  }
  // A repeated request (the answer was lost) gets the same IDs again.
  if (auto known = m_byAddress.find(from); known != m_byAddress.end()) {
    Client& c = m_clients.at(known->second);
    c.lastSeen = m_runtime.Now();
    Send(from, BuildLoginAcceptance(request->seq, c.ip, c.port, c.id1, c.id2));
    return;
  }
  if (!MakeRoom()) {
    ++m_refusedSinceLog;
    const Tick now = m_runtime.Now();
    if (AtLeastAfter(now, m_lastFullLog, kFullLogEvery_ms) || m_refusedSinceLog == 1) {
      m_log("traversal: client table full (" + std::to_string(m_clients.size()) + "), refused " +
            std::to_string(m_refusedSinceLog) + " logins");
      m_lastFullLog = now;
      m_refusedSinceLog = 0;
    }
    return;
  }
  Client c;
  do {
    c.id1 = m_nextId1++;
  } while (c.id1 == 0 || m_clients.count(c.id1));
  c.id2 = NonZero(m_random());
  c.ip = from.first;
  c.port = from.second;
  c.lastSeen = m_runtime.Now();
  c.order = m_nextOrder++;
  m_clients.emplace(c.id1, c);
  m_byAddress[from] = c.id1;
  m_unconfirmed.insert({c.order, c.id1});
  m_log("login " + Describe(c));
  Send(from, BuildLoginAcceptance(request->seq, c.ip, c.port, c.id1, c.id2));
}

bool TraversalServer::MakeRoom() {
  if (m_clients.size() < m_options.maxClients) return true;
  // Spoofed logins never confirm their address, so they go before any real client does.
  if (m_unconfirmed.empty()) return false;
  Remove(m_unconfirmed.begin()->second, "evicted, table full");
  return true;
}

TraversalServer::Client* TraversalServer::Find(const IdPair& ids) {
  auto it = m_clients.find(ids.id1);
  if (it == m_clients.end() || it->second.id2 != ids.id2) return nullptr;
  return &it->second;
}

void TraversalServer::OnAlive(ByteSpan datagram, const Address& from) {
  auto ids = ParseIdPair(datagram);
  if (!ids) return;
  Client* c = Find(*ids);
  if (!c) return;  // unknown: the client notices the silence and logs in again
  c->lastSeen = m_runtime.Now();
  c->probed = false;
  if (!c->confirmed) {
    c->confirmed = true;
    m_unconfirmed.erase({c->order, c->id1});
  }
  if (from != Address{c->ip, c->port}) {  // the client's NAT gave it a new mapping
    m_byAddress.erase({c->ip, c->port});
    c->ip = from.first;
    c->port = from.second;
    m_byAddress[from] = c->id1;
  }
  if (datagram[0] == kAliveTag) Send(from, BuildKeepAliveAnswer(kAliveTag));
}

void TraversalServer::OnLogout(ByteSpan datagram, const Address& from) {
  auto ids = ParseIdPair(datagram);
  if (!ids) return;
  Client* c = Find(*ids);
  if (!c || Address{c->ip, c->port} != from) return;
  Remove(c->id1, "logged out");
}

void TraversalServer::Remove(uint32_t id1, const char* why) {
  auto it = m_clients.find(id1);
  if (it == m_clients.end()) return;
  m_log("logout " + Describe(it->second) + ": " + why);
  m_byAddress.erase({it->second.ip, it->second.port});
  m_unconfirmed.erase({it->second.order, id1});
  m_clients.erase(it);
}

void TraversalServer::OnTimer() {
  const Tick now = m_runtime.Now();
  std::vector<uint32_t> silent;
  for (auto& [id1, c] : m_clients) {
    if (MoreThanAfter(now, c.lastSeen, m_options.expireAfter_ms)) {
      silent.push_back(id1);
    } else if (!c.probed && MoreThanAfter(now, c.lastSeen, m_options.probeAfter_ms)) {
      c.probed = true;
      Send({c.ip, c.port}, BuildServerProbe(c.id2));
    }
  }
  for (uint32_t id1 : silent) Remove(id1, "silent");
  ExpireLinks(now);
}

void TraversalServer::Send(const Address& to, const Bytes& bytes) {
  m_socket->SendTo(DottedFromValue(to.first), to.second, bytes);
}

std::string TraversalServer::Describe(const Client& c) const {
  char text[80];
  std::snprintf(text, sizeof text, "%x@%x from %s:%u", c.id1, c.id2, DottedFromValue(c.ip).c_str(),
                static_cast<unsigned>(c.port));
  return text;
}

}  // namespace vigil::hub
