#include "zellnet/src/CXClient.h"

#include <array>

#include "zellnet/src/CEnVideoDlg.h"

namespace zellnet {

bool CXClient::Open(Runtime& runtime) {
  Close();
  m_pRuntime = &runtime;
  ++m_nOpenCount;
  m_socket = runtime.OpenUdp([this] { OnReadable(); });
  return m_socket != nullptr;
}

void CXClient::Close() { m_socket.reset(); }

void CXClient::SetDestination(std::string host, int port) {
  m_strDestHost = std::move(host);
  m_nDestPort = port;
  m_destIp.reset();
}

bool CXClient::SendToDest(ByteSpan bytes) {
  if (!m_socket || m_nDestPort <= 0 || m_nDestPort > 65535) return false;
  m_destIp = m_pRuntime->Resolve(m_strDestHost);
  if (!m_destIp) return false;
  return m_socket->SendTo(DottedFromValue(*m_destIp), static_cast<uint16_t>(m_nDestPort), bytes);
}

bool CXClient::SendTo(const std::string& host, int port, ByteSpan bytes) {
  if (!m_socket || port <= 0 || port > 65535) return false;
  auto ip = m_pRuntime->Resolve(host);
  return ip && m_socket->SendTo(DottedFromValue(*ip), static_cast<uint16_t>(port), bytes);
}

bool CXClient::HandleDatagram(ByteSpan datagram) {
  m_pOwner->OnLoginSocketDatagram(*this, datagram);
  return true;
}

bool CXClient::SenderIsDestination() const {
  return m_destIp && m_nSenderPort == m_nDestPort && ValueFromDotted(m_strSenderHost) == m_destIp;
}

void CXClient::OnReadable() {
  if (m_nMode != 2 || !m_pOwner) return;
  // Declared first so it ends last: its end may free the instance and this endpoint.
  CEnVideoDlg::Dispatch dispatch(*m_pOwner);
  try {
    ReadLoop();
  } catch (...) {
    // Out of memory while handling one datagram: drop it; nothing may reach the event loop.
  }
}

void CXClient::ReadLoop() {
  std::array<uint8_t, kMaxDatagram> buffer;
  const uint32_t opened = m_nOpenCount;
  for (;;) {
    uint16_t senderPort = 0;
    const int n = m_socket->Receive(buffer, m_strSenderHost, senderPort);
    if (n <= 0) return;
    m_nSenderPort = senderPort;
    const ByteSpan datagram(buffer.data(), static_cast<size_t>(n));
    if (!AcceptDatagram(datagram)) continue;
    const bool goOn = HandleDatagram(datagram);
    // The handler may have closed or reopened this socket, or ended the instance; a closed
    // link socket stays allocated until the outermost notification returns.
    if (!goOn || m_pOwner->Ended() || m_nOpenCount != opened || !m_socket) return;
  }
}

}  // namespace zellnet
