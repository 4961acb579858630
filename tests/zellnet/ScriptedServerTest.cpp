// The client's side of the login against a server the test scripts byte by byte: refusals,
// bad datagrams, strangers and the keep-alive family's rules.
#include "SimFixture.h"

namespace zellnet::test {
namespace {

class ZellnetScripted : public SimFixture {
 protected:
  ZellnetScripted() : server(serverHost) {}
  // Logs in and leaves the request waiting for an answer.
  void LoginPending() {
    CreateClient();
    ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
    net.RunFor(50);
    ASSERT_EQ(server.Count(cmd::kLogin), 1u);
  }
  uint8_t Seq() const { return (*server.Last(cmd::kLogin))[0]; }
  void Accept() {
    server.Reply(BuildLoginAcceptance(Seq(), 0x0200000a, 20000, 0x1234, 0x5678));
    net.RunFor(50);
    ASSERT_EQ(Status(NK_STATUS_ID), "1234@5678");
  }
  ScriptedServer server;
};

TEST_F(ZellnetScripted, RefusalsAndTheirStates) {
  struct Case {
    const char* answer;
    const char* status;
    std::vector<int> events;
  } cases[] = {{"upgrade", "版本太低", {}}, {"x", "有新版本", {NK_EVENT_LOGOUT}}, {"1abc", "有新版本", {NK_EVENT_LOGOUT}}};
  for (const auto& c : cases) {
    rec.events.clear();
    server.received.clear();
    LoginPending();
    server.Reply(BuildLoginRefusal(Seq(), c.answer));
    net.RunFor(50);
    EXPECT_EQ(Status(NK_STATUS_TEXT), G(c.status)) << c.answer;
    EXPECT_EQ(Status(NK_STATUS_ONLINE), G("离线"));
    EXPECT_EQ(rec.events, c.events);
    net.RunFor(20000);
    EXPECT_EQ(server.Count(cmd::kLogin), 1u) << "no resend after a refusal";
    EXPECT_EQ(dlg->Login(kServerIp, kSerial), 1) << "a refused instance may log in again";
    net.RunFor(50);
    EXPECT_EQ(server.Count(cmd::kLogin), 2u);
    CEnVideoDlg::Destroy(std::move(dlg));
  }
}

TEST_F(ZellnetScripted, AnswersThatDoNotMatchAreIgnored) {
  LoginPending();
  server.Reply(BuildLoginAcceptance(static_cast<uint8_t>(Seq() + 1), 1, 2, 3, 4));  // wrong sequence
  net.RunFor(2500);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("登陆服务器!"));
  EXPECT_EQ(server.Count(cmd::kLogin), 2u) << "the request keeps being resent";
  Accept();
  server.Reply(BuildLoginAcceptance(Seq(), 1, 2, 0x999, 0x888));  // second acceptance
  net.RunFor(50);
  EXPECT_EQ(Status(NK_STATUS_ID), "1234@5678");
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN});
}

TEST_F(ZellnetScripted, LoginAnswerFromAStrangerIsIgnored) {
  sim::Host& stranger = net.AddHost("10.0.0.66");
  sim::Host& sameHostOtherPort = serverHost;
  LoginPending();
  const std::string natIp = server.lastHost;
  const uint16_t natPort = server.lastPort;
  auto strangerSocket = stranger.Bind({}, kServerPort, [] {});
  auto otherPortSocket = sameHostOtherPort.Bind({}, 9602, [] {});
  for (int seq = 0; seq < 256; ++seq) {
    auto forged = BuildLoginAcceptance(static_cast<uint8_t>(seq), 1, 2, 0xbad, 0xbad);
    strangerSocket->SendTo(natIp, natPort, forged);
    otherPortSocket->SendTo(natIp, natPort, forged);
  }
  net.RunFor(100);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("登陆服务器!"));
  EXPECT_TRUE(rec.events.empty());
  Accept();
}

TEST_F(ZellnetScripted, BadDatagramsChangeNothing) {
  LoginPending();
  Accept();
  const Bytes good = BuildKeepAliveAnswer(kAliveTag);
  std::vector<Bytes> bad = {
      {},
      {29},
      {29, '!'},
      {29, '!', 0},
      {29, '!', 1, 0},                      // length says more
      {29, '!', 0, 0, 0},                   // length says less
      {7, 'c', 0, 0},                       // login answer without text
      {0x42, 0x99, 0, 0},                   // unknown commands
      {0x1c, 'w', 0, 0},
      {0, 0x20, 1, 0, 0},
      BuildMessage(1, cmd::kAlive, Bytes(4996, 0)),  // 5000 bytes: read, but its length is 4996
      BuildMessage(1, 'z', Bytes(4997, 0)),  // 5001 bytes: lost
  };
  bad.back()[2] = 0;
  for (const auto& d : bad) server.Reply(d);
  net.RunFor(50);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("登陆成功"));
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN});
  EXPECT_TRUE(rec.data.empty());
  // The 5000-byte datagram was a keep-alive answer (tag 1) and only refreshed the contact;
  // the next keep-alive and its answer work as before.
  net.RunFor(12000);
  ASSERT_EQ(server.Count(cmd::kAlive), 1u);
  server.Reply(good);
  net.RunFor(2500);
  EXPECT_EQ(server.Count(cmd::kAlive), 1u) << "answered keep-alive is not resent";
}

