// A link socket: the UDP endpoint of the instance's one peer link, with the peer's ID and
// relay address, the link object, and the two stream buffers of the data channel (the
// outgoing bytes cut into segments, the reassembly of received records).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zellnet/src/CVideoCtrl.h"
#include "zellnet/src/CXClient.h"

namespace zellnet {

class CLinkSocket final : public CXClient {
 public:
  static constexpr size_t kStreamBuffer = 65000;

  explicit CLinkSocket(CEnVideoDlg& owner);
  ~CLinkSocket() override;

  // Opens the UDP socket and creates the link object; false (nothing left open) on failure.
  bool OpenLink(Runtime& runtime);
  // Sends the stop notice when a link object exists, shuts the link object down, empties
  // both stream buffers and closes the socket. Repeating it does nothing.
  void CloseLink();
  CVideoCtrl* Link() { return m_pLink.get(); }
  const CVideoCtrl* Link() const { return m_pLink.get(); }

  enum class Pull { kChunk, kNothing, kClosed };
  // The next at most 980 outgoing bytes, refilled from the instance's send ring when the
  // buffer is used up. kClosed: the link ended gracefully (it was stopped and is drained).
  Pull PullForSending(bool inFlight, ByteSpan& chunk);
  void AppendOutgoing(ByteSpan record);
  // Received payload bytes in stream order; false once the link ended or the stream broke.
  bool FeedStream(ByteSpan bytes);

  uint32_t m_dwPeerID1 = 0;
  uint32_t m_dwPeerID2 = 0;
  uint32_t m_dwPeerPublicIP = 0;  // 0: no relay
  uint32_t m_dwPeerPublicPort = 0;
  std::string m_strPeerName;
  bool m_bActive = false;

 protected:
  bool HandleDatagram(ByteSpan datagram) override;

 private:
  std::unique_ptr<CVideoCtrl> m_pLink;
  std::unique_ptr<CVideoCtrl> m_pShutLink;  // kept while its own tick may still run
  StreamReassembler m_reassembly;
  std::vector<uint8_t> m_outgoing;
  size_t m_nOutCount = 0;
  size_t m_nOutRead = 0;
};

}  // namespace zellnet
