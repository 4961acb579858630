// The link object of one link socket: hole punching (base-address probes on timer 99, the
// port scan on timer 100), the relay switch, and the data channel (numbered segments with
// acknowledgements and resends, run by the send tick on timer 101). Link packets go
// directly to the link destination, or inside relay envelopes to the server.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zellnet/src/CUdpThread.h"
#include "zellnet/src/Runtime.h"

namespace zellnet {

class CLinkSocket;

class CVideoCtrl {
 public:
  static constexpr int kProbeTimer = 99;
  static constexpr int kScanTimer = 100;
  static constexpr int kSendTimer = 101;
  static constexpr uint32_t kProbePeriod_ms = 5000;
  static constexpr int kProbeTicks = 5;
  static constexpr uint32_t kScanPeriod_ms = 50;
  static constexpr int kScanReach = 200;
  static constexpr uint32_t kSendPeriod_ms = 100;
  static constexpr int kStatTicks = 300;
  static constexpr size_t kSlotSize = 1005;  // 980 payload + segment header + relay envelope
  static constexpr uint32_t kKeepAliveAfter_ms = 8000;
  static constexpr uint32_t kSilenceLimit_ms = 30000;
  static constexpr uint32_t kBrakeSilence_ms = 10000;
  static constexpr uint32_t kMaxTransmissions = 10;

  // Null when its hidden window cannot be made.
  static std::unique_ptr<CVideoCtrl> Create(CLinkSocket& owner, Runtime& runtime);

  // --- set-up ---
  void ProbeBase(const std::string& host, int port, uint32_t b, uint32_t a);
  void StartScan(const std::string& host, int port, uint32_t b, uint32_t a);
  // Carries the link through the server from now on (unless it is up already).
  void SwitchToRelay(const std::string& server, uint32_t peerIp, uint32_t peerPort, uint32_t ownIp,
                     uint32_t ownPort);
  bool established() const { return m_bEstablished; }
  bool relayed() const { return m_bRelay; }
  const std::string& destHost() const { return m_strDestHost; }
  int destPort() const { return m_nDestPort; }

  // --- data ---
  // A datagram on the link socket; false when it is rejected.
  bool OnDatagram(ByteSpan datagram);
  void SendTick();
  // A single unreliable datagram to the link destination.
  void SendUnreliable(ByteSpan message);
  // The stop notice: one segment at the next send sequence, never resent.
  void SendStopNotice();
  // Stops every timer; the object stays until its socket is freed.
  void Shut();

  // Figures for tests and diagnostics.
  uint32_t totalSent() const { return m_dwTotalSent; }
  const CUdpThread& window() const { return m_sendWindow; }
  uint16_t nextReceive() const { return m_nNextReceive; }
  uint32_t sendLimit() const { return static_cast<uint32_t>(m_nSendLimit); }

 private:
  CVideoCtrl(CLinkSocket& owner, Runtime& runtime);
  void OnTimer(int id);
  void OnProbeTick();
  void OnScanTick();
  bool Alive() const;  // false once the link socket was closed meanwhile

  bool OnProbe(ByteSpan datagram);
  bool OnProbeAnswer(ByteSpan datagram, const std::string& senderHost);
  bool OnSegment(ByteSpan datagram);
  bool OnAck(ByteSpan datagram);
  bool OnKeepAlive(ByteSpan datagram);
  bool OnEnvelope(ByteSpan datagram);
  bool Dispatch(ByteSpan packet, bool inEnvelope);
  bool FromDestination() const;

  // Wraps `packet` in an envelope in relay mode, sends it to the link destination and
  // returns what was sent.
  Bytes Send(ByteSpan packet);
  void SendProbe(int port);
  // Sends a new segment around `chunk` and keeps it for resending.
  void SendSegment(ByteSpan chunk, Tick now);
  void Retransmit(uint8_t slot, Tick now);
  void BecomeEstablished(Tick lastReceive);
  void LinkLost();
  uint32_t& StatAt(std::array<uint32_t, kStatTicks>& counters) { return counters[m_dwTick % kStatTicks]; }

  CLinkSocket& m_owner;
  Runtime& m_runtime;
  std::unique_ptr<Window> m_pWindow;

  std::string m_strDestHost;
  int m_nDestPort = 0;
  bool m_bEstablished = false;
  bool m_bRelay = false;
  uint16_t m_nNextSend = 0;
  CUdpThread m_sendWindow;
  std::vector<uint8_t> m_sendSlots;  // 256 × kSlotSize
  std::array<uint16_t, 256> m_sendLength{};
  std::vector<uint8_t> m_receiveSlots;  // 256 × 980
  std::array<uint16_t, 256> m_receiveLength{};
  std::array<bool, 256> m_bOccupied{};
  uint16_t m_nNextReceive = 0;
  uint32_t m_dwA = 0, m_dwB = 0, m_dwC = 0, m_dwD = 0;
  uint32_t m_dwTotalSent = 0;
  // Rolling figures over the last 300 send ticks. Per-tick counters are 32-bit: one tick
  // can carry far more than 65,535 bytes when acknowledgements drive the sending.
  uint64_t m_nSentSum = 0, m_nAckedSum = 0, m_nRetransSum = 0;
  int64_t m_nSendLimit = 0;
  uint32_t m_dwTick = 0;
  std::array<uint32_t, kStatTicks> m_sentPerTick{}, m_ackedPerTick{}, m_retransPerTick{};
  int m_nScanOffset = 0;
  Tick m_dwLastSend = 0;
  Tick m_dwLastReceive = 0;
  int m_nProbeTicks = 0;
};

}  // namespace zellnet
