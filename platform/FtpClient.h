// FTP upload over libcurl: one session logs in once and stores files one after another
// (passive mode, never appending). Remote names use '/' and UTF-8.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "platform/Transfer.h"

namespace vigil {

struct FtpAccount {
  QString host;
  int port = 21;
  QString user;
  QString password;
};

class FtpSession {
 public:
  // Connects lazily, at the first Upload; `cancel` (may be null) must outlive the session.
  FtpSession(const FtpAccount& account, const TransferLimits& limits, TransferCancel* cancel);
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // Stores `data` as `remoteName` ("dir/sub/name" below the login folder, "/name" from the
  // server's root), creating missing folders. Never throws.
  TransferResult Upload(const QString& remoteName, const QByteArray& data);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The URL libcurl gets for a remote name, each path segment percent-encoded.
QByteArray FtpUrl(const FtpAccount& account, const QString& remoteName);

}  // namespace vigil
