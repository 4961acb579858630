// The data channel on the simulated network: integrity through loss, duplication and
// reordering, the size limits of records and datagrams, keep-alive and the loss-of-link
// rules, and the hub's relay rate.
#include <random>

#include "PeerFixture.h"

namespace zellnet::test {
namespace {

using Message = std::pair<int, Bytes>;

std::vector<Message> RandomMessages(std::mt19937& random, size_t totalBytes) {
  std::vector<Message> messages;
  size_t total = 0;
  while (total < totalBytes) {
    // Mostly small and medium records, now and then the largest one.
    size_t size = random() % 8 == 0 ? 64996 : random() % 12000;
    Bytes payload(size);
    for (auto& byte : payload) byte = static_cast<uint8_t>(random());
    total += size;
    messages.emplace_back(static_cast<int>(random() % 256), std::move(payload));
  }
  return messages;
}

// Feeds `messages` into the instance's send ring as room appears.
struct Feeder {
  CEnVideoDlg& dlg;
  const std::vector<Message>& messages;
  size_t next = 0;
  void Pump() {
    while (next < messages.size() &&
           dlg.SendData(messages[next].second.data(), static_cast<int>(messages[next].second.size()),
                        static_cast<uint8_t>(messages[next].first), 1) == 1)
      ++next;
  }
};

struct PathCase {
  const char* name;
  const NatKind* a;
  const NatKind* b;
  int relayed;
};

class ZellnetDataIntegrity : public testing::TestWithParam<PathCase> {};

TEST_P(ZellnetDataIntegrity, EveryRecordArrivesOnceInOrderThroughLossDuplicationAndReordering) {
  PeerNet p(*GetParam().a, *GetParam().b, 11);
  p.net.SetProfile({0.05, 0.05, 20, 30});
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(p.ConnectAndWait(true));
  ASSERT_EQ(p.a().dlg->IsFromServer(), GetParam().relayed);
  std::mt19937 random(5);
  const auto forward = RandomMessages(random, 2'500'000);
  const auto backward = RandomMessages(random, 300'000);
  Feeder toB{*p.a().dlg, forward}, toA{*p.b().dlg, backward};
  const bool done = p.net.RunUntil([&] {
    toB.Pump();
    toA.Pump();
    return p.b().rec.data.size() >= forward.size() && p.a().rec.data.size() >= backward.size();
  }, 60 * 60 * 1000);
  ASSERT_TRUE(done) << "B has " << p.b().rec.data.size() << " of " << forward.size();
  EXPECT_TRUE(p.b().rec.data == forward);
  EXPECT_TRUE(p.a().rec.data == backward);
  EXPECT_EQ(p.a().rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED})) << "the link held";
  EXPECT_GT(p.net.counters().duplicated, 100u);
}

INSTANTIATE_TEST_SUITE_P(Paths, ZellnetDataIntegrity,
                         testing::Values(PathCase{"direct", &nat::kPortRestricted, &nat::kFullCone, 0},
                                         PathCase{"relayed", &nat::kSymmetricRandom, &nat::kSymmetric, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

class ZellnetDataLimits : public testing::TestWithParam<PathCase> {};

TEST_P(ZellnetDataLimits, LargestRecordAndDatagramsIntoTheReceiveRing) {
  PeerNet p(*GetParam().a, *GetParam().b);
  ASSERT_TRUE(p.Start(false));
  ASSERT_TRUE(p.ConnectAndWait(true));
  CEnVideoDlg& a = *p.a().dlg;
  CEnVideoDlg& b = *p.b().dlg;
  Bytes largest(64996);
  for (size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<uint8_t>(i ^ (i >> 8));
  EXPECT_EQ(a.SendData(largest.data(), 64997, 7, 1), 0) << "a record that could never leave is refused";
  ASSERT_EQ(a.SendData(largest.data(), 64996, 7, 1), 1);
  Bytes into(65000);
  ASSERT_TRUE(p.net.RunUntil([&] { return b.ReadData(into.data(), 64999) != 0; }, 10000) == false)
      << "a buffer one byte short of payload plus 4 leaves the record queued";
  ASSERT_EQ(b.ReadData(into.data(), 65000), 7 << 16 | 64996);
  EXPECT_TRUE(std::equal(largest.begin(), largest.end(), into.begin()));

  // The receiver reads at most 5,000 bytes of a datagram; an envelope takes 20 of them.
  const int largestDatagram = GetParam().relayed ? 4976 : 4996;
  for (int size : {0, largestDatagram + 1, largestDatagram}) ASSERT_EQ(a.SendData(largest.data(), size, 3, 0), 1);
  p.net.RunFor(500);
  EXPECT_EQ(b.ReadData(into.data(), 65000), 3 << 16 | 0);
  EXPECT_EQ(b.ReadData(into.data(), 65000), 3 << 16 | largestDatagram);
  EXPECT_EQ(b.ReadData(into.data(), 65000), 0) << "the oversized datagram was dropped";
  EXPECT_EQ(a.SendData(largest.data(), 200000, 3, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, ZellnetDataLimits,
                         testing::Values(PathCase{"direct", &nat::kNone, &nat::kRestricted, 0},
                                         PathCase{"relayed", &nat::kSymmetricRandom, &nat::kPortRestricted, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A peer that vanishes: an idle link notices it through the keep-alive rule (30 s without
// any packet), a busy one when a segment is due for its eleventh transmission.
struct VanishCase {
  const char* name;
  bool sending;
  uint32_t min_ms, max_ms;
};

class ZellnetVanishingPeer : public testing::TestWithParam<VanishCase> {};

TEST_P(ZellnetVanishingPeer, LinkLostInTime) {
  PeerNet p(nat::kFullCone, nat::kRestricted);
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(p.ConnectAndWait(true));
  p.net.RunFor(60000);  // idle: keep-alives hold the link
  EXPECT_EQ(p.a().rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED}));
  p.CutOff(p.b());
  const uint64_t cut = p.net.now_ms();
  Bytes data(4000, 1);
  if (GetParam().sending) {
    ASSERT_EQ(p.a().dlg->SendData(data.data(), 4000, 1, 1), 1);
  }
  ASSERT_TRUE(p.net.RunUntil([&] { return p.a().Has(NK_EVENT_DISCONNECTED); }, 60000));
  const uint64_t took = p.net.now_ms() - cut;
  EXPECT_GE(took, GetParam().min_ms);
  EXPECT_LE(took, GetParam().max_ms);
  EXPECT_EQ(p.a().rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED, NK_EVENT_DISCONNECTED}));
  EXPECT_EQ(p.a().Status(), vigil::test::Gbk("连接成功！")) << "a lost link leaves the text alone";
  char buffer[8];
  EXPECT_EQ(p.a().dlg->ReadData(buffer, sizeof buffer), -1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ZellnetVanishingPeer,
                         testing::Values(VanishCase{"idle", false, 22000, 31000},
                                         VanishCase{"sending", true, 15000, 18500}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ZellnetRelay, EachLinkKeepsToTheHubsByteRate) {
  vigil::hub::TraversalOptions options;
  options.relayBytesPerSecond = 40000;
  PeerNet p(nat::kSymmetricRandom, nat::kSymmetricRandom, 3, options);
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(p.ConnectAndWait(true));
  ASSERT_EQ(p.a().dlg->IsFromServer(), 1);
  std::mt19937 random(9);
  const auto messages = RandomMessages(random, 400'000);
  Feeder feeder{*p.a().dlg, messages};
  const uint64_t start = p.net.now_ms();
  ASSERT_TRUE(p.net.RunUntil([&] {
    feeder.Pump();
    return p.b().rec.data.size() == messages.size();
  }, 30 * 60 * 1000));
  const double seconds = static_cast<double>(p.net.now_ms() - start) / 1000.0;
  EXPECT_TRUE(p.b().rec.data == messages) << "what the hub dropped was resent";
  EXPECT_GE(seconds, 400'000 / 40000.0 - 1.0) << "no faster than the hub lets it";
  EXPECT_EQ(p.a().rec.events, (std::vector<int>{NK_EVENT_LOGIN, NK_EVENT_CONNECTED}));
}

}  // namespace
}  // namespace zellnet::test
