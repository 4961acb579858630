// One zellnet instance: its hidden window (timers), the login socket, the server login and
// keep-alive, the pending list, status texts and the callback. All of it runs on the thread
// of its runtime, inside that thread's event dispatch.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zellnet.h"
#include "zellnet/src/CEnThreadData.h"
#include "zellnet/src/CXClient.h"
#include "zellnet/src/CLinkSocket.h"
#include "zellnet/src/PendingList.h"
#include "zellnet/src/Runtime.h"

struct NKInstance {};  // the public handle type

namespace zellnet {

class CEnVideoDlg : public NKInstance {
 public:
  static constexpr int kLoginTimer = 100;
  static constexpr uint32_t kLoginTimerPeriod_ms = 1000;
  static constexpr uint32_t kKeepAliveAfter_ms = 10000;
  static constexpr uint32_t kReceiveRingSize = 6400000;
  static constexpr uint32_t kSendRingSize = 65936;
  static constexpr size_t kMaxServerName = 255;

  // Null when the hidden window cannot be made.
  static std::unique_ptr<CEnVideoDlg> Create(Runtime& runtime, NKCallback callback, uintptr_t userData);
  // Logs out and ends everything at once; frees the instance now, or, when called from
  // inside one of its own notifications (the callback), when that notification returns.
  static void Destroy(std::unique_ptr<CEnVideoDlg> dlg);
  ~CEnVideoDlg();

  int Login(const char* strIP, const char* strSerial);
  int Connect(const char* strPeerID, int bAllowRelay);
  void StopChat();
  const char* GetStatus(int nType) const;
  int IsFromServer() const;
  int SendData(const void* pBuf, int nLen, uint8_t nDataType, int bReliable);
  int ReadData(void* pBuf, int nBufSize);

  // Marks a notification of this instance in progress; the outermost one frees an
  // instance that was destroyed meanwhile.
  class Dispatch {
   public:
    explicit Dispatch(CEnVideoDlg& dlg) : m_dlg(dlg) { ++m_dlg.m_nDispatchDepth; }
    ~Dispatch();
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

   private:
    CEnVideoDlg& m_dlg;
  };
  bool Ended() const { return m_bEnded; }

  // A datagram that passed the receiving rules on the login socket.
  void OnLoginSocketDatagram(CXClient& from, ByteSpan datagram);

  // What the link socket and its link object report (CEnVideoDlgLink.cpp).
  CEnThreadData& SendRing() { return m_sendRing; }
  void OnLinkUp(CLinkSocket& link);
  void OnLinkFailure(CLinkSocket& link);
  // The link ended gracefully or was lost: the peer is dropped.
  void OnLinkEnded(CLinkSocket& link);
  // A datagram of the peer ('g').
  void OnLinkData(ByteSpan message);
  // One record of the link's stream; false when it ended the link.
  bool OnStreamRecord(CLinkSocket& link, ByteSpan record);

 private:
  CEnVideoDlg(Runtime& runtime, NKCallback callback, uintptr_t userData);
  void EndInstance();
  void OnWindowTimer(int id);
  void OnLoginTimer();
  void GiveUp(const PendingEntry& entry);
  void SendWithRetries(Bytes message, CXClient& endpoint);
  void OnLoginAnswer(ByteSpan datagram);
  void OnAlive(ByteSpan datagram);
  void DeliverData(ByteSpan message);
  void RaiseEvent(int code);
  void OnConnectRequest(ByteSpan datagram);
  void OnConnectAnswer(ByteSpan datagram);
  void OnConnectConfirm(ByteSpan datagram);
  // Closes and releases the link socket and raises event 4.
  void DropPeer();
  // Frees a closed link socket now, or after the running notification when one of its own
  // handlers may still be on the stack.
  void Bury(std::unique_ptr<CLinkSocket> link);

 public:
  // Fields in the order the protocol describes them.
  uint32_t m_dwID1 = 0;
  uint32_t m_dwID2 = 0;
  std::string m_strMyID;

 private:
  NKCallback m_pfnCallback;
  uintptr_t m_dwUserData;
  CEnThreadData m_receiveRing{kReceiveRingSize};
  CEnThreadData m_sendRing{kSendRingSize};
  CXClient m_login;
  std::unique_ptr<CLinkSocket> m_pPeer;  // the link socket
  std::string m_strServer;
  uint8_t m_nSeq = 0;
  PendingList m_pending;
  std::string m_strStatus;
  bool m_bAllowRelay = true;
  Tick m_dwLastContact = 0;
  std::string m_strLocalIP;
  std::string m_strClientName = "ZellClient";
  uint32_t m_dwPublicIP = 0;
  uint32_t m_dwPublicPort = 0;

  Runtime& m_runtime;
  std::unique_ptr<Window> m_window;
  std::vector<std::unique_ptr<CLinkSocket>> m_graveyard;  // closed, freed when idle
  int m_nDispatchDepth = 0;
  bool m_bEnded = false;
  bool m_bFreeWhenIdle = false;
};

}  // namespace zellnet
