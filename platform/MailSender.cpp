#include "platform/MailSender.h"

#include <QDateTime>
#include <QMimeDatabase>
#include <QUuid>
#include <exception>

#include "platform/CurlTransfer.h"

namespace vigil {
namespace {

// UTF-8 bytes per encoded word: its 52 base64 characters plus "=?UTF-8?B??=" and a header
// name stay within 76 characters a line.
constexpr int kWordBytes = 39;
// Longest plain ASCII header text and quoted file name we leave unencoded.
constexpr int kPlainMax = 200;
constexpr int kPlainNameMax = 60;
// Characters of one RFC 2231 continuation value.
constexpr int kParamChunk = 60;

QString WithoutControls(const QString& text) {
  QString out = text;
  for (QChar& c : out)
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
  return out;
}

bool IsPrintableAscii(const QString& text) {
  for (QChar c : text)
    if (c.unicode() < 0x20 || c.unicode() > 0x7e) return false;
  return true;
}

QByteArray EncodedWords(const QString& text) {
  QByteArray out;
  QByteArray chunk;
  auto flush = [&] {
    if (chunk.isEmpty()) return;
    if (!out.isEmpty()) out += "\r\n ";
    out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
    chunk.clear();
  };
  // Whole code points only: a word must decode on its own.
  for (char32_t cp : text.toUcs4()) {
    QByteArray bytes = QString::fromUcs4(&cp, 1).toUtf8();
    if (chunk.size() + bytes.size() > kWordBytes) flush();
    chunk += bytes;
  }
  flush();
  return out;
}

// A display name: an atom sequence as it is, other ASCII quoted, the rest encoded.
QByteArray EncodePhrase(const QString& name) {
  QString clean = WithoutControls(name).trimmed();
  if (!IsPrintableAscii(clean) || clean.contains(QStringLiteral("=?"))) return EncodedWords(clean);
  static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
  bool plain = std::none_of(clean.begin(), clean.end(), [](QChar c) { return specials.contains(c); });
  if (plain) return clean.toLatin1();
  QByteArray quoted = "\"";
  for (QChar c : clean) {
    if (c == QLatin1Char('"') || c == QLatin1Char('\\')) quoted += '\\';
    quoted += static_cast<char>(c.unicode());
  }
  return quoted + '"';
}

QByteArray FormatAddresses(const std::vector<MailAddress>& list) {
  QByteArray out;
  for (const MailAddress& a : list) {
    if (!out.isEmpty()) out += ",\r\n ";
    if (a.name.isEmpty())
      out += a.address.toUtf8();
    else
      out += EncodePhrase(a.name) + " <" + a.address.toUtf8() + ">";
  }
  return out;
}

QByteArray SmtpUrl(const SmtpAccount& account) {
  const char* scheme = account.port == 465 ? "smtps://" : "smtp://";
  return scheme + curl::UrlAuthority(account.host, account.port);
}

void AddPart(curl_mime* mime, const QByteArray& data, const char* type, curl::Slist headers) {
  curl_mimepart* part = curl_mime_addpart(mime);
  if (!part) throw std::bad_alloc();
  curl_mime_data(part, data.constData(), static_cast<size_t>(data.size()));
  curl_mime_type(part, type);
  curl_mime_encoder(part, "base64");
  if (headers) curl_mime_headers(part, headers.release(), 1);  // the part owns the list now
}

TransferResult Send(const SmtpAccount& account, const MailMessage& message,
                    const TransferLimits& limits, TransferCancel* cancel) {
  std::vector<MailAddress> to = ParseAddressList(message.to);
  if (to.empty()) return {false, QStringLiteral("no recipient address in \"%1\"").arg(message.to)};
  std::vector<MailAddress> from = ParseAddressList(message.from);
  QByteArray envelopeFrom = from.empty() ? QByteArray() : from.front().address.toUtf8();

  char errorBuffer[CURL_ERROR_SIZE];
  curl::Easy easy = curl::NewEasy(limits, errorBuffer);
  CURL* h = easy.get();
  const QByteArray url = SmtpUrl(account);
  curl_easy_setopt(h, CURLOPT_URL, url.constData());
  curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  const QByteArray user = account.user.toUtf8(), password = account.password.toUtf8();
  if (account.login) {
    curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
  }
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, envelopeFrom.constData());
  curl::Slist recipients;
  for (const MailAddress& a : to) curl::Append(recipients, a.address.toUtf8());
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get());

