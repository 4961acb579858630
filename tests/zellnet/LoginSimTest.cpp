// Login and keep-alive against the real traversal server on the simulated network.
#include "SimFixture.h"

namespace zellnet::test {
namespace {

class ZellnetLoginSim : public SimFixture {};

TEST_F(ZellnetLoginSim, LoginGivesIdAndKeepsItAlive) {
  StartHub(11);
  CreateClient();
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("未登陆"));
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("离线"));
  EXPECT_EQ(Status(NK_STATUS_ID), "");
  EXPECT_EQ(Status(3), "(null)");
  EXPECT_EQ(Status(5), "(null)");
  net.AddName("hub.example", kServerIp);
  ASSERT_EQ(dlg->Login("hub.example", kSerial), 1);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("登陆服务器!"));
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("等待"));
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGIN, 1000));
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("登陆成功"));
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("在线"));
  char id[24];
  std::snprintf(id, sizeof id, "%x@%x", dlg->m_dwID1, dlg->m_dwID2);
  EXPECT_EQ(Status(NK_STATUS_ID), id);
  ASSERT_EQ(hubLog.size(), 2u);
  EXPECT_NE(hubLog[1].find(std::string("login ") + id + " from 10.0.0.2:"), std::string::npos) << hubLog[1];

  EXPECT_EQ(dlg->Login(kServerIp, kSerial), 0);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("已经连接"));

  net.RunFor(10 * 60 * 1000);  // keep-alives every ~11 s hold the login
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN});
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("在线"));
  EXPECT_EQ(hub->clientCount(), 1u);

  CEnVideoDlg::Destroy(std::move(dlg));  // logs out
  net.RunFor(100);
  EXPECT_EQ(hub->clientCount(), 0u);
  EXPECT_NE(hubLog.back().find("logged out"), std::string::npos);
}

TEST_F(ZellnetLoginSim, UnreachableServerTimesOutForGood) {
  size_t requests = 0;
  net.SetDropRule([&](const sim::Packet& p) { return requests += p.bytes[1] == cmd::kLogin, false; });
  CreateClient();
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
  // Sent at 0, 2, 4, 6, 8 and 10 s; given up at the tick of 12 s.
  net.RunFor(11500);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("登陆服务器!"));
  net.RunFor(1000);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("登陆失败!"));
  EXPECT_EQ(requests, 6u);
  EXPECT_TRUE(rec.events.empty());
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("等待"));
  EXPECT_EQ(dlg->Login(kServerIp, kSerial), 0);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("正在连接"));
  StartHub(1);  // a late server changes nothing: the request is gone
  net.RunFor(60000);
  EXPECT_EQ(requests, 6u);
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("等待"));
}

TEST_F(ZellnetLoginSim, RestartedServerMeansOfflineThenNewIds) {
  StartHub(1);
  CreateClient();
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGIN, 1000));
  const std::string firstId = Status(NK_STATUS_ID);
  hub.reset();
  StartHub(2);  // knows nobody: keep-alives stay unanswered
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGOUT, 30000));
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("不在线"));
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("离线"));
  EXPECT_EQ(Status(NK_STATUS_ID), "");
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);  // the caller logs in again
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGIN, 1000));
  EXPECT_NE(Status(NK_STATUS_ID), firstId);
  EXPECT_EQ(rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_LOGOUT, NK_EVENT_LOGIN}));
}

struct LossCase {
  uint32_t lost_ms;  // keep-alive answers dropped for this long after login
  bool loggedOut;
};

class ZellnetKeepAliveLoss : public SimFixture, public testing::WithParamInterface<LossCase> {};

TEST_P(ZellnetKeepAliveLoss, ReportsLogoutOnlyWhenEveryRetryIsLost) {
  StartHub(3);
  CreateClient();
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGIN, 1000));
  const uint64_t until = net.now_ms() + GetParam().lost_ms;
  net.SetDropRule([&](const sim::Packet& p) {
    return net.now_ms() < until && p.bytes[1] == cmd::kAlive && p.bytes[0] == kProbeReplyTag;
  });
  net.RunFor(GetParam().lost_ms + 40000);
  EXPECT_EQ(Status(NK_STATUS_TEXT), GetParam().loggedOut ? G("不在线") : G("登陆成功"));
  EXPECT_EQ(rec.events.size(), GetParam().loggedOut ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, ZellnetKeepAliveLoss,
                         testing::Values(LossCase{9000, false}, LossCase{18000, false},
                                         LossCase{25000, true}, LossCase{60000, true}));

