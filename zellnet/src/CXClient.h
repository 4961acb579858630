// A UDP endpoint of an instance: the login socket, and later each link socket. It keeps the
// destination it sends to and the sender of the last datagram, and runs the read loop.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "zellnet/src/Runtime.h"

namespace zellnet {

class CEnVideoDlg;

class CXClient {
 public:
  CXClient() = default;
  virtual ~CXClient() = default;
  CXClient(const CXClient&) = delete;
  CXClient& operator=(const CXClient&) = delete;

  // Opens a socket on an ephemeral port with read notifications; false on failure.
  bool Open(Runtime& runtime);
  void Close();
  bool IsOpen() const { return m_socket != nullptr; }
  uint16_t LocalPort() const { return m_socket ? m_socket->LocalPort() : 0; }

  void SetDestination(std::string host, int port);
  // Resolves the destination now (a name may change its address) and sends.
  bool SendToDest(ByteSpan bytes);
  // True when the last datagram came from the destination's address and port.
  bool SenderIsDestination() const;
  // Sends to any host (name or dotted text, resolved now) and port.
  bool SendTo(const std::string& host, int port, ByteSpan bytes);

  int m_nMode = 1;  // 2 once it belongs to an instance; only then are datagrams processed
  CEnVideoDlg* m_pOwner = nullptr;
  std::string m_strDestHost;
  int m_nDestPort = 0;
  std::string m_strSenderHost;
  int m_nSenderPort = 0;

 protected:
  // One datagram that passed the receiving rules; false ends this read loop. The login
  // socket hands it to the instance's message handler.
  virtual bool HandleDatagram(ByteSpan datagram);

 private:
  void OnReadable();
  void ReadLoop();

  Runtime* m_pRuntime = nullptr;
  std::unique_ptr<Endpoint> m_socket;
  std::optional<uint32_t> m_destIp;  // the destination's address at the last send
  uint32_t m_nOpenCount = 0;         // tells the read loop that its socket was replaced
};

}  // namespace zellnet
