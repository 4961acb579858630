// The runtime of a real program: Qt timers and socket notifiers on the calling thread,
// POSIX UDP sockets, CLOCK_MONOTONIC milliseconds cut to 32 bits.
#pragma once

#include "zellnet/src/Runtime.h"

namespace zellnet {

class RealRuntime final : public Runtime {
 public:
  Tick Now() override;
  std::unique_ptr<Endpoint> Bind(const std::string& address, uint16_t port,
                                 std::function<void()> onReadable) override;
  std::unique_ptr<Window> CreateWindow(std::function<void(int id)> onTimer) override;
  std::optional<uint32_t> Resolve(std::string_view host) override;
  std::string LocalIPv4() override;
};

}  // namespace zellnet