struct NetCase {
  const char* name;
  sim::PathProfile profile;
  sim::NatConfig nat;
};

class ZellnetLoginNetworks : public SimFixture, public testing::WithParamInterface<NetCase> {
 protected:
  ZellnetLoginNetworks() : SimFixture(1000, GetParam().nat) {}
};

TEST_P(ZellnetLoginNetworks, StaysLoggedInForTenMinutes) {
  net.SetProfile(GetParam().profile);
  StartHub(5);
  CreateClient();
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGIN, 20000));
  net.RunFor(10 * 60 * 1000);
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN});
  EXPECT_EQ(hub->clientCount(), 1u);
}

using sim::Filtering;
using sim::Mapping;
using sim::PortAllocation;
INSTANTIATE_TEST_SUITE_P(
    Table, ZellnetLoginNetworks,
    testing::Values(
        NetCase{"clean", {}, {}},
        NetCase{"lossy", {0.2, 0.05, 30, 200}, {}},
        NetCase{"slowReordering", {0.05, 0.2, 400, 1500}, {}},
        NetCase{"symmetricRandom", {0.05, 0, 20, 20},
                {Mapping::kAddressAndPortDependent, Filtering::kAddressAndPortDependent, PortAllocation::kRandom}},
        // A mapping that outlives no silence: each keep-alive arrives from a new port.
        NetCase{"shortMappings", {0, 0, 5, 0},
                {Mapping::kEndpointIndependent, Filtering::kAddressDependent, PortAllocation::kSequential, 5000}}),
    [](const auto& info) { return std::string(info.param.name); });

// The tick counter wraps 49.7 days after boot; login and keep-alive go on across it.
class ZellnetClockWrap : public SimFixture {
 protected:
  ZellnetClockWrap() : SimFixture(0xffffffffull - 15000) {}
};

TEST_F(ZellnetClockWrap, KeepAliveAcrossTheWrap) {
  StartHub(9);
  CreateClient();
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGIN, 1000));
  net.RunFor(5 * 60 * 1000);
  EXPECT_LT(static_cast<Tick>(net.now_ms()), 0x10000000u);  // wrapped
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN});
  hub.reset();  // and loss of the server is still noticed after the wrap
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGOUT, 30000));
}

}  // namespace
}  // namespace zellnet::test

namespace zellnet::test {
namespace {

// A flood of logins from spoofed addresses fills the table up to its bound and no further,
// and never pushes out a client whose address is real (it answers keep-alives).
TEST_F(ZellnetLoginSim, SpoofedLoginFloodStaysWithinTheTableAndSparesRealClients) {
  vigil::hub::TraversalOptions options;
  options.maxClients = 50;
  StartHub(11, options);
  CreateClient();
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
  ASSERT_TRUE(WaitEvent(NK_EVENT_LOGIN, 1000));
  net.RunFor(30'000);  // its keep-alives confirm its address
  const uint32_t server = *ValueFromDotted(kServerIp);
  for (uint32_t i = 0; i < 5000; ++i) {
    sim::Packet p;
    p.srcIp = *ValueFromDotted("172.16.0.0") + i;  // never answers: nobody lives there
    p.srcPort = static_cast<uint16_t>(40000 + i % 1000);
    p.dstIp = server;
    p.dstPort = kServerPort;
    p.bytes = BuildLoginRequest(static_cast<uint8_t>(i), "192.168.9.9", kSerial);
    net.Inject(std::move(p));
    if (i % 100 == 0) net.RunFor(10);
  }
  net.RunFor(1000);
  EXPECT_LE(hub->clientCount(), 50u);
  net.RunFor(3 * 60 * 1000);
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN});
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("在线"));
  EXPECT_LE(hub->clientCount(), 50u);
}

}  // namespace
}  // namespace zellnet::test
