// RAII for libcurl handles and a cancellable perform; used by the mail and FTP clients only.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <set>

#include "platform/Transfer.h"

namespace vigil::curl {

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct MimeDeleter {
  void operator()(curl_mime* m) const { curl_mime_free(m); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;
using Mime = std::unique_ptr<curl_mime, MimeDeleter>;

// A new easy handle with the options every transfer of ours wants: the limits, no signals
// (we run on worker threads), an error buffer. Throws std::bad_alloc when libcurl cannot.
Easy NewEasy(const TransferLimits& limits, char (&errorBuffer)[CURL_ERROR_SIZE]);

// Appends one line; throws std::bad_alloc when libcurl cannot.
void Append(Slist& list, const QByteArray& line);

// Runs easy handles one after another on the calling thread. Connections stay open between
// them (the cache belongs to the multi handle), so a batch of uploads logs in once; they are
// closed when the performer goes.
class Performer {
 public:
  explicit Performer(TransferCancel* cancel);
  ~Performer();
  Performer(const Performer&) = delete;
  Performer& operator=(const Performer&) = delete;

  // CURLE_ABORTED_BY_CALLBACK when the cancel was requested before or during the transfer.
  CURLcode Perform(CURL* easy);

 private:
  static curl_socket_t OpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
  static int CloseSocket(void* self, curl_socket_t fd);
  static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  void ShutDownSockets();

  // Open connections of our transfers; outlives multi_. The lock keeps a stop request from
  // shutting down a number that libcurl has just closed and the system has handed out again.
  std::mutex socketsMutex_;
  std::set<curl_socket_t> sockets_;
  Multi multi_;
  TransferCancel* cancel_;
};

// "host:port" for a URL; an IPv6 address gets its brackets.
QByteArray UrlAuthority(const QString& host, int port);

// "<libcurl's text for code>: <detail>" (the detail from the error buffer, when it has one).
QString Describe(CURLcode code, const char* errorBuffer);

}  // namespace vigil::curl
