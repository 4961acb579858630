// A client instance behind a NAT on the simulated network, and either the real traversal
// server or a scripted one on 10.0.0.1:9601.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TempHome.h"
#include "hub/TraversalServer.h"
#include "zellnet/sim/SimNet.h"
#include "zellnet/src/CEnVideoDlg.h"

namespace zellnet::test {

constexpr const char* kSerial = "0123456789abcdef";
constexpr const char* kServerIp = "10.0.0.1";

// What the callback saw.
struct Recorder {
  std::vector<int> events;
  std::vector<std::pair<int, Bytes>> data;  // type, payload
  static void Callback(const unsigned char* pBuf, int nLen, unsigned char nType, uintptr_t user) {
    auto* r = reinterpret_cast<Recorder*>(user);
    if (!pBuf) r->events.push_back(nType);
    else r->data.emplace_back(nType, Bytes(pBuf, pBuf + nLen));
  }
};

// A server endpoint driven by the test.
struct ScriptedServer {
  explicit ScriptedServer(sim::Host& host) {
    socket = host.Bind({}, kServerPort, [this] {
      std::array<uint8_t, 65536> buffer;
      std::string h;
      uint16_t p = 0;
      for (int n; (n = socket->Receive(buffer, h, p)) >= 0;) {
        received.emplace_back(buffer.begin(), buffer.begin() + n);
        lastHost = h;
        lastPort = p;
      }
    });
  }
  void Reply(const Bytes& bytes) { socket->SendTo(lastHost, lastPort, bytes); }
  size_t Count(uint8_t command) const {
    size_t n = 0;
    for (const auto& d : received) n += d.size() >= 2 && d[1] == command;
    return n;
  }
  const Bytes* Last(uint8_t command) const {
    for (auto it = received.rbegin(); it != received.rend(); ++it)
      if (it->size() >= 2 && (*it)[1] == command) return &*it;
    return nullptr;
  }
  std::unique_ptr<Endpoint> socket;
  std::vector<Bytes> received;
  std::string lastHost;
  uint16_t lastPort = 0;
};

class SimFixture : public testing::Test {
 protected:
  explicit SimFixture(uint64_t start_ms = 1000, sim::NatConfig natConfig = {})
      : net(7, start_ms),
        serverHost(net.AddHost(kServerIp)),
        nat(net.AddNat("10.0.0.2", natConfig)),
        clientHost(net.AddHost("192.168.1.10", &nat)) {}

  void CreateClient() {
    dlg = CEnVideoDlg::Create(clientHost, &Recorder::Callback, reinterpret_cast<uintptr_t>(&rec));
    ASSERT_TRUE(dlg);
  }
  void StartHub(uint64_t seed, vigil::hub::TraversalOptions options = {}) {
    options.seed = seed;
    hub = std::make_unique<vigil::hub::TraversalServer>(serverHost, options, [this](const std::string& line) {
      hubLog.push_back(line);
    });
    ASSERT_TRUE(hub->Start());
  }
  std::string Status(int type) const {
    const char* s = dlg->GetStatus(type);
    return s ? s : "(null)";
  }
  bool WaitEvent(int code, uint64_t limit_ms) {
    const size_t seen = rec.events.size();
    return net.RunUntil([&] {
      for (size_t i = seen; i < rec.events.size(); ++i)
        if (rec.events[i] == code) return true;
      return false;
    }, limit_ms);
  }
  static std::string G(const char* utf8) { return vigil::test::Gbk(utf8); }

  sim::Network net;
  sim::Host& serverHost;
  sim::Nat& nat;
  sim::Host& clientHost;
  Recorder rec;
  std::vector<std::string> hubLog;
  std::unique_ptr<vigil::hub::TraversalServer> hub;
  std::unique_ptr<CEnVideoDlg> dlg;
};

}  // namespace zellnet::test
