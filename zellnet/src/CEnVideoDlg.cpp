#include "zellnet/src/CEnVideoDlg.h"

#include <cstdio>
#include <cstring>

#include "zellnet/src/StatusTexts.h"

namespace zellnet {

namespace {
constexpr uint8_t kEventLogin = NK_EVENT_LOGIN;
constexpr uint8_t kEventLogout = NK_EVENT_LOGOUT;
constexpr size_t kSerialBytes = 16;
constexpr int kMaxDatagramSend = 200000;
}  // namespace

CEnVideoDlg::CEnVideoDlg(Runtime& runtime, NKCallback callback, uintptr_t userData)
    : m_pfnCallback(callback), m_dwUserData(userData), m_strStatus(text::kNotLoggedIn), m_runtime(runtime) {}

CEnVideoDlg::~CEnVideoDlg() { EndInstance(); }

std::unique_ptr<CEnVideoDlg> CEnVideoDlg::Create(Runtime& runtime, NKCallback callback, uintptr_t userData) {
  std::unique_ptr<CEnVideoDlg> dlg(new CEnVideoDlg(runtime, callback, userData));
  dlg->m_window = runtime.CreateWindow([p = dlg.get()](int id) { p->OnWindowTimer(id); });
  if (!dlg->m_window) return nullptr;
  return dlg;
}

void CEnVideoDlg::Destroy(std::unique_ptr<CEnVideoDlg> dlg) {
  if (!dlg) return;
  dlg->EndInstance();
  // Inside a notification of this instance the outermost Dispatch takes over the ownership.
  if (dlg->m_nDispatchDepth > 0) {
    dlg->m_bFreeWhenIdle = true;
    (void)dlg.release();
  }
}

CEnVideoDlg::Dispatch::~Dispatch() {
  if (--m_dlg.m_nDispatchDepth == 0) m_dlg.m_graveyard.clear();
  if (m_dlg.m_nDispatchDepth == 0 && m_dlg.m_bFreeWhenIdle)
    std::unique_ptr<CEnVideoDlg> owned(&m_dlg);  // handed over by Destroy
}

void CEnVideoDlg::EndInstance() {
  if (m_bEnded) return;
  m_bEnded = true;
  m_pfnCallback = nullptr;  // no event during destruction
  if (m_dwID1 != 0 && m_dwID2 != 0) m_login.SendToDest(BuildLogout({m_dwID1, m_dwID2}));
  if (m_pPeer) {
    m_pending.ForgetEndpoint(m_pPeer.get());
    m_pPeer->CloseLink();  // tells the peer
    Bury(std::move(m_pPeer));
  }
  m_window.reset();
  m_login.Close();
}

void CEnVideoDlg::RaiseEvent(int code) {
  if (m_pfnCallback) m_pfnCallback(nullptr, 0, static_cast<uint8_t>(code), m_dwUserData);
}

// --- exports --------------------------------------------------------------------------

int CEnVideoDlg::Login(const char* strIP, const char* strSerial) {
  if (!m_strServer.empty()) {
    m_strStatus = m_dwID1 != 0 ? text::kAlreadyConnected : text::kConnecting;
    return 0;
  }
  const std::string server = strIP ? strIP : "";
  if (server.empty()) return 0;
  // The token reads 16 key bytes, and the request must fit one datagram.
  if (!strSerial || ::strnlen(strSerial, kSerialBytes) < kSerialBytes || server.size() > kMaxServerName)
    return 0;
  m_strServer = server;
  m_login.m_pOwner = this;
  m_login.m_nMode = 2;
  m_login.Open(m_runtime);  // a failure shows as a login that times out
  m_login.SetDestination(m_strServer, kServerPort);
  m_strLocalIP = m_runtime.LocalIPv4();
  const auto seq = static_cast<uint8_t>(m_runtime.Now());
  m_nSeq = static_cast<uint8_t>(seq + 1);
  SendWithRetries(BuildLoginRequest(seq, server, strSerial), m_login);
  m_window->StartTimer(kLoginTimer, kLoginTimerPeriod_ms);
  m_strStatus = text::kLoggingIn;
  return 1;
}

int CEnVideoDlg::Connect(const char* strPeerID, int bAllowRelay) {
  if (m_pPeer) {
    m_strStatus = text::kLinkExists;
    return 0;
  }
  m_bAllowRelay = bAllowRelay != 0;
  const std::string id = strPeerID ? strPeerID : "";
  const size_t at = id.find('@');
  if (at == std::string::npos || at == 0) {
    m_strStatus = text::kBadPeerId;
    return 0;
  }
  const uint32_t id1 = ReadHex(std::string_view(id).substr(0, at));
  const uint32_t id2 = ReadHex(std::string_view(id).substr(at + 1));
  if (id1 == m_dwID1 && id2 == m_dwID2) {
    m_strStatus = text::kSelfConnect;
    return 0;
  }
  auto peer = std::make_unique<CLinkSocket>(*this);
  if (!peer->OpenLink(m_runtime)) {
    m_strStatus = text::kSocketFailed;
    return 0;
  }
  peer->SetDestination(m_strServer, kServerPort);
  peer->m_dwPeerID1 = id1;
  peer->m_dwPeerID2 = id2;
  m_pPeer = std::move(peer);
  SetupMessage request;
  request.seq = m_nSeq++;
  request.command = cmd::kConnect;
  request.requester = {m_dwID1, m_dwID2};
  request.target = {id1, id2};
  request.name = m_strClientName;
  SendWithRetries(BuildSetup(request), *m_pPeer);
  // Without a login the pending list would never be served and the link socket would
  // stay for good; the request is resent and given up like any other.
  if (m_dwID1 == 0) m_window->StartTimer(kLoginTimer, kLoginTimerPeriod_ms);
  return 1;
}

void CEnVideoDlg::StopChat() {
  if (m_pPeer) m_pPeer->m_bActive = false;  // the link ends once everything is acknowledged
}

const char* CEnVideoDlg::GetStatus(int nType) const {
  switch (nType) {
    case NK_STATUS_TEXT: return m_strStatus.c_str();
    case NK_STATUS_ONLINE:
      if (m_dwID1 != 0) return text::kWordOnline;
      return m_strServer.empty() ? text::kWordOffline : text::kWordWaiting;
    case NK_STATUS_ID: return m_strMyID.c_str();
    default: return nullptr;
  }
}

int CEnVideoDlg::IsFromServer() const {
  const CVideoCtrl* link = m_pPeer ? m_pPeer->Link() : nullptr;
  return link && !m_strServer.empty() && link->destHost() == m_strServer ? 1 : 0;
}

int CEnVideoDlg::SendData(const void* pBuf, int nLen, uint8_t nDataType, int bReliable) {
  if (nLen < 0 || (nLen > 0 && !pBuf)) return 0;
  const ByteSpan payload(static_cast<const uint8_t*>(pBuf), static_cast<size_t>(nLen));
  if (!bReliable) {
    CVideoCtrl* link = m_pPeer ? m_pPeer->Link() : nullptr;
    if (!link || nLen >= kMaxDatagramSend) return 0;
    link->SendUnreliable(BuildDatagram(nDataType, payload));
    return 1;
  }
  // A record above the stream's record limit could never leave the ring and would block
  // every later record, so it is refused here.
  if (payload.size() + kHeaderSize > kMaxRecordSize) return 0;
  const Bytes header = BuildDataRecord(nDataType, {});
  const uint8_t h[4] = {header[0], header[1], static_cast<uint8_t>(nLen & 0xff), static_cast<uint8_t>(nLen >> 8)};
  return m_sendRing.Push(h, payload) ? 1 : 0;
}

int CEnVideoDlg::ReadData(void* pBuf, int nBufSize) {
  if (pBuf && nBufSize > 0) {
    auto header = m_receiveRing.PopPayload({static_cast<uint8_t*>(pBuf), static_cast<size_t>(nBufSize)});
    if (header) return static_cast<int>((*header & 0xff) << 16 | (*header >> 16));
  }
  return m_pPeer ? 0 : -1;
}

// --- login socket ---------------------------------------------------------------------

void CEnVideoDlg::SendWithRetries(Bytes message, CXClient& endpoint) {
  endpoint.SendToDest(message);
  m_pending.Add(std::move(message), &endpoint, m_runtime.Now());
}

void CEnVideoDlg::OnLoginSocketDatagram(CXClient& from, ByteSpan datagram) {
  // Only the server talks to the login socket; anything else could take over the login.
  if (!from.SenderIsDestination()) return;
  switch (datagram[1]) {
    case cmd::kLogin: OnLoginAnswer(datagram); break;
    case cmd::kAlive: OnAlive(datagram); break;
    case cmd::kDatagram:
    case cmd::kRecord: DeliverData(datagram); break;
    case cmd::kConnect: OnConnectRequest(datagram); break;
    case cmd::kAnswer: OnConnectAnswer(datagram); break;
    case cmd::kConfirm: OnConnectConfirm(datagram); break;
    default: break;
  }
}

void CEnVideoDlg::OnLoginAnswer(ByteSpan datagram) {
  auto answer = ParseLoginAnswer(datagram);
  if (!answer || !m_pending.RemoveByCommandAndSeq(cmd::kLogin, answer->seq)) return;
  m_strServer = m_login.m_strSenderHost;
  switch (answer->kind) {
    case AnswerKind::kAccepted: {
      m_dwID1 = answer->id1;
      m_dwID2 = answer->id2;
      m_dwPublicPort = answer->publicPort;
      m_dwPublicIP = answer->publicIp;
      m_strStatus = text::kLoginOk;
      char id[24];
      std::snprintf(id, sizeof id, "%x@%x", m_dwID1, m_dwID2);
      m_strMyID = id;
      m_dwLastContact = m_runtime.Now();
      RaiseEvent(kEventLogin);
      break;
    }
    case AnswerKind::kTooOld:
      m_strStatus = text::kTooOld;
      m_strServer.clear();
      m_login.Close();
      break;
    case AnswerKind::kRefused:
      m_strStatus = text::kNewVersion;
      m_strServer.clear();
      m_login.Close();
      RaiseEvent(kEventLogout);
      break;
  }
}

void CEnVideoDlg::OnAlive(ByteSpan datagram) {
  if (m_dwID1 == 0) return;
  if (datagram[0] == kAliveTag) {
    // A server probe asks whether this client still lives.
    if (datagram.size() == kHeaderSize + 4 && ReadU32(datagram, 4) == m_dwID2) {
      m_dwLastContact = m_runtime.Now();
      m_login.SendToDest(BuildProbeReply({m_dwID1, m_dwID2}));
    }
    return;
  }
  m_dwLastContact = m_runtime.Now();
  m_pending.RemoveByCommandAndSeq(cmd::kAlive, static_cast<uint8_t>(datagram[0] - 1));
}

void CEnVideoDlg::DeliverData(ByteSpan message) {
  auto data = ParseData(message);
  if (!data) return;
  if (m_pfnCallback) {
    m_pfnCallback(data->payload.data(), static_cast<int>(data->payload.size()), data->type, m_dwUserData);
    return;
  }
  const auto n = static_cast<uint16_t>(data->payload.size());
  const uint8_t header[4] = {data->type, message[1], static_cast<uint8_t>(n & 0xff), static_cast<uint8_t>(n >> 8)};
  (void)m_receiveRing.Push(header, data->payload);  // a full ring drops the message
}

// --- timer ----------------------------------------------------------------------------

void CEnVideoDlg::OnWindowTimer(int id) {
  Dispatch dispatch(*this);
  try {
    if (id == kLoginTimer) OnLoginTimer();
  } catch (...) {
    // Out of memory during one tick: the next tick tries again.
  }
}

void CEnVideoDlg::OnLoginTimer() {
  const Tick now = m_runtime.Now();
  while (auto due = m_pending.NextDue(now)) {
    if (!due->giveUp) {
      due->entry.endpoint->SendToDest(due->entry.message);
      continue;
    }
    GiveUp(due->entry);
    if (m_bEnded) return;
  }
  if (m_dwID1 != 0 && m_dwID2 != 0 && MoreThanAfter(now, m_dwLastContact, kKeepAliveAfter_ms) &&
      !m_pending.HasCommand(cmd::kAlive))
    SendWithRetries(BuildKeepAlive({m_dwID1, m_dwID2}), m_login);
}

void CEnVideoDlg::GiveUp(const PendingEntry& entry) {
  switch (entry.message[1]) {
    case cmd::kAlive:
      m_window->StopTimer(kLoginTimer);
      m_login.Close();
      m_dwID1 = m_dwID2 = 0;
      m_strStatus = text::kOffline;
      m_strMyID.clear();
      m_strServer.clear();
      RaiseEvent(kEventLogout);
      break;
    case cmd::kLogin:
      m_strStatus = text::kLoginFailed;
      m_dwLastContact = m_runtime.Now();
      break;
    case cmd::kConnect:
    case cmd::kAnswer:
      if (!m_pPeer || entry.endpoint != m_pPeer.get()) break;
      m_strStatus = entry.message[1] == cmd::kConnect ? text::kConnectFailed : text::kListenFailed;
      DropPeer();
      break;
    default: break;
  }
}

}  // namespace zellnet
