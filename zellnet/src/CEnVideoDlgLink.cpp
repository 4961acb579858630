// The instance's side of a peer link: the connect messages on the login socket, link up,
// punching failure and the relay switch, the end of a link, and the link's stream records.
#include <cstdio>

#include "zellnet/src/CEnVideoDlg.h"
#include "zellnet/src/StatusTexts.h"

namespace zellnet {

namespace {
constexpr uint8_t kEventConnected = NK_EVENT_CONNECTED;
constexpr uint8_t kEventDisconnected = NK_EVENT_DISCONNECTED;
constexpr size_t kStatusOffset = 28;
constexpr size_t kRequesterOffset = 4;
constexpr size_t kAddressOffset = 20;

bool Same(const IdPair& ids, uint32_t id1, uint32_t id2) { return ids.id1 == id1 && ids.id2 == id2; }
}  // namespace

void CEnVideoDlg::OnConnectRequest(ByteSpan datagram) {
  auto request = ParseSetup(datagram);
  if (!request) return;
  if (m_pPeer) {
    Bytes busy(datagram.begin(), datagram.end());
    busy[1] = cmd::kAnswer;
    busy[kStatusOffset] = status::kBusy;
    m_login.SendToDest(busy);
    return;
  }
  m_pPeer = std::make_unique<CLinkSocket>(*this);
  CLinkSocket& peer = *m_pPeer;
  peer.SetDestination(m_strServer, kServerPort);
  peer.m_dwPeerID1 = request->requester.id1;
  peer.m_dwPeerID2 = request->requester.id2;
  peer.m_strPeerName = request->name;
  // A socket that fails to open is not reported: the answer cannot leave and is given up.
  if (peer.OpenLink(m_runtime))
    peer.Link()->ProbeBase(DottedFromValue(request->ip), static_cast<int>(request->port), request->target.id1,
                           request->requester.id1);
  m_strStatus = text::kListening;
  SetupMessage answer = *request;
  answer.command = cmd::kAnswer;
  answer.status = status::kAccept;
  answer.name = m_strClientName;
  char local[40];
  std::snprintf(local, sizeof local, "%s:%x", m_strLocalIP.c_str(), static_cast<unsigned>(peer.LocalPort()));
  answer.localAddress = local;
  SendWithRetries(BuildSetup(answer), peer);
}

void CEnVideoDlg::OnConnectAnswer(ByteSpan datagram) {
  auto answer = ParseSetup(datagram);
  if (!answer || !m_pPeer || !Same(answer->target, m_pPeer->m_dwPeerID1, m_pPeer->m_dwPeerID2)) return;
  CLinkSocket& peer = *m_pPeer;
  Bytes confirm(datagram.begin(), datagram.end());
  confirm[1] = cmd::kConfirm;
  WriteU32(confirm, kRequesterOffset, m_dwID1);
  if (m_bAllowRelay) {
    peer.m_dwPeerPublicIP = answer->ip;
    peer.m_dwPeerPublicPort = answer->port;
  } else {
    WriteU32(confirm, kAddressOffset, 0);
  }
  peer.SendToDest(confirm);
  if (!m_pending.RemoveByCommandAndSeq(cmd::kConnect, answer->seq)) return;  // a repeated answer
  if (answer->status != status::kAccept) {
    switch (answer->status) {
      case status::kBusy: m_strStatus = text::kPeerBusy; break;
      case status::kRefused: m_strStatus = text::kPeerRefused; break;
      case status::kOffline: m_strStatus = text::kPeerOffline; break;
      default: m_strStatus = text::kRequestFailed; break;
    }
    DropPeer();
    return;
  }
  peer.m_strPeerName = answer->name;
  CVideoCtrl* link = peer.Link();
  if (const size_t colon = answer->localAddress.find(':'); colon != std::string::npos)
    link->ProbeBase(answer->localAddress.substr(0, colon),
                    static_cast<int>(ReadHex(std::string_view(answer->localAddress).substr(colon + 1))), m_dwID1,
                    answer->target.id1);
  link->StartScan(DottedFromValue(answer->ip), static_cast<int>(answer->port), m_dwID1, answer->target.id1);
  m_strStatus = text::kConnectStarted;
}

void CEnVideoDlg::OnConnectConfirm(ByteSpan datagram) {
  auto confirm = ParseSetup(datagram);
  if (!confirm || !m_pPeer || !m_pending.RemoveByCommandAndSeq(cmd::kAnswer, confirm->seq)) return;
  if (Same(confirm->requester, m_pPeer->m_dwPeerID1, m_pPeer->m_dwPeerID2) && confirm->ip != 0) {
    m_pPeer->m_dwPeerPublicIP = confirm->ip;
    m_pPeer->m_dwPeerPublicPort = confirm->port;
  }
}

void CEnVideoDlg::OnLinkUp(CLinkSocket& link) {
  if (&link != m_pPeer.get()) return;
  link.m_bActive = true;
  m_strStatus = text::kLinkUp;
  link.AppendOutgoing(BuildHelloRecord());
  RaiseEvent(kEventConnected);
}

void CEnVideoDlg::OnLinkFailure(CLinkSocket& link) {
  if (&link != m_pPeer.get()) return;
  link.m_bActive = true;
  if (link.m_dwPeerPublicIP == 0) {
    m_strStatus = text::kPunchFailed;
    DropPeer();
    RaiseEvent(kEventDisconnected);
    return;
  }
  link.Link()->SwitchToRelay(m_strServer, link.m_dwPeerPublicIP, link.m_dwPeerPublicPort, m_dwPublicIP,
                             m_dwPublicPort);
  OnLinkUp(link);
}

void CEnVideoDlg::OnLinkEnded(CLinkSocket& link) {
  if (&link == m_pPeer.get()) DropPeer();
}

void CEnVideoDlg::OnLinkData(ByteSpan message) { DeliverData(message); }

bool CEnVideoDlg::OnStreamRecord(CLinkSocket& link, ByteSpan record) {
  switch (record[1]) {
    case cmd::kDatagram:
    case cmd::kRecord: DeliverData(record); return true;
    case cmd::kStop:
      if (&link != m_pPeer.get()) return false;
      link.CloseLink();  // answers with a stop notice of its own
      m_strStatus = text::kStopped;
      DropPeer();
      RaiseEvent(kEventDisconnected);
      return false;
    default:
      // The hello record, and control messages that only the server may send.
      return true;
  }
}

void CEnVideoDlg::DropPeer() {
  if (!m_pPeer) return;
  m_pending.ForgetEndpoint(m_pPeer.get());
  m_pPeer->CloseLink();
  Bury(std::move(m_pPeer));
  RaiseEvent(kEventDisconnected);
}

void CEnVideoDlg::Bury(std::unique_ptr<CLinkSocket> link) {
  if (m_nDispatchDepth > 0) m_graveyard.push_back(std::move(link));
}

}  // namespace zellnet
