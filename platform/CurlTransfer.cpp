#include "platform/CurlTransfer.h"

#include <QByteArray>
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
  // curl_multi_wakeup is the one multi call that is safe from another thread.
  if (cancel_) cancel_->SetWaker([m = multi_.get()] { curl_multi_wakeup(m); });
}

Performer::~Performer() {
  if (cancel_) cancel_->SetWaker({});
}

CURLcode Performer::Perform(CURL* easy) {
  if (cancel_ && cancel_->Requested()) return CURLE_ABORTED_BY_CALLBACK;
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
  // Removing a transfer that has not finished closes its connection without a goodbye.
  curl_multi_remove_handle(multi_.get(), easy);
  return result;
}

QString Describe(CURLcode code, const char* errorBuffer) {
  QString text = QString::fromUtf8(curl_easy_strerror(code));
  if (errorBuffer && errorBuffer[0]) text += QStringLiteral(": ") + QString::fromUtf8(errorBuffer).trimmed();
  return text;
}

}  // namespace curl
}  // namespace vigil
