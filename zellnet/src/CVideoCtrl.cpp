#include "zellnet/src/CVideoCtrl.h"

#include <algorithm>
#include <cstring>

#include "zellnet/src/CEnVideoDlg.h"
#include "zellnet/src/CLinkSocket.h"

namespace zellnet {

namespace {
constexpr int kReceiveWindow = 30;
}  // namespace

CVideoCtrl::CVideoCtrl(CLinkSocket& owner, Runtime& runtime)
    : m_owner(owner),
      m_runtime(runtime),
      m_sendSlots(256 * kSlotSize),
      m_receiveSlots(256 * kMaxSegmentPayload) {}

std::unique_ptr<CVideoCtrl> CVideoCtrl::Create(CLinkSocket& owner, Runtime& runtime) {
  std::unique_ptr<CVideoCtrl> link(new CVideoCtrl(owner, runtime));
  link->m_pWindow = runtime.CreateWindow([p = link.get()](int id) { p->OnTimer(id); });
  if (!link->m_pWindow) return nullptr;
  return link;
}

void CVideoCtrl::Shut() {
  for (int id : {kProbeTimer, kScanTimer, kSendTimer}) m_pWindow->StopTimer(id);
  m_bEstablished = false;
}

bool CVideoCtrl::Alive() const { return m_owner.IsOpen() && m_owner.Link() == this; }

void CVideoCtrl::OnTimer(int id) {
  CEnVideoDlg::Dispatch dispatch(*m_owner.m_pOwner);
  try {
    switch (id) {
      case kProbeTimer: OnProbeTick(); break;
      case kScanTimer: OnScanTick(); break;
      case kSendTimer: SendTick(); break;
      default: break;
    }
  } catch (...) {
    // Out of memory during one tick: the next tick tries again.
  }
}

// --- sending ------------------------------------------------------------------------------

Bytes CVideoCtrl::Send(ByteSpan packet) {
  Bytes out = m_bRelay ? BuildEnvelope({m_dwA, m_dwC, m_dwB, m_dwD, packet}) : Bytes(packet.begin(), packet.end());
  m_owner.SendTo(m_strDestHost, m_nDestPort, out);
  return out;
}

void CVideoCtrl::SendProbe(int port) {
  m_owner.SendTo(m_strDestHost, port, BuildProbe(static_cast<uint32_t>(port), m_dwA));
}

void CVideoCtrl::SendUnreliable(ByteSpan message) { Send(message); }

void CVideoCtrl::SendStopNotice() {
  if (m_nDestPort == 0) return;
  // Never resent, so it goes twice: one lost datagram would otherwise leave the peer
  // waiting half a minute for the silence rule.
  const Bytes stop = Send(BuildSegment(m_nNextSend, BuildStopRecord()));
  m_owner.SendTo(m_strDestHost, m_nDestPort, stop);
}

void CVideoCtrl::SendSegment(ByteSpan chunk, Tick now) {
  const Bytes packet = Send(BuildSegment(m_nNextSend, chunk));
  const auto slot = static_cast<uint8_t>(m_nNextSend);
  std::copy(packet.begin(), packet.end(), m_sendSlots.begin() + slot * static_cast<ptrdiff_t>(kSlotSize));
  m_sendLength[slot] = static_cast<uint16_t>(packet.size());
  m_sendWindow.MarkSent(slot, now);
  m_nNextSend = static_cast<uint16_t>(m_nNextSend + 1);
  m_dwTotalSent += static_cast<uint32_t>(packet.size());
  m_dwLastSend = now;
  StatAt(m_sentPerTick) += static_cast<uint32_t>(packet.size());
  m_nSentSum += packet.size();
}

void CVideoCtrl::Retransmit(uint8_t slot, Tick now) {
  m_owner.SendTo(m_strDestHost, m_nDestPort,
                 ByteSpan(m_sendSlots).subspan(slot * kSlotSize, m_sendLength[slot]));
  m_sendWindow.MarkResent(now);
  ++StatAt(m_retransPerTick);
  ++m_nRetransSum;
  m_dwLastSend = now;
}

void CVideoCtrl::SendTick() {
  if (!m_bEstablished) return;
  const Tick now = m_runtime.Now();
  ++m_dwTick;
  for (auto [counters, sum] : {std::pair{&m_sentPerTick, &m_nSentSum}, std::pair{&m_ackedPerTick, &m_nAckedSum},
                               std::pair{&m_retransPerTick, &m_nRetransSum}}) {
    *sum -= StatAt(*counters);
    StatAt(*counters) = 0;
  }
  const uint64_t n = std::min<uint32_t>(m_dwTick, kStatTicks);
  const int64_t sentRate = static_cast<int64_t>(m_nSentSum * 15 / n);
  const int64_t ackedRate = static_cast<int64_t>(m_nAckedSum * 15 / n);
  if (m_dwTick > static_cast<uint32_t>(kStatTicks)) {
    if (m_nSendLimit == 0) {
      m_nSendLimit = static_cast<int64_t>(static_cast<float>(ackedRate) * 1.05f);
    } else {
      if (static_cast<float>(ackedRate) * 1.3f < static_cast<float>(sentRate))
        m_nSendLimit = (sentRate + ackedRate) / 2;
      else if (static_cast<float>(m_nSendLimit) < static_cast<float>(ackedRate) * 1.05f)
        m_nSendLimit = static_cast<int64_t>(static_cast<float>(ackedRate) * 1.05f);
      if (sentRate > m_nSendLimit && m_nRetransSum > 30) {
        if (MoreThanAfter(now, m_dwLastReceive, kBrakeSilence_ms)) LinkLost();
        return;
      }
    }
  }
  const CUdpThread::Work work = m_sendWindow.AskForWork(now);
  switch (work.kind) {
    case CUdpThread::WorkKind::kNothing: return;
    case CUdpThread::WorkKind::kRetransmit:
      if (work.count > kMaxTransmissions) return LinkLost();
      return Retransmit(work.slot, now);
    case CUdpThread::WorkKind::kNewData: break;
  }
  ByteSpan chunk;
  switch (m_owner.PullForSending(m_sendWindow.span() != 0, chunk)) {
    case CLinkSocket::Pull::kClosed: return;
    case CLinkSocket::Pull::kChunk: return SendSegment(chunk, now);
    case CLinkSocket::Pull::kNothing: break;
  }
  if (MoreThanAfter(now, m_dwLastSend, kKeepAliveAfter_ms) && MoreThanAfter(now, m_dwLastReceive, kKeepAliveAfter_ms)) {
    if (MoreThanAfter(now, m_dwLastReceive, kSilenceLimit_ms)) return LinkLost();
    Send(BuildLinkKeepAlive(false));
    m_dwLastSend = now;
  }
}

void CVideoCtrl::LinkLost() {
  m_bEstablished = false;
  m_owner.m_pOwner->OnLinkEnded(m_owner);
}

// --- set-up -------------------------------------------------------------------------------

void CVideoCtrl::ProbeBase(const std::string& host, int port, uint32_t b, uint32_t a) {
  m_strDestHost = host;
  m_nDestPort = port;
  m_dwB = b;
  m_dwA = a;
  SendProbe(port);
  m_pWindow->StartTimer(kProbeTimer, kProbePeriod_ms);
  m_nProbeTicks = 0;
}

void CVideoCtrl::StartScan(const std::string& host, int port, uint32_t b, uint32_t a) {
  if (m_nScanOffset != 0 || m_bEstablished) return;
  m_strDestHost = host;
  m_nDestPort = port;
  m_dwB = b;
  m_dwA = a;
  m_pWindow->StartTimer(kScanTimer, kScanPeriod_ms);
}

void CVideoCtrl::OnProbeTick() {
  if (++m_nProbeTicks >= kProbeTicks) {
    m_pWindow->StopTimer(kProbeTimer);
    if (!m_bEstablished) m_owner.m_pOwner->OnLinkFailure(m_owner);
    return;
  }
  if (!m_bEstablished) SendProbe(m_nDestPort);
}

void CVideoCtrl::OnScanTick() {
  if (m_bEstablished) {
    m_pWindow->StopTimer(kScanTimer);
    return;
  }
  int s = m_nScanOffset;
  if (s > kScanReach) {
    s = -1;
  } else if (s < -kScanReach) {
    m_pWindow->StopTimer(kScanTimer);
    m_pWindow->StopTimer(kProbeTimer);
    m_nScanOffset = 0;
    m_owner.m_pOwner->OnLinkFailure(m_owner);
    return;
  } else {
    SendProbe(m_nDestPort + s);
    s = s >= 0 ? s + 1 : s - 1;
  }
  m_nScanOffset = s;
}

void CVideoCtrl::SwitchToRelay(const std::string& server, uint32_t peerIp, uint32_t peerPort, uint32_t ownIp,
                               uint32_t ownPort) {
  if (m_bEstablished) return;
  m_strDestHost = server;
  m_nDestPort = kServerPort;
  m_dwA = peerIp;
  m_dwC = peerPort;
  m_dwB = ownIp;
  m_dwD = ownPort;
  m_bRelay = true;
  BecomeEstablished(m_runtime.Now());
}

void CVideoCtrl::BecomeEstablished(Tick lastReceive) {
  m_pWindow->StartTimer(kSendTimer, kSendPeriod_ms);
  m_dwLastReceive = lastReceive;
  m_bEstablished = true;
  m_pWindow->StopTimer(kProbeTimer);
}

// --- receiving ------------------------------------------------------------------------------

bool CVideoCtrl::FromDestination() const {
  return m_owner.m_nSenderPort == m_nDestPort && m_owner.m_strSenderHost == m_strDestHost;
}

bool CVideoCtrl::OnDatagram(ByteSpan datagram) { return Dispatch(datagram, false); }

bool CVideoCtrl::Dispatch(ByteSpan packet, bool inEnvelope) {
  switch (packet[1]) {
    case cmd::kSegment: return OnSegment(packet);
    case cmd::kAlive: return OnKeepAlive(packet);
    case cmd::kAck: return OnAck(packet);
    case cmd::kDatagram:
      // Only the peer's datagrams: from the link destination, or relayed by the server.
      if (!inEnvelope && !FromDestination()) return false;
      m_owner.m_pOwner->OnLinkData(packet);
      return true;
    case cmd::kEnvelope: return !inEnvelope && OnEnvelope(packet);
    case cmd::kProbe: return !inEnvelope && OnProbe(packet);
    case cmd::kProbeAnswer: return !inEnvelope && OnProbeAnswer(packet, m_owner.m_strSenderHost);
    default: return false;
  }
}

bool CVideoCtrl::OnEnvelope(ByteSpan datagram) {
  if (!m_bRelay || !m_bEstablished || !FromDestination()) return false;
  auto envelope = ParseEnvelope(datagram);
  if (!envelope || envelope->dstIp != m_dwB || envelope->srcIp != m_dwA || !AcceptDatagram(envelope->inner))
    return false;
  return Dispatch(envelope->inner, true);
}

bool CVideoCtrl::OnProbe(ByteSpan datagram) {
  auto probe = ParseProbe(datagram);
  if (m_bEstablished || !probe || probe->tag != kProbeTag || probe->id != m_dwB) return false;
  const Tick now = m_runtime.Now();
  const std::string host = m_owner.m_strSenderHost;
  const int port = m_owner.m_nSenderPort;
  const Bytes answer = BuildProbeAnswer(static_cast<uint8_t>(m_nNextSend), probe->port, m_dwA);
  m_strDestHost = host;
  m_nDestPort = port;
  Send(answer);
  // The first segment carries the answer again, so it arrives even when the bare one is lost.
  SendSegment(answer, now);  // the byte counters start with its 17 bytes
  BecomeEstablished(now - 1000);
  m_owner.m_pOwner->OnLinkUp(m_owner);
  return true;
}

bool CVideoCtrl::OnProbeAnswer(ByteSpan datagram, const std::string& senderHost) {
  auto answer = ParseProbe(datagram);
  if (m_bEstablished || !answer || answer->id != m_dwB) return false;
  m_pWindow->StopTimer(kScanTimer);
  m_strDestHost = senderHost;
  m_nDestPort = static_cast<int>(answer->port);
  BecomeEstablished(m_runtime.Now());
  m_owner.m_pOwner->OnLinkUp(m_owner);
  return true;
}

bool CVideoCtrl::OnSegment(ByteSpan datagram) {
  auto segment = ParseSegment(datagram);
  if (!segment) return false;
  if (!m_bEstablished) {
    // Only the first segment of a side that answered our probe: it carries that answer.
    const ByteSpan p = segment->payload;
    if (segment->seq != 0 || p.size() != 12 || p[0] != 0 || p[1] != cmd::kProbeAnswer) return false;
    m_owner.SendTo(m_owner.m_strSenderHost, m_owner.m_nSenderPort, BuildAck(0));
    if (!OnProbeAnswer(p, m_owner.m_strSenderHost)) return false;
    m_nNextReceive = 1;
    return true;
  }
  if (m_owner.m_nSenderPort != m_nDestPort) return false;
  uint32_t s = segment->seq;
  if (s < m_nNextReceive) s += 65536;
  Send(BuildAck(segment->seq));
  if (s > m_nNextReceive + static_cast<uint32_t>(kReceiveWindow)) return true;
  m_dwLastReceive = m_runtime.Now();
  const auto l = static_cast<uint8_t>(segment->seq);
  if (m_bOccupied[l]) return true;
  m_bOccupied[l] = true;
  m_receiveLength[l] = static_cast<uint16_t>(segment->payload.size());
  std::copy(segment->payload.begin(), segment->payload.end(),
            m_receiveSlots.begin() + l * static_cast<ptrdiff_t>(kMaxSegmentPayload));
  if (l != static_cast<uint8_t>(m_nNextReceive)) return true;
  uint8_t slot = l;
  for (int delivered = 0; delivered < kReceiveWindow && m_bOccupied[slot]; ++delivered, ++slot) {
    m_bOccupied[slot] = false;
    m_nNextReceive = static_cast<uint16_t>(m_nNextReceive + 1);
    if (!m_owner.FeedStream(ByteSpan(m_receiveSlots).subspan(slot * kMaxSegmentPayload, m_receiveLength[slot])))
      return true;
  }
  return true;
}

bool CVideoCtrl::OnAck(ByteSpan datagram) {
  auto seq = ParseAck(datagram);
  if (!seq || !m_bEstablished || !FromDestination() || !m_sendWindow.Acknowledge(*seq)) return false;
  m_dwLastReceive = m_runtime.Now();
  const auto slot = static_cast<uint8_t>(*seq);
  StatAt(m_ackedPerTick) += m_sendLength[slot];
  m_nAckedSum += m_sendLength[slot];
  const bool caughtUp = m_nSentSum == 0 || (m_nAckedSum * 100 + m_nSentSum / 2) / m_nSentSum >= 95;
  if (caughtUp) SendTick();
  return true;
}

bool CVideoCtrl::OnKeepAlive(ByteSpan datagram) {
  if (!m_bEstablished || !FromDestination()) return false;
  const Tick now = m_runtime.Now();
  if (datagram[0] == 0 && MoreThanAfter(now, m_dwLastSend, kKeepAliveAfter_ms)) {
    Send(BuildLinkKeepAlive(true));
    m_dwLastSend = now;
  }
  m_dwLastReceive = now;
  return true;
}

}  // namespace zellnet
