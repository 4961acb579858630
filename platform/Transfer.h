// What the mail and FTP clients share without showing libcurl: time limits, the result of one
// transfer and a stop request that cuts a transfer off in any phase.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

namespace vigil {

struct TransferLimits {
  int connectTimeoutMs = 10'000;
  // Longest wait for one server reply (greeting, each command, the end of the data).
  int responseTimeoutSecs = 30;
  // A transfer that moves no byte for this long is given up.
  int stallSecs = 30;
  // PEM file of trusted certificates for STARTTLS; empty: the system's store.
  QString caFile;
};

struct TransferResult {
  bool ok = false;
  QString error;  // what failed, for the debug log; empty on success
};

// Request() may come from any thread; the transfer running under this object notices it at
// once, whatever it is waiting for.
class TransferCancel {
 public:
  void Request();
  bool Requested() const { return requested_.load(); }

  // The running transfer installs its waker here (and clears it when it ends).
  void SetWaker(std::function<void()> waker);

 private:
  std::atomic<bool> requested_{false};
  std::mutex mutex_;
  std::function<void()> waker_;
};

}  // namespace vigil
