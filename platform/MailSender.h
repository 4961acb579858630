// Alert mail over SMTP: one message with optional picture attachments per call, sent with
// libcurl (LOGIN authentication when asked, STARTTLS whenever the server offers it, implicit
// TLS on port 465). Header texts are UTF-8 in RFC 2047 encoded words, file names in RFC 2231
// parameters, so Chinese subjects, names and addresses arrive intact.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "platform/Transfer.h"

namespace vigil {

struct SmtpAccount {
  QString host;
  int port = 25;
  QString user;
  QString password;
  bool login = false;  // authenticate with the LOGIN method
};

struct MailAttachment {
  QString fileName;  // the name the receiver sees, without folders
  QByteArray data;
};

struct MailMessage {
  QString from;  // "addr" or "Name <addr>"
  QString to;    // address list text: entries separated by ',' or ';'
  QString subject;
  QString body;
  QString mailer;  // X-Mailer
  std::vector<MailAttachment> attachments;
};

// Connects, sends and disconnects. Never throws; a failure names the step in `error`.
TransferResult SendMail(const SmtpAccount& account, const MailMessage& message,
                        const TransferLimits& limits, TransferCancel* cancel);

// --- Pieces of the message, public for tests and the fuzz target. ---

struct MailAddress {
  QString name;     // display name, may be empty
  QString address;  // addr-spec, may hold UTF-8 (RFC 6532)
};

// Splits an address list text ("张三 <a@b.cn>, c@d.cn; \"Li, Si\" <e@f.cn>"). Entries without
// an address are dropped; control characters and spaces never reach an address.
std::vector<MailAddress> ParseAddressList(const QString& text);

// A header value: printable ASCII as it is, anything else as folded RFC 2047 encoded words
// ("=?UTF-8?B?...?="), each line within 76 characters. Control characters become spaces.
QByteArray EncodeHeaderText(const QString& text);

// "Content-Disposition: attachment; filename..." for a file name (RFC 2231 when needed).
QByteArray DispositionHeader(const QString& fileName);

}  // namespace vigil
