// The traversal server's part in peer links: the connect messages 'j', 'm' and 'l' pass
// between the two clients' login sockets with the public address of the sender's link
// socket filled in, and relay envelopes pass between the two link sockets of a link whose
// requester allowed relaying.
#include <algorithm>
#include <cstdio>

#include "hub/TraversalServer.h"

namespace vigil::hub {

using namespace zellnet;

namespace {
constexpr size_t kAddressOffset = 20;
constexpr size_t kPortOffset = 24;
constexpr size_t kStatusOffset = 28;
// A repeated request is passed on again only this long after the last time: the target
// resends its own answer, and a second request would find it busy with the first.
constexpr uint32_t kForwardAgainAfter_ms = 3000;
constexpr uint32_t kConnectKept_ms = 60000;

Bytes WithAddress(ByteSpan datagram, uint32_t ip, uint32_t port) {
  Bytes out(datagram.begin(), datagram.end());
  WriteU32(out, kAddressOffset, ip);
  WriteU32(out, kPortOffset, port);
  return out;
}

std::string Text(uint32_t ip, uint16_t port) { return DottedFromValue(ip) + ":" + std::to_string(port); }
}  // namespace

void TraversalServer::OnConnect(ByteSpan datagram, const Address& from) {
  auto request = ParseSetup(datagram);
  if (!request) return;
  const Client* requester = Find(request->requester);
  if (!requester) return;  // only logged-in clients may ask
  const Address requesterLogin{requester->ip, requester->port};
  const Tick now = m_runtime.Now();
  auto [it, fresh] = m_connects.try_emplace(ConnectKey{request->requester.id1, request->seq, request->target.id1});
  Connect& c = it->second;
  if (fresh) {
    c.requesterLink = from;
    c.created = now;
  }
  if (!c.answer.empty()) {
    Send(requesterLogin, c.answer);  // the answer was lost on its way to the requester
    return;
  }
  const Client* target = Find(request->target);
  if (!target) {
    Bytes offline = WithAddress(datagram, 0, 0);
    offline[1] = cmd::kAnswer;
    offline[kStatusOffset] = status::kOffline;
    Send(requesterLogin, offline);
    return;
  }
  if (!fresh && c.forwarded != 0 && !AtLeastAfter(now, c.forwarded, kForwardAgainAfter_ms)) return;
  if (fresh) {
    char line[96];
    std::snprintf(line, sizeof line, "connect %x@%x -> %x@%x", request->requester.id1, request->requester.id2,
                  request->target.id1, request->target.id2);
    m_log(line);
  }
  c.forwarded = now == 0 ? 1 : now;
  Send({target->ip, target->port}, WithAddress(datagram, from.first, from.second));
}

void TraversalServer::OnAnswer(ByteSpan datagram, const Address& from) {
  auto answer = ParseSetup(datagram);
  if (!answer) return;
  auto it = m_connects.find(ConnectKey{answer->requester.id1, answer->seq, answer->target.id1});
  const Client* requester = Find(answer->requester);
  if (it == m_connects.end() || !requester || !Find(answer->target)) return;
  Connect& c = it->second;
  if (answer->status == status::kAccept) c.targetLink = from;
  c.answer = WithAddress(datagram, from.first, from.second);
  Send({requester->ip, requester->port}, c.answer);
}

void TraversalServer::OnConfirm(ByteSpan datagram, const Address& from) {
  auto confirm = ParseSetup(datagram);
  if (!confirm) return;
  auto it = m_connects.find(ConnectKey{confirm->requester.id1, confirm->seq, confirm->target.id1});
  const Client* target = Find(confirm->target);
  if (it == m_connects.end() || !target || from != it->second.requesterLink) return;
  const Connect& c = it->second;
  // Address 0: the requester allows no relay. Otherwise the target relays to the socket
  // that confirmed, and the two link sockets may use the relay.
  const bool relay = confirm->ip != 0 && c.targetLink.second != 0;
  if (relay) {
    auto [r, fresh] = m_relays.try_emplace(KeyOf(c.requesterLink, c.targetLink));
    r->second.lastUsed = r->second.refilled = m_runtime.Now();
    if (fresh) {
      r->second.tokens = m_options.relayBytesPerSecond;
      m_log("relay ready " + Text(c.requesterLink.first, c.requesterLink.second) + " <-> " +
            Text(c.targetLink.first, c.targetLink.second));
    }
  }
  Send({target->ip, target->port}, relay ? WithAddress(datagram, from.first, from.second) : WithAddress(datagram, 0, 0));
}

void TraversalServer::OnEnvelope(ByteSpan datagram, const Address& from) {
  auto envelope = ParseEnvelope(datagram);
  if (!envelope || envelope->dstPort > 65535) return;
  const Address to{envelope->dstIp, static_cast<uint16_t>(envelope->dstPort)};
  auto it = m_relays.find(KeyOf(from, to));
  if (it == m_relays.end()) return;  // relays only between the two ends of a confirmed link
  if (!TakeRelayBytes(it->second, datagram.size())) {
    ++m_relayDropped;
    return;
  }
  Send(to, Bytes(datagram.begin(), datagram.end()));
}

bool TraversalServer::TakeRelayBytes(Relay& relay, size_t bytes) {
  const Tick now = m_runtime.Now();
  const double rate = m_options.relayBytesPerSecond;
  // A bucket of one second's bytes: short bursts pass, a steady excess is dropped.
  relay.tokens = std::min(rate, relay.tokens + rate * ElapsedMs(now, relay.refilled) / 1000.0);
  relay.refilled = now;
  relay.lastUsed = now;
  if (relay.tokens < static_cast<double>(bytes)) return false;
  relay.tokens -= static_cast<double>(bytes);
  return true;
}

void TraversalServer::ExpireLinks(Tick now) {
  std::erase_if(m_connects, [&](const auto& entry) { return MoreThanAfter(now, entry.second.created, kConnectKept_ms); });
  std::erase_if(m_relays, [&](const auto& entry) {
    return MoreThanAfter(now, entry.second.lastUsed, m_options.relayIdle_ms);
  });
}

}  // namespace vigil::hub
