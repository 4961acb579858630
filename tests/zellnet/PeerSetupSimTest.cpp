// Peer link set-up on the simulated network against the real traversal server: every pair
// of NAT behaviours, the refusals and time-outs of a request, the graceful end.
#include "PeerFixture.h"

namespace zellnet::test {
namespace {

std::string G(const char* utf8) { return vigil::test::Gbk(utf8); }

// --- the NAT matrix ---------------------------------------------------------------------
// Where punching works the link is direct; where it cannot (a symmetric side meets a
// side whose filtering needs the exact port, or two address-dependent mappings that never
// learn each other's port) both sides fall back to the relay after the requester's scan
// and the target's probes run out.
enum class Way { kDirect, kRelay };
struct MatrixCell {
  const NatKind* a;  // requester
  const NatKind* b;  // target
  Way way;
};

class ZellnetNatMatrix : public testing::TestWithParam<MatrixCell> {};

TEST_P(ZellnetNatMatrix, LinksDirectlyOrThroughTheRelay) {
  const MatrixCell& cell = GetParam();
  PeerNet p(*cell.a, *cell.b);
  ASSERT_TRUE(p.Start());
  const uint64_t start = p.net.now_ms();
  ASSERT_TRUE(p.ConnectAndWait(true)) << p.a().Status();
  const uint64_t took_ms = p.net.now_ms() - start;
  const int relayed = cell.way == Way::kRelay ? 1 : 0;
  EXPECT_EQ(p.a().dlg->IsFromServer(), relayed);
  EXPECT_EQ(p.b().dlg->IsFromServer(), relayed);
  if (relayed) {
    // The requester's scan ends after about 20 s, the target's probes after 25 s.
    EXPECT_GE(took_ms, 20000u);
    EXPECT_LE(took_ms, 26000u);
  } else {
    EXPECT_LE(took_ms, 10500u);
  }
  EXPECT_EQ(p.a().Status(), G("连接成功！"));
  EXPECT_EQ(p.a().rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED}));
  EXPECT_EQ(p.b().rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED}));

  // Both directions carry records after the link is up.
  Bytes big(30000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(p.a().dlg->SendData(big.data(), static_cast<int>(big.size()), 9, 1), 1);
  ASSERT_EQ(p.b().dlg->SendData("pong", 4, 100, 1), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return !p.a().rec.data.empty() && !p.b().rec.data.empty(); }, 20000));
  EXPECT_EQ(p.b().rec.data[0], (std::pair<int, Bytes>{9, big}));
  EXPECT_EQ(p.a().rec.data[0], (std::pair<int, Bytes>{100, Bytes{'p', 'o', 'n', 'g'}}));
}

std::vector<MatrixCell> Matrix() {
  using namespace nat;
  const NatKind* kinds[] = {&kNone, &kFullCone, &kRestricted, &kPortRestricted, &kAddressMapping, &kSymmetric,
                            &kSymmetricRandom};
  // Rows: requester; columns: target, in the order of `kinds`. R = relay, d = direct.
  const char* table[] = {
      "ddddddd",  // none
      "ddddddd",  // full cone
      "ddddddd",  // restricted cone
      "ddddddR",  // port-restricted cone
      "dddRdRR",  // address-dependent mapping and filtering
      "dddRdRR",  // symmetric, sequential ports
      "dddRdRR",  // symmetric, random ports
  };
  std::vector<MatrixCell> cells;
  for (size_t row = 0; row < 7; ++row)
    for (size_t column = 0; column < 7; ++column)
      cells.push_back({kinds[row], kinds[column], table[row][column] == 'R' ? Way::kRelay : Way::kDirect});
  return cells;
}

INSTANTIATE_TEST_SUITE_P(Cells, ZellnetNatMatrix, testing::ValuesIn(Matrix()), [](const auto& info) {
  return std::string(info.param.a->name) + "_to_" + info.param.b->name;
});

// --- set-up failures ----------------------------------------------------------------------

