// The traversal service of vigil-hub: hands out ID halves at login, answers keep-alives,
// probes and then forgets silent clients, forwards the connect messages between two
// clients' login sockets with the public addresses filled in, and relays envelopes between
// the two link sockets of a confirmed link, each link within its own byte rate. It runs on
// any zellnet runtime: the real one in vigil-hub, the simulated network in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>

#include "zellnet/src/Runtime.h"

namespace vigil::hub {

struct TraversalOptions {
  std::string address;            // empty: every local address
  uint16_t port = zellnet::kServerPort;
  size_t maxClients = 100000;     // bounds the client table
  uint32_t probeAfter_ms = 30000;   // silence after which the client is probed
  uint32_t expireAfter_ms = 60000;  // silence after which the client is logged out
  uint64_t seed = 0;              // 0: a random seed for the ID halves
  uint32_t relayBytesPerSecond = 1 << 20;  // per relayed link; more is dropped
  uint32_t relayIdle_ms = 120000;          // a relayed link unused this long is forgotten
};

class TraversalServer {
 public:
  using LogLine = std::function<void(const std::string&)>;
  TraversalServer(zellnet::Runtime& runtime, TraversalOptions options, LogLine log);
  ~TraversalServer();
  // Binds the socket and starts the housekeeping timer; false (with a log line) on failure.
  bool Start();
  size_t clientCount() const { return m_clients.size(); }
  size_t relayCount() const { return m_relays.size(); }
  uint64_t relayDropped() const { return m_relayDropped; }

 private:
  struct Client {
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t ip = 0;  // public address value and port
    uint16_t port = 0;
    zellnet::Tick lastSeen = 0;
    bool confirmed = false;  // has sent a keep-alive or probe reply: its address is real
    bool probed = false;
    uint64_t order = 0;      // login order, for evicting unconfirmed clients first
  };
  using Address = std::pair<uint32_t, uint16_t>;
  // One connect request, by requester ID half 1, request sequence and target ID half 1.
  using ConnectKey = std::tuple<uint32_t, uint8_t, uint32_t>;
  struct Connect {
    Address requesterLink;  // where the request came from: the requester's link socket
    Address targetLink;     // where the accepting answer came from
    zellnet::Bytes answer;  // the last answer passed on, for a repeated request
    zellnet::Tick forwarded = 0;
    zellnet::Tick created = 0;
  };
  // A confirmed link that may be relayed, keyed by its two link sockets (lower one first).
  struct Relay {
    zellnet::Tick lastUsed = 0;
    zellnet::Tick refilled = 0;
    double tokens = 0;  // bytes that may pass now
  };
  using RelayKey = std::pair<Address, Address>;
  static RelayKey KeyOf(const Address& a, const Address& b) { return a < b ? RelayKey{a, b} : RelayKey{b, a}; }

  void OnReadable();
  void Handle(zellnet::ByteSpan datagram, const Address& from);
  void OnLogin(zellnet::ByteSpan datagram, const Address& from);
  void OnAlive(zellnet::ByteSpan datagram, const Address& from);
  void OnLogout(zellnet::ByteSpan datagram, const Address& from);
  void OnConnect(zellnet::ByteSpan datagram, const Address& from);
  void OnAnswer(zellnet::ByteSpan datagram, const Address& from);
  void OnConfirm(zellnet::ByteSpan datagram, const Address& from);
  void OnEnvelope(zellnet::ByteSpan datagram, const Address& from);
  bool TakeRelayBytes(Relay& relay, size_t bytes);
  void ExpireLinks(zellnet::Tick now);
  Client* Find(const zellnet::IdPair& ids);
  bool MakeRoom();
  void Remove(uint32_t id1, const char* why);
  void OnTimer();
  void Send(const Address& to, const zellnet::Bytes& bytes);
  std::string Describe(const Client& c) const;

  zellnet::Runtime& m_runtime;
  TraversalOptions m_options;
  LogLine m_log;
  std::unique_ptr<zellnet::Endpoint> m_socket;
  std::unique_ptr<zellnet::Window> m_window;
  std::mt19937 m_random;
  uint32_t m_nextId1;
  uint64_t m_nextOrder = 0;
  std::unordered_map<uint32_t, Client> m_clients;  // by ID half 1
  std::map<Address, uint32_t> m_byAddress;
  std::set<std::pair<uint64_t, uint32_t>> m_unconfirmed;  // (order, ID half 1)
  std::map<ConnectKey, Connect> m_connects;
  std::map<RelayKey, Relay> m_relays;
  uint64_t m_relayDropped = 0;
  zellnet::Tick m_lastFullLog = 0;
  uint64_t m_refusedSinceLog = 0;
};

}  // namespace vigil::hub
