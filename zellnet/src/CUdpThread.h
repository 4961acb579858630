// The send window of one link (the name is historical; it is not a thread): which of the
// 256 sequence slots are in flight, how often each was resent and when, and where the
// search for the next due retransmission starts. At most 30 sequence numbers lie between
// the base and the next send sequence.
#pragma once

#include <array>
#include <cstdint>

#include "zellnet/src/Tick.h"

namespace zellnet {

class CUdpThread {
 public:
  static constexpr int kWindow = 30;
  static constexpr uint32_t kResendAfter_ms = 1500;

  enum class WorkKind { kNothing, kRetransmit, kNewData };
  struct Work {
    WorkKind kind = WorkKind::kNothing;
    uint8_t slot = 0;       // kRetransmit: the slot that is due
    uint32_t count = 0;     // kRetransmit: the transmission count it would reach
  };

  void Reset() { *this = CUdpThread(); }
  void MarkSent(uint8_t slot, Tick now);
  // A due retransmission, else whether the window has room for new data.
  Work AskForWork(Tick now);
  // The slot under the cursor was sent again.
  void MarkResent(Tick now);
  // True when the acknowledgement freed a slot in flight; slides the base past every
  // acknowledged slot at its front.
  bool Acknowledge(uint16_t seq);

  int span() const { return m_nSpan; }
  uint16_t base() const { return m_nBase; }
  bool InFlight(uint8_t slot) const { return m_bInFlight[slot]; }

 private:
  // One slot on, wrapping from the end of the window to its base.
  void Step();

  uint8_t m_nCursor = 0;
  std::array<bool, 256> m_bInFlight{};
  std::array<uint8_t, 256> m_nRetry{};
  std::array<Tick, 256> m_dwLastSend{};
  int m_nSpan = 0;
  uint16_t m_nBase = 0;
};

}  // namespace zellnet