TEST(ZellnetPeerSetup, WithoutRelayAFailedPunchEndsTheLinkOnBothSides) {
  PeerNet p(nat::kSymmetricRandom, nat::kSymmetricRandom);
  ASSERT_TRUE(p.Start());
  ASSERT_EQ(p.a().dlg->Connect(p.b().Id().c_str(), 0), 1);
  p.net.RunFor(40000);
  for (PeerSide* side : {&p.a(), &p.b()}) {
    EXPECT_EQ(side->Status(), G("连接失败！"));
    EXPECT_EQ(side->rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_DISCONNECTED, NK_EVENT_DISCONNECTED}));
    EXPECT_EQ(side->dlg->IsFromServer(), 0);
    char buffer[16];
    EXPECT_EQ(side->dlg->ReadData(buffer, sizeof buffer), -1) << "no link socket is left";
  }
  EXPECT_EQ(p.hub->relayCount(), 0u) << "the hub prepares no relay that the requester refused";
}

TEST(ZellnetPeerSetup, RequestsThatCannotStart) {
  PeerNet p(nat::kFullCone, nat::kFullCone);
  ASSERT_TRUE(p.Start());
  CEnVideoDlg& a = *p.a().dlg;
  const struct {
    const char* id;
    const char* status;
  } refused[] = {{"", "对方格式不对!"}, {"1234", "对方格式不对!"}, {"@5", "对方格式不对!"}};
  for (const auto& c : refused) {
    EXPECT_EQ(a.Connect(c.id, 1), 0) << c.id;
    EXPECT_EQ(p.a().Status(), G(c.status)) << c.id;
  }
  EXPECT_EQ(a.Connect(nullptr, 1), 0);
  EXPECT_EQ(a.Connect(p.a().Id().c_str(), 1), 0);
  EXPECT_EQ(p.a().Status(), G("不能连接自己!"));
  ASSERT_EQ(a.Connect(p.b().Id().c_str(), 1), 1);
  EXPECT_EQ(a.Connect(p.b().Id().c_str(), 1), 0) << "one link at a time";
  EXPECT_EQ(p.a().Status(), G("在连接!"));
  ASSERT_TRUE(p.net.RunUntil([&] { return p.a().Has(NK_EVENT_CONNECTED); }, 2000)) << "the first attempt goes on";
}

TEST(ZellnetPeerSetup, AnswersOfTheTargetSide) {
  PeerNet p(nat::kPortRestricted, nat::kNone);
  ASSERT_TRUE(p.Start());
  // A third client, C, on the public side.
  PeerSide c;
  c.host = &p.net.AddHost("10.0.0.9");
  c.dlg = CEnVideoDlg::Create(*c.host, &Recorder::Callback, reinterpret_cast<uintptr_t>(&c.rec));
  ASSERT_EQ(c.dlg->Login(kServerIp, kSerial), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return c.Has(NK_EVENT_LOGIN); }, 2000));

  // B is busy with A: C is told so.
  ASSERT_TRUE(p.ConnectAndWait(true));
  ASSERT_EQ(c.dlg->Connect(p.b().Id().c_str(), 1), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return c.Has(NK_EVENT_DISCONNECTED); }, 2000));
  EXPECT_EQ(c.Status(), G("对方忙！"));
  EXPECT_EQ(p.b().rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED})) << "B's link is untouched";

  // A target that logged out: the hub answers for it.
  const std::string goneId = p.a().Id();
  CEnVideoDlg::Destroy(std::move(p.a().dlg));
  p.net.RunFor(100);
  c.rec.events.clear();
  ASSERT_EQ(c.dlg->Connect(goneId.c_str(), 1), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return c.Has(NK_EVENT_DISCONNECTED); }, 2000));
  EXPECT_EQ(c.Status(), G("对方下线"));

  // A request that never reaches anyone is given up after six transmissions.
  c.rec.events.clear();
  size_t requests = 0;
  p.net.SetDropRule([&](const sim::Packet& packet) { return packet.bytes[1] == cmd::kConnect && ++requests; });
  ASSERT_EQ(c.dlg->Connect(p.b().Id().c_str(), 1), 1);
  p.net.RunFor(13000);
  EXPECT_EQ(requests, 6u);
  EXPECT_EQ(c.Status(), G("连接失败"));
  EXPECT_EQ(c.rec.events, std::vector<int>{NK_EVENT_DISCONNECTED});
}

TEST(ZellnetPeerSetup, TargetGivesUpAnAnswerThatIsNeverConfirmed) {
  PeerNet p(nat::kSymmetricRandom, nat::kSymmetricRandom);
  ASSERT_TRUE(p.Start());
  p.net.SetDropRule([](const sim::Packet& packet) { return packet.bytes[1] == cmd::kConfirm; });
  ASSERT_EQ(p.a().dlg->Connect(p.b().Id().c_str(), 1), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return p.b().Has(NK_EVENT_DISCONNECTED); }, 20000));
  EXPECT_EQ(p.b().Status(), G("监听失败"));
}

