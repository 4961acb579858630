// The nine exports: each checks its handle, forwards to the instance and turns any failure
// into its documented result. Nothing leaves as an exception.
#include "zellnet.h"
#include "zellnet/src/CEnVideoDlg.h"
#include "zellnet/src/RealRuntime.h"

using zellnet::CEnVideoDlg;

namespace {

zellnet::RealRuntime g_runtime;  // stateless; shared by every instance

CEnVideoDlg* Dlg(NKHANDLE h) { return static_cast<CEnVideoDlg*>(h); }

template <typename Result, typename Call>
Result Guarded(NKHANDLE h, Result onFailure, Call&& call) noexcept {
  if (!h) return onFailure;
  try {
    return call(*Dlg(h));
  } catch (...) {
    return onFailure;
  }
}

}  // namespace

extern "C" {

NKHANDLE NKCreate(NKCallback pfnCallback, uintptr_t dwUserData) {
  try {
    // The caller owns the instance through the handle until NKDestory.
    return CEnVideoDlg::Create(g_runtime, pfnCallback, dwUserData).release();
  } catch (...) {
    return nullptr;
  }
}

void NKDestory(NKHANDLE hInstance) {
  if (!hInstance) return;
  try {
    CEnVideoDlg::Destroy(std::unique_ptr<CEnVideoDlg>(Dlg(hInstance)));
  } catch (...) {
  }
}

int NKLogin(NKHANDLE hInstance, const char* strIP, const char* strSerial) {
  return Guarded(hInstance, 0, [&](CEnVideoDlg& d) { return d.Login(strIP, strSerial); });
}

int NKConnect(NKHANDLE hInstance, const char* strPeerID, int bAllowRelay) {
  return Guarded(hInstance, 0, [&](CEnVideoDlg& d) { return d.Connect(strPeerID, bAllowRelay); });
}

void NKStopChat(NKHANDLE hInstance) {
  Guarded(hInstance, 0, [](CEnVideoDlg& d) { return d.StopChat(), 0; });
}

const char* NKGetStatus(NKHANDLE hInstance, int nType) {
  return Guarded<const char*>(hInstance, nullptr, [&](CEnVideoDlg& d) { return d.GetStatus(nType); });
}

int NKIsFromServer(NKHANDLE hInstance) {
  return Guarded(hInstance, 0, [](CEnVideoDlg& d) { return d.IsFromServer(); });
}

int NKSendData(NKHANDLE hInstance, const void* pBuf, int nLen, unsigned char nDataType, int bReliable) {
  return Guarded(hInstance, 0, [&](CEnVideoDlg& d) { return d.SendData(pBuf, nLen, nDataType, bReliable); });
}

int NKReadData(NKHANDLE hInstance, void* pBuf, int nBufSize) {
  return Guarded(hInstance, -1, [&](CEnVideoDlg& d) { return d.ReadData(pBuf, nBufSize); });
}

}  // extern "C"
