// What the protocol needs of its platform: a millisecond clock, hidden "windows" with
// timers by ID, and UDP endpoints with read notifications. RealRuntime provides them over
// the Qt event loop and POSIX sockets; the simulated network provides them in virtual time.
// Every notification runs on the thread that made the object, one at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "zellnet/src/Tick.h"
#include "zellnet/src/Wire.h"

namespace zellnet {

// A non-blocking UDP socket bound to any local address and an ephemeral port. Destroying
// it closes the socket; that is allowed from inside its own read notification.
class Endpoint {
 public:
  virtual ~Endpoint() = default;
  // `host` is a name or dotted text, resolved on each send. False when nothing left.
  virtual bool SendTo(std::string_view host, uint16_t port, ByteSpan bytes) = 0;
  // One waiting datagram into `buffer`: its size, or -1 when none waits or it was larger
  // than the buffer (then it is lost). The sender's dotted address and port are stored.
  virtual int Receive(std::span<uint8_t> buffer, std::string& senderHost, uint16_t& senderPort) = 0;
  virtual uint16_t LocalPort() const = 0;
};

// A hidden window: periodic timers by ID. Starting a running ID restarts it with the new
// period. Destroying the window stops its timers, also from inside a tick.
class Window {
 public:
  virtual ~Window() = default;
  virtual void StartTimer(int id, uint32_t period_ms) = 0;
  virtual void StopTimer(int id) = 0;
};

class Runtime {
 public:
  virtual ~Runtime() = default;
  virtual Tick Now() = 0;
  // A UDP socket bound to `address` (empty: any) and `port` (0: ephemeral), or null.
  // `onReadable` repeats while datagrams wait unread.
  virtual std::unique_ptr<Endpoint> Bind(const std::string& address, uint16_t port,
                                         std::function<void()> onReadable) = 0;
  std::unique_ptr<Endpoint> OpenUdp(std::function<void()> onReadable) {
    return Bind({}, 0, std::move(onReadable));
  }
  // Null when no window can be made (no event loop on this thread).
  virtual std::unique_ptr<Window> CreateWindow(std::function<void(int id)> onTimer) = 0;
  // The IPv4 address value (Wire.h) of a name or dotted text.
  virtual std::optional<uint32_t> Resolve(std::string_view host) = 0;
  // The first IPv4 address of this machine's host name, else "127.0.0.1".
  virtual std::string LocalIPv4() = 0;
};

}  // namespace zellnet
