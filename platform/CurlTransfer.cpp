#include "platform/CurlTransfer.h"

#include <QByteArray>
#include <sys/socket.h>
#include <unistd.h>
#include <mutex>
#include <new>

namespace vigil {

void TransferCancel::Request() {
  requested_.store(true);
  std::lock_guard lock(mutex_);
  if (waker_) waker_();
}

void TransferCancel::SetWaker(std::function<void()> waker) {
  std::lock_guard lock(mutex_);
  waker_ = std::move(waker);
}

namespace curl {
namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

Easy NewEasy(const TransferLimits& limits, char (&errorBuffer)[CURL_ERROR_SIZE]) {
  GlobalInit();
  Easy easy(curl_easy_init());
  if (!easy) throw std::bad_alloc();
  errorBuffer[0] = '\0';
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeoutMs));
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(limits.responseTimeoutSecs));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stallSecs));
  if (!limits.caFile.isEmpty())
    curl_easy_setopt(h, CURLOPT_CAINFO, limits.caFile.toLocal8Bit().constData());
  return easy;
}

void Append(Slist& list, const QByteArray& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.constData());
  if (!grown) throw std::bad_alloc();
  list.release();
  list.reset(grown);
}

Performer::Performer(TransferCancel* cancel) : cancel_(cancel) {
  GlobalInit();
  multi_.reset(curl_multi_init());
  if (!multi_) throw std::bad_alloc();
  // curl_multi_wakeup is the one multi call that is safe from another thread. Some waits of
  // libcurl block inside curl_multi_perform (the reply to the end of a mail's data, the
  // goodbye on a dropped connection): a dead socket ends those at once.
  if (cancel_)
    cancel_->SetWaker([this] {
      curl_multi_wakeup(multi_.get());
      ShutDownSockets();
    });
}

Performer::~Performer() {
  if (cancel_) cancel_->SetWaker({});
}

curl_socket_t Performer::OpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
  curl_socket_t fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd < 0) return CURL_SOCKET_BAD;
  auto* performer = static_cast<Performer*>(self);
  std::lock_guard lock(performer->socketsMutex_);
  performer->sockets_.insert(fd);
  return fd;
}

int Performer::CloseSocket(void* self, curl_socket_t fd) {
  auto* performer = static_cast<Performer*>(self);
  std::lock_guard lock(performer->socketsMutex_);
  performer->sockets_.erase(fd);
  return ::close(fd);
}

// Also called from the blocking waits, about once a second.
int Performer::Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* performer = static_cast<Performer*>(self);
  return performer->cancel_ && performer->cancel_->Requested() ? 1 : 0;
}

// libcurl says goodbye (QUIT) on a connection it drops and waits for the answer, up to the
// response timeout; after a failure or a stop request nobody wants to wait for that.
void Performer::ShutDownSockets() {
  std::lock_guard lock(socketsMutex_);
  for (curl_socket_t fd : sockets_) ::shutdown(fd, SHUT_RDWR);
}

CURLcode Performer::Perform(CURL* easy) {
  if (cancel_ && cancel_->Requested()) return CURLE_ABORTED_BY_CALLBACK;
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Performer::OpenSocket);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &Performer::CloseSocket);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Performer::Progress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  if (curl_multi_add_handle(multi_.get(), easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_FAILED_INIT;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) break;
    bool done = false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        result = msg->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    if (cancel_ && cancel_->Requested()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    // The waker cuts this short; the timeout only paces libcurl's own timers.
    if (curl_multi_poll(multi_.get(), nullptr, 0, 1000, nullptr) != CURLM_OK) break;
  }
  if (result != CURLE_OK && cancel_ && cancel_->Requested()) result = CURLE_ABORTED_BY_CALLBACK;
  if (result != CURLE_OK) ShutDownSockets();
  curl_multi_remove_handle(multi_.get(), easy);
  return result;
}

QByteArray UrlAuthority(const QString& host, int port) {
  QString name = host.trimmed();
  if (name.contains(QLatin1Char(':')) && !name.startsWith(QLatin1Char('[')))
    name = QLatin1Char('[') + name + QLatin1Char(']');
  return name.toUtf8() + ':' + QByteArray::number(port);
}

QString Describe(CURLcode code, const char* errorBuffer) {
  QString text = QString::fromUtf8(curl_easy_strerror(code));
  if (errorBuffer && errorBuffer[0]) text += QStringLiteral(": ") + QString::fromUtf8(errorBuffer).trimmed();
  return text;
}

}  // namespace curl
}  // namespace vigil
