/* zellnet: peer-to-peer UDP links between programs behind NAT routers, set up through a
 * traversal server. Plain C interface; every export is called on the thread that created
 * the instance, and that thread must run a Qt event loop (the instance's timers and socket
 * notifications are delivered by it, and so is every callback). */
#ifndef ZELLNET_H
#define ZELLNET_H

#include <stdint.h>

#if defined(__GNUC__)
#define ZELLNET_API __attribute__((visibility("default")))
#else
#define ZELLNET_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque instance handle. */
typedef struct NKInstance* NKHANDLE;

/* Events arrive with pBuf null and nLen 0, the code in nType. Data arrives with pBuf
 * non-null (also for an empty payload), nLen the message's length field and nType the
 * sender's data type. pBuf belongs to the library and is valid only during the call. */
typedef void (*NKCallback)(const unsigned char* pBuf, int nLen, unsigned char nType,
                           uintptr_t dwUserData);

#define NK_EVENT_LOGIN 1
#define NK_EVENT_LOGOUT 2
#define NK_EVENT_CONNECTED 3
#define NK_EVENT_DISCONNECTED 4

#define NK_STATUS_TEXT 1
#define NK_STATUS_ONLINE 2
#define NK_STATUS_ID 4

/* Null when the instance cannot be made (no Qt event loop on this thread, no memory). */
ZELLNET_API NKHANDLE NKCreate(NKCallback pfnCallback, uintptr_t dwUserData);
/* Logs out, ends the link and frees the instance. No event is raised. */
ZELLNET_API void NKDestory(NKHANDLE hInstance);
/* 1 when the login request was sent. strSerial needs at least 16 characters. */
ZELLNET_API int NKLogin(NKHANDLE hInstance, const char* strIP, const char* strSerial);
/* 1 when the connect request was sent; strPeerID as NKGetStatus(NK_STATUS_ID) gives it. */
ZELLNET_API int NKConnect(NKHANDLE hInstance, const char* strPeerID, int bAllowRelay);
ZELLNET_API void NKStopChat(NKHANDLE hInstance);
/* GBK text owned by the instance, valid until the next call; null for an unknown type. */
ZELLNET_API const char* NKGetStatus(NKHANDLE hInstance, int nType);
ZELLNET_API int NKIsFromServer(NKHANDLE hInstance);
/* 1 accepted, 0 refused. The library copies pBuf before returning. */
ZELLNET_API int NKSendData(NKHANDLE hInstance, const void* pBuf, int nLen,
                           unsigned char nDataType, int bReliable);
/* (type << 16) | length of the message copied; 0 when none was copied while a link
 * exists, -1 when none was copied and no link exists. */
ZELLNET_API int NKReadData(NKHANDLE hInstance, void* pBuf, int nBufSize);

#ifdef __cplusplus
}
#endif

#endif
