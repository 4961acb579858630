#include "platform/FtpClient.h"

#include <QStringList>
#include <QUrl>
#include <cstring>
#include <exception>

#include "platform/CurlTransfer.h"

namespace vigil {
namespace {

struct Reader {
  const QByteArray* data = nullptr;
  qsizetype at = 0;
};

size_t ReadChunk(char* buffer, size_t size, size_t count, void* user) {
  auto* reader = static_cast<Reader*>(user);
  size_t left = static_cast<size_t>(reader->data->size() - reader->at);
  size_t n = std::min(size * count, left);
  std::memcpy(buffer, reader->data->constData() + reader->at, n);
  reader->at += static_cast<qsizetype>(n);
  return n;
}

}  // namespace

struct FtpSession::Impl {
  FtpAccount account;
  TransferLimits limits;
  curl::Performer performer;
  Impl(const FtpAccount& a, const TransferLimits& l, TransferCancel* cancel)
      : account(a), limits(l), performer(cancel) {}
};

FtpSession::FtpSession(const FtpAccount& account, const TransferLimits& limits, TransferCancel* cancel)
    : impl_(std::make_unique<Impl>(account, limits, cancel)) {}

FtpSession::~FtpSession() = default;

TransferResult FtpSession::Upload(const QString& remoteName, const QByteArray& data) {
  const QByteArray url = FtpUrl(impl_->account, remoteName);
  try {
    char errorBuffer[CURL_ERROR_SIZE];
    curl::Easy easy = curl::NewEasy(impl_->limits, errorBuffer);
    CURL* h = easy.get();
    const QByteArray user = impl_->account.user.toUtf8(), password = impl_->account.password.toUtf8();
    Reader reader{&data, 0};
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadChunk);
    curl_easy_setopt(h, CURLOPT_READDATA, &reader);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
    curl_easy_setopt(h, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
    CURLcode code = impl_->performer.Perform(h);
    if (code == CURLE_OK) return {true, {}};
    return {false, QStringLiteral("storing %1: ").arg(remoteName) + curl::Describe(code, errorBuffer)};
  } catch (const std::exception& e) {
    return {false, QStringLiteral("storing %1: ").arg(remoteName) + QString::fromUtf8(e.what())};
  }
}

QByteArray FtpUrl(const FtpAccount& account, const QString& remoteName) {
  QByteArray path;
  const QStringList segments = remoteName.split(QLatin1Char('/'));
  for (qsizetype i = 0; i < segments.size(); ++i) {
    if (i > 0) path += '/';
    path += QUrl::toPercentEncoding(segments[i]);
  }
  return "ftp://" + curl::UrlAuthority(account.host, account.port) + '/' + path;
}

}  // namespace vigil
