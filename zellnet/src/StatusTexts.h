// Status texts of an instance, in GBK as the caller receives them.
#pragma once

namespace zellnet::text {

constexpr const char* kNotLoggedIn = "\xce\xb4\xb5\xc7\xc2\xbd";                      // 未登陆
constexpr const char* kLoggingIn = "\xb5\xc7\xc2\xbd\xb7\xfe\xce\xf1\xc6\xf7!";       // 登陆服务器!
constexpr const char* kAlreadyConnected = "\xd2\xd1\xbe\xad\xc1\xac\xbd\xd3";         // 已经连接
constexpr const char* kConnecting = "\xd5\xfd\xd4\xda\xc1\xac\xbd\xd3";               // 正在连接
constexpr const char* kLoginOk = "\xb5\xc7\xc2\xbd\xb3\xc9\xb9\xa6";                  // 登陆成功
constexpr const char* kTooOld = "\xb0\xe6\xb1\xbe\xcc\xab\xb5\xcd";                   // 版本太低
constexpr const char* kNewVersion = "\xd3\xd0\xd0\xc2\xb0\xe6\xb1\xbe";               // 有新版本
constexpr const char* kLoginFailed = "\xb5\xc7\xc2\xbd\xca\xa7\xb0\xdc!";             // 登陆失败!
constexpr const char* kOffline = "\xb2\xbb\xd4\xda\xcf\xdf";                          // 不在线
constexpr const char* kLinkExists = "\xd4\xda\xc1\xac\xbd\xd3!";                      // 在连接!
constexpr const char* kBadPeerId = "\xb6\xd4\xb7\xbd\xb8\xf1\xca\xbd\xb2\xbb\xb6\xd4!";  // 对方格式不对!
constexpr const char* kSelfConnect = "\xb2\xbb\xc4\xdc\xc1\xac\xbd\xd3\xd7\xd4\xbc\xba!";  // 不能连接自己!
constexpr const char* kSocketFailed = "\xb4\xb4\xbd\xa8Socket\xca\xa7\xb0\xdc\xa3\xa1";  // 创建Socket失败！
constexpr const char* kConnectFailed = "\xc1\xac\xbd\xd3\xca\xa7\xb0\xdc";            // 连接失败
constexpr const char* kListening = "\xbf\xaa\xca\xbc\xbc\xe0\xcc\xfd!";               // 开始监听!
constexpr const char* kListenFailed = "\xbc\xe0\xcc\xfd\xca\xa7\xb0\xdc";             // 监听失败
constexpr const char* kConnectStarted = "\xbf\xaa\xca\xbc\xc1\xac\xbd\xd3";           // 开始连接
constexpr const char* kPeerBusy = "\xb6\xd4\xb7\xbd\xc3\xa6\xa3\xa1";                 // 对方忙！
constexpr const char* kPeerRefused = "\xb6\xd4\xb7\xbd\xbe\xdc\xbe\xf8";              // 对方拒绝
constexpr const char* kPeerOffline = "\xb6\xd4\xb7\xbd\xcf\xc2\xcf\xdf";              // 对方下线
constexpr const char* kRequestFailed = "\xc1\xac\xbd\xd3\xca\xa7\xb0\xdc!";           // 连接失败!
constexpr const char* kLinkUp = "\xc1\xac\xbd\xd3\xb3\xc9\xb9\xa6\xa3\xa1";          // 连接成功！
constexpr const char* kPunchFailed = "\xc1\xac\xbd\xd3\xca\xa7\xb0\xdc\xa3\xa1";     // 连接失败！
constexpr const char* kStopped = "\xcd\xa3\xd6\xb9!";                                    // 停止!

// The words of NK_STATUS_ONLINE.
constexpr const char* kWordOnline = "\xd4\xda\xcf\xdf";    // 在线
constexpr const char* kWordWaiting = "\xb5\xc8\xb4\xfd";   // 等待
constexpr const char* kWordOffline = "\xc0\xeb\xcf\xdf";   // 离线

}  // namespace zellnet::text
