#include "zellnet/src/CLinkSocket.h"

#include <algorithm>

#include "zellnet/src/CEnVideoDlg.h"

namespace zellnet {

CLinkSocket::CLinkSocket(CEnVideoDlg& owner) : m_outgoing(kStreamBuffer) {
  m_pOwner = &owner;
  m_nMode = 2;
}

CLinkSocket::~CLinkSocket() = default;

bool CLinkSocket::OpenLink(Runtime& runtime) {
  if (!Open(runtime)) return false;
  m_pLink = CVideoCtrl::Create(*this, runtime);
  if (!m_pLink) {
    Close();
    return false;
  }
  m_nOutCount = m_nOutRead = 0;
  return true;
}

void CLinkSocket::CloseLink() {
  if (m_pLink) {
    m_pLink->SendStopNotice();
    m_pLink->Shut();
    m_pShutLink = std::move(m_pLink);
  }
  m_nOutCount = m_nOutRead = 0;
  m_reassembly.Reset();
  Close();
}

bool CLinkSocket::HandleDatagram(ByteSpan datagram) {
  if (!m_pLink) return false;
  m_pLink->OnDatagram(datagram);
  return IsOpen();
}

CLinkSocket::Pull CLinkSocket::PullForSending(bool inFlight, ByteSpan& chunk) {
  if (m_nOutRead >= m_nOutCount) {
    if (!m_bActive) {
      if (inFlight) return Pull::kNothing;
      CloseLink();
      m_pOwner->OnLinkEnded(*this);
      return Pull::kClosed;
    }
    m_nOutCount = m_nOutRead = 0;
    CEnThreadData& ring = m_pOwner->SendRing();
    while (auto n = ring.PopRaw(std::span(m_outgoing).subspan(m_nOutCount))) m_nOutCount += *n;
    if (m_nOutCount == 0) return Pull::kNothing;
  }
  const size_t n = std::min(kMaxSegmentPayload, m_nOutCount - m_nOutRead);
  chunk = ByteSpan(m_outgoing).subspan(m_nOutRead, n);
  m_nOutRead += n;
  if (m_nOutRead == m_nOutCount) m_nOutRead = m_nOutCount = 0;  // `chunk` stays readable
  return Pull::kChunk;
}

void CLinkSocket::AppendOutgoing(ByteSpan record) {
  if (record.size() > kStreamBuffer - m_nOutCount) return;
  std::copy(record.begin(), record.end(), m_outgoing.begin() + static_cast<ptrdiff_t>(m_nOutCount));
  m_nOutCount += record.size();
}

bool CLinkSocket::FeedStream(ByteSpan bytes) {
  return m_reassembly.Feed(bytes, [this](ByteSpan record) {
    return m_pOwner->OnStreamRecord(*this, record) && IsOpen() && !m_pOwner->Ended();
  });
}

}  // namespace zellnet
