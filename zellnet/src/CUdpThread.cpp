#include "zellnet/src/CUdpThread.h"

namespace zellnet {

void CUdpThread::MarkSent(uint8_t slot, Tick now) {
  m_bInFlight[slot] = true;
  m_dwLastSend[slot] = now;
  m_nRetry[slot] = 0;
  ++m_nSpan;
}

void CUdpThread::Step() {
  const auto b = static_cast<uint8_t>(m_nBase);
  const auto e = static_cast<uint8_t>(b + m_nSpan);
  ++m_nCursor;
  if (m_nCursor == e) m_nCursor = b;
}

CUdpThread::Work CUdpThread::AskForWork(Tick now) {
  // An in-flight slot that is not due costs two units of the budget, any other slot one.
  for (int k = 0; k < m_nSpan;) {
    if (m_bInFlight[m_nCursor]) {
      if (MoreThanAfter(now, m_dwLastSend[m_nCursor], kResendAfter_ms))
        return {WorkKind::kRetransmit, m_nCursor, m_nRetry[m_nCursor] + 1u};
      ++k;
    }
    Step();
    ++k;
  }
  if (!m_bInFlight[m_nCursor] && m_nSpan != 0)
    for (int moves = 0; moves < m_nSpan && !m_bInFlight[m_nCursor]; ++moves) Step();
  return {m_nSpan >= kWindow ? WorkKind::kNothing : WorkKind::kNewData, 0, 0};
}

void CUdpThread::MarkResent(Tick now) {
  m_dwLastSend[m_nCursor] = now;
  ++m_nRetry[m_nCursor];
  for (int moves = 0; moves < m_nSpan - 1; ++moves) {
    Step();
    if (m_bInFlight[m_nCursor]) break;
  }
}

bool CUdpThread::Acknowledge(uint16_t seq) {
  const auto l = static_cast<uint8_t>(seq & 0xff);
  uint32_t s = seq;
  if (s < m_nBase) s += 65536;
  if (s > m_nBase + static_cast<uint32_t>(kWindow) || !m_bInFlight[l]) return false;
  m_bInFlight[l] = false;
  m_nRetry[l] = 0;
  if (l == static_cast<uint8_t>(m_nBase)) {
    uint8_t slot = l;
    while (m_nSpan > 0 && !m_bInFlight[slot]) {
      --m_nSpan;
      m_nBase = static_cast<uint16_t>(m_nBase + 1);
      ++slot;
    }
    if (m_nSpan > 0) m_nCursor = slot;
  }
  return true;
}

}  // namespace zellnet