// --- the end of a link ----------------------------------------------------------------------

TEST(ZellnetPeerLink, StopChatSendsWhatIsBufferedAndLeavesTheRestForTheNextLink) {
  PeerNet p(nat::kRestricted, nat::kPortRestricted);
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(p.ConnectAndWait(true));
  PeerSide& a = p.a();
  PeerSide& b = p.b();
  constexpr int kRecords = 10;
  constexpr int kOutgoing = 6;  // as many 10,000-byte records as the outgoing buffer holds
  auto queue = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      Bytes record(10000, static_cast<uint8_t>(i));
      ASSERT_EQ(a.dlg->SendData(record.data(), static_cast<int>(record.size()), static_cast<uint8_t>(i), 1), 1);
    }
  };
  queue(0, kOutgoing);
  ASSERT_TRUE(p.net.RunUntil([&] { return !b.rec.data.empty(); }, 10000));
  queue(kOutgoing, kRecords);  // into the send ring, behind what the link has taken
  a.dlg->StopChat();
  ASSERT_TRUE(p.net.RunUntil([&] { return a.Has(NK_EVENT_DISCONNECTED) && b.Has(NK_EVENT_DISCONNECTED); }, 20000));
  p.net.RunFor(1000);
  EXPECT_EQ(a.rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED, NK_EVENT_DISCONNECTED}));
  EXPECT_EQ(b.rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED, NK_EVENT_DISCONNECTED,
                                            NK_EVENT_DISCONNECTED}));
  EXPECT_EQ(b.Status(), G("停止!"));
  EXPECT_EQ(a.Status(), G("连接成功！")) << "a graceful end leaves the text alone";
  EXPECT_EQ(b.rec.data.size(), static_cast<size_t>(kOutgoing)) << "the send ring's records wait for the next link";

  // The next link carries the rest, in order.
  a.rec.events.clear();
  b.rec.events.clear();
  ASSERT_EQ(a.dlg->Connect(b.Id().c_str(), 1), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return b.rec.data.size() == static_cast<size_t>(kRecords); }, 20000));
  for (int i = 0; i < kRecords; ++i) EXPECT_EQ(b.rec.data[i], (std::pair<int, Bytes>{i, Bytes(10000, static_cast<uint8_t>(i))}));
}

// The callback may end the instance while the link delivers records to it.
struct Destroyer {
  std::unique_ptr<CEnVideoDlg>* dlg = nullptr;
  int received = 0;
  static void Callback(const unsigned char* pBuf, int, unsigned char, uintptr_t user) {
    auto* self = reinterpret_cast<Destroyer*>(user);
    if (pBuf && ++self->received == 2) CEnVideoDlg::Destroy(std::move(*self->dlg));
  }
};

TEST(ZellnetPeerLink, DestroyInsideTheDataCallbackEndsTheLinkForThePeer) {
  PeerNet p(nat::kFullCone, nat::kFullCone);
  ASSERT_TRUE(p.Start());
  // B's instance is replaced by one whose callback destroys it at the second record.
  Destroyer destroyer;
  auto& b = p.b().dlg;
  destroyer.dlg = &b;
  b = CEnVideoDlg::Create(*p.b().host, &Destroyer::Callback, reinterpret_cast<uintptr_t>(&destroyer));
  ASSERT_EQ(b->Login(kServerIp, kSerial), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return b->m_dwID1 != 0; }, 2000));
  ASSERT_EQ(p.a().dlg->Connect(b->m_strMyID.c_str(), 1), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return p.a().Has(NK_EVENT_CONNECTED); }, 5000));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(p.a().dlg->SendData("x", 1, 1, 1), 1);
  ASSERT_TRUE(p.net.RunUntil([&] { return !b; }, 5000));
  EXPECT_EQ(destroyer.received, 2);
  ASSERT_TRUE(p.net.RunUntil([&] { return p.a().Has(NK_EVENT_DISCONNECTED); }, 5000)) << "the stop notice arrived";
  EXPECT_EQ(p.a().Status(), G("停止!"));
}

}  // namespace
}  // namespace zellnet::test