  curl::Slist headers;
  curl::Append(headers, "Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1());
  curl::Append(headers, "From: " + (from.empty() ? QByteArray("<>") : FormatAddresses(from)));
  curl::Append(headers, "To: " + FormatAddresses(to));
  curl::Append(headers, "Subject: " + EncodeHeaderText(message.subject));
  curl::Append(headers, "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + "@vigil>");
  if (!message.mailer.isEmpty()) curl::Append(headers, "X-Mailer: " + EncodeHeaderText(message.mailer));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

  curl::Mime mime(curl_mime_init(h));
  if (!mime) throw std::bad_alloc();
  AddPart(mime.get(), message.body.toUtf8(), "text/plain; charset=UTF-8", {});
  QMimeDatabase types;
  for (const MailAttachment& file : message.attachments) {
    curl::Slist partHeaders;
    curl::Append(partHeaders, DispositionHeader(file.fileName));
    const QByteArray type = types.mimeTypeForFile(file.fileName, QMimeDatabase::MatchExtension).name().toLatin1();
    AddPart(mime.get(), file.data, type.constData(), std::move(partHeaders));
  }
  curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());

  curl::Performer performer(cancel);
  CURLcode code = performer.Perform(h);
  if (code == CURLE_OK) return {true, {}};
  return {false, QString::fromUtf8(url) + QStringLiteral(": ") + curl::Describe(code, errorBuffer)};
}

}  // namespace

TransferResult SendMail(const SmtpAccount& account, const MailMessage& message,
                        const TransferLimits& limits, TransferCancel* cancel) {
  try {
    return Send(account, message, limits, cancel);
  } catch (const std::exception& e) {
    return {false, QStringLiteral("composing the mail: ") + QString::fromUtf8(e.what())};
  }
}

std::vector<MailAddress> ParseAddressList(const QString& text) {
  // Split on separators outside quotes and angle brackets; full-width ones count too.
  std::vector<QString> entries(1);
  bool quoted = false, angled = false;
  for (QChar c : text) {
    if (c == QLatin1Char('"') && !angled) quoted = !quoted;
    else if (c == QLatin1Char('<') && !quoted) angled = true;
    else if (c == QLatin1Char('>') && !quoted) angled = false;
    bool separator = c == QLatin1Char(',') || c == QLatin1Char(';') || c == QChar(0xFF0C) || c == QChar(0xFF1B);
    if (separator && !quoted && !angled) entries.emplace_back();
    else entries.back() += c;
  }
  std::vector<MailAddress> out;
  for (const QString& raw : entries) {
    QString entry = WithoutControls(raw).trimmed();
    MailAddress a;
    qsizetype open = entry.lastIndexOf(QLatin1Char('<'));
    qsizetype close = open < 0 ? -1 : entry.indexOf(QLatin1Char('>'), open);
    if (open >= 0 && close > open) {
      a.address = entry.mid(open + 1, close - open - 1);
      a.name = entry.left(open).trimmed();
      if (a.name.size() >= 2 && a.name.startsWith(QLatin1Char('"')) && a.name.endsWith(QLatin1Char('"')))
        a.name = a.name.mid(1, a.name.size() - 2).replace(QStringLiteral("\\\""), QStringLiteral("\""));
    } else {
      a.address = entry;
    }
    a.address.remove(QLatin1Char(' '));
    a.address.remove(QLatin1Char('<'));
    a.address.remove(QLatin1Char('>'));
    a.address.remove(QLatin1Char('"'));
    if (!a.address.isEmpty()) out.push_back(a);
  }
  return out;
}

QByteArray EncodeHeaderText(const QString& text) {
  QString clean = WithoutControls(text);
  if (IsPrintableAscii(clean) && clean.size() <= kPlainMax && !clean.contains(QStringLiteral("=?")))
    return clean.toLatin1();
  return EncodedWords(clean);
}

QByteArray DispositionHeader(const QString& fileName) {
  QString clean = WithoutControls(fileName);
  bool plain = IsPrintableAscii(clean) && clean.size() <= kPlainNameMax &&
               !clean.contains(QLatin1Char('"')) && !clean.contains(QLatin1Char('\\'));
  if (plain) return "Content-Disposition: attachment; filename=\"" + clean.toLatin1() + '"';
  // RFC 2231: percent-encoded UTF-8, cut into continuations that never split a %XX.
  const QByteArray encoded = clean.toUtf8().toPercentEncoding("!#$&+^`{}|");
  std::vector<QByteArray> chunks;
  for (qsizetype at = 0; at < encoded.size();) {
    qsizetype end = std::min(at + kParamChunk, encoded.size());
    if (end < encoded.size()) {
      if (encoded[end - 1] == '%') end -= 1;
      else if (end >= 2 && encoded[end - 2] == '%') end -= 2;
    }
    chunks.push_back(encoded.mid(at, end - at));
    at = end;
  }
  if (chunks.size() <= 1) return "Content-Disposition: attachment; filename*=UTF-8''" + encoded;
  QByteArray header = "Content-Disposition: attachment";
  for (size_t i = 0; i < chunks.size(); ++i)
    header += ";\r\n filename*" + QByteArray::number(static_cast<qulonglong>(i)) + "*=" +
              (i == 0 ? "UTF-8''" : "") + chunks[i];
  return header;
}

}  // namespace vigil
