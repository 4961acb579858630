#include "zellnet/src/RealRuntime.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <cstring>
#include <map>

#include "platform/UniqueFd.h"

namespace zellnet {

namespace {

// Qt objects that call back into the protocol. The protocol may destroy their owner from
// inside such a call; the object then outlives the call and is deleted by the event loop.
template <typename T>
void DeleteSoon(T* object) {
  if (object->busy) object->deleteLater();
  else delete object;
}

class TimerObject final : public QObject {
 public:
  explicit TimerObject(std::function<void(int)> onTimer) : onTimer_(std::move(onTimer)) {}
  bool busy = false;
  std::map<int, int> qtIds;  // our timer ID -> Qt's

 protected:
  void timerEvent(QTimerEvent* event) override {
    for (const auto& [id, qtId] : qtIds) {
      if (qtId != event->timerId()) continue;
      const int ourId = id;  // the handler may change qtIds
      busy = true;
      onTimer_(ourId);
      busy = false;
      return;
    }
  }

 private:
  std::function<void(int)> onTimer_;
};

class RealWindow final : public Window {
 public:
  explicit RealWindow(std::function<void(int)> onTimer) : object_(new TimerObject(std::move(onTimer))) {}
  ~RealWindow() override {
    for (const auto& [id, qtId] : object_->qtIds) object_->killTimer(qtId);
    object_->qtIds.clear();
    DeleteSoon(object_);
  }
  void StartTimer(int id, uint32_t period_ms) override {
    StopTimer(id);
    int qtId = object_->startTimer(static_cast<int>(period_ms), Qt::PreciseTimer);
    if (qtId != 0) object_->qtIds[id] = qtId;
  }
  void StopTimer(int id) override {
    auto it = object_->qtIds.find(id);
    if (it == object_->qtIds.end()) return;
    object_->killTimer(it->second);
    object_->qtIds.erase(it);
  }

 private:
  TimerObject* object_;  // owned; see DeleteSoon
};

class Watch final : public QSocketNotifier {
 public:
  Watch(int fd, std::function<void()> onReadable)
      : QSocketNotifier(fd, QSocketNotifier::Read), onReadable_(std::move(onReadable)) {
    connect(this, &QSocketNotifier::activated, this, [this] {
      busy = true;
      onReadable_();
      busy = false;
    });
  }
  bool busy = false;

 private:
  std::function<void()> onReadable_;
};

class RealEndpoint final : public Endpoint {
 public:
  RealEndpoint(vigil::UniqueFd fd, std::function<void()> onReadable)
      : fd_(std::move(fd)), watch_(new Watch(fd_.get(), std::move(onReadable))) {}
  ~RealEndpoint() override {
    watch_->setEnabled(false);
    DeleteSoon(watch_);
  }

  bool SendTo(std::string_view host, uint16_t port, ByteSpan bytes) override {
    RealRuntime runtime;
    auto ip = runtime.Resolve(host);
    if (!ip) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    std::memcpy(&to.sin_addr.s_addr, &*ip, 4);
    return ::sendto(fd_.get(), bytes.data(), bytes.size(), MSG_DONTWAIT,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to) == static_cast<ssize_t>(bytes.size());
  }

  int Receive(std::span<uint8_t> buffer, std::string& senderHost, uint16_t& senderPort) override {
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    // MSG_TRUNC makes the result the datagram's real size, so an oversized one is noticed.
    ssize_t n = ::recvfrom(fd_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                           reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0 || static_cast<size_t>(n) > buffer.size()) return -1;
    uint32_t value = 0;
    std::memcpy(&value, &from.sin_addr.s_addr, 4);
    senderHost = DottedFromValue(value);
    senderPort = ntohs(from.sin_port);
    return static_cast<int>(n);
  }

  uint16_t LocalPort() const override {
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &len) != 0) return 0;
    return ntohs(local.sin_port);
  }

 private:
  vigil::UniqueFd fd_;
  Watch* watch_;  // owned; see DeleteSoon
};

}  // namespace

Tick RealRuntime::Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<Tick>(ms);
}

std::unique_ptr<Endpoint> RealRuntime::Bind(const std::string& address, uint16_t port,
                                            std::function<void()> onReadable) {
  if (!QAbstractEventDispatcher::instance()) return nullptr;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!address.empty()) {
    auto value = ValueFromDotted(address);
    if (!value) return nullptr;
    std::memcpy(&local.sin_addr.s_addr, &*value, 4);
  }
  vigil::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) return nullptr;
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return nullptr;
  return std::make_unique<RealEndpoint>(std::move(fd), std::move(onReadable));
}

std::unique_ptr<Window> RealRuntime::CreateWindow(std::function<void(int id)> onTimer) {
  if (!QAbstractEventDispatcher::instance()) return nullptr;
  return std::make_unique<RealWindow>(std::move(onTimer));
}

std::optional<uint32_t> RealRuntime::Resolve(std::string_view host) {
  if (auto value = ValueFromDotted(host)) return value;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(std::string(host).c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
  uint32_t value = 0;
  std::memcpy(&value, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr, 4);
  ::freeaddrinfo(found);
  return value;
}

std::string RealRuntime::LocalIPv4() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "127.0.0.1";
  auto value = Resolve(name);
  return value ? DottedFromValue(*value) : "127.0.0.1";
}

}  // namespace zellnet