TEST_F(ZellnetScripted, KeepAliveFamilyRules) {
  LoginPending();
  server.Reply(BuildServerProbe(0x5678));  // before the acceptance: ignored
  net.RunFor(50);
  EXPECT_EQ(server.Count(cmd::kAlive), 0u);
  Accept();
  server.Reply(BuildServerProbe(0x9999));  // someone else's ID half 2
  net.RunFor(50);
  EXPECT_EQ(server.Count(cmd::kAlive), 0u);
  server.Reply(BuildServerProbe(0x5678));
  net.RunFor(50);
  ASSERT_EQ(server.Count(cmd::kAlive), 1u);
  EXPECT_EQ(*server.Last(cmd::kAlive), BuildProbeReply({0x1234, 0x5678}));

  // First keep-alive at the first tick more than 10 s after the last contact.
  net.RunFor(10000);
  EXPECT_EQ(server.Count(cmd::kAlive), 1u);
  net.RunFor(1100);
  ASSERT_EQ(server.Count(cmd::kAlive), 2u);
  EXPECT_EQ(*server.Last(cmd::kAlive), BuildKeepAlive({0x1234, 0x5678}));
  // An answer with tag 30 refreshes the contact but leaves the keep-alive (tag 28) pending.
  server.Reply(BuildMessage(30, cmd::kAlive, Bytes{}));
  net.RunFor(2100);
  EXPECT_EQ(server.Count(cmd::kAlive), 3u);
  server.Reply(BuildKeepAliveAnswer(kAliveTag));
  net.RunFor(9000);
  EXPECT_EQ(server.Count(cmd::kAlive), 3u);
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN});
}

TEST_F(ZellnetScripted, DataFromTheServerReachesCallbackOrRing) {
  LoginPending();
  Accept();
  server.Reply(BuildDatagram(3, Bytes{}));
  server.Reply(BuildDataRecord(9, Bytes{1, 2, 3}));
  server.Reply({5, 'g', 10, 0, 7, 7});  // 'g' may lie about its length: capped
  net.RunFor(50);
  ASSERT_EQ(rec.data.size(), 3u);
  EXPECT_EQ(rec.data[0], (std::pair<int, Bytes>{3, {}}));
  EXPECT_EQ(rec.data[1], (std::pair<int, Bytes>{9, {1, 2, 3}}));
  EXPECT_EQ(rec.data[2], (std::pair<int, Bytes>{5, {7, 7}}));
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_LOGIN}) << "type 3 data is not an event";
  uint8_t buffer[64];
  EXPECT_EQ(dlg->ReadData(buffer, sizeof buffer), -1) << "with a callback the ring stays empty";
}

TEST_F(ZellnetScripted, WithoutCallbackDataWaitsInTheRing) {
  dlg = CEnVideoDlg::Create(clientHost, nullptr, 0);
  ASSERT_EQ(dlg->Login(kServerIp, kSerial), 1);
  net.RunFor(50);
  server.Reply(BuildLoginAcceptance(Seq(), 1, 2, 3, 4));
  server.Reply(BuildDatagram(0x41, Bytes(7, 0xee)));
  net.RunFor(50);
  uint8_t buffer[16] = {};
  EXPECT_EQ(dlg->ReadData(buffer, 10), -1) << "7 bytes need an 11-byte buffer";
  EXPECT_EQ(dlg->ReadData(buffer, 11), 0x41 << 16 | 7);
  EXPECT_EQ(buffer[6], 0xee);
  EXPECT_EQ(dlg->ReadData(buffer, 16), -1);
}

TEST_F(ZellnetScripted, ExportsWithoutALink) {
  CreateClient();
  EXPECT_EQ(dlg->IsFromServer(), 0);
  dlg->StopChat();
  const uint8_t payload[10] = {};
  EXPECT_EQ(dlg->SendData(payload, 10, 1, 0), 0) << "a datagram needs a link";
  EXPECT_EQ(dlg->SendData(payload, 10, 1, 1), 1) << "a record waits for the next link";
  EXPECT_EQ(dlg->SendData(nullptr, 64997, 1, 1), 0);
  EXPECT_EQ(dlg->SendData(payload, -1, 1, 1), 0);
  struct Case {
    const char* id;
    const char* status;
  } cases[] = {{"", "对方格式不对!"}, {"abc", "对方格式不对!"}, {"@12", "对方格式不对!"},
               {"0@0", "不能连接自己!"}};
  for (const auto& c : cases) {
    EXPECT_EQ(dlg->Connect(c.id, 1), 0) << c.id;
    EXPECT_EQ(Status(NK_STATUS_TEXT), G(c.status)) << c.id;
  }
  EXPECT_EQ(dlg->Connect(nullptr, 1), 0);
  EXPECT_EQ(dlg->Login(nullptr, kSerial), 0);
  EXPECT_EQ(dlg->Login("", kSerial), 0);
  EXPECT_EQ(dlg->Login(kServerIp, "short"), 0) << "the token needs 16 key bytes";
  EXPECT_EQ(dlg->Login(kServerIp, nullptr), 0);
  EXPECT_EQ(Status(NK_STATUS_ONLINE), G("离线"));
  // Without a login the request still leaves (with zero ID halves, to nowhere) and is
  // given up like any unanswered request.
  EXPECT_EQ(dlg->Connect("1@2", 1), 1);
  net.RunFor(13000);
  EXPECT_EQ(Status(NK_STATUS_TEXT), G("连接失败"));
  EXPECT_EQ(rec.events, std::vector<int>{NK_EVENT_DISCONNECTED});
  EXPECT_EQ(dlg->IsFromServer(), 0);
}

}  // namespace
}  // namespace zellnet::test
