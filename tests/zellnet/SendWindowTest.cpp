// The send window's bookkeeping: which acknowledgements count, how the base slides, when a
// slot falls due, and the 16-bit wrap of sequence numbers.
#include <gtest/gtest.h>

#include <set>

#include "zellnet/src/CEnThreadData.h"
#include "zellnet/src/CUdpThread.h"

namespace zellnet {
namespace {

// A window with `count` segments sent from sequence `first` on (the base walked there first).
CUdpThread WindowAt(uint16_t first, int count, Tick now) {
  CUdpThread w;
  for (uint32_t s = 0; s < first; ++s) {
    w.MarkSent(static_cast<uint8_t>(s), now);
    EXPECT_TRUE(w.Acknowledge(static_cast<uint16_t>(s)));
  }
  for (int i = 0; i < count; ++i) w.MarkSent(static_cast<uint8_t>(first + i), now);
  return w;
}

TEST(ZellnetSendWindow, AcknowledgementsThatCountAndTheSlidingBase) {
  CUdpThread w = WindowAt(100, 5, 0);
  EXPECT_FALSE(w.Acknowledge(99)) << "already slid past";
  EXPECT_FALSE(w.Acknowledge(100 + 31)) << "more than 30 ahead";
  EXPECT_FALSE(w.Acknowledge(105)) << "not in flight";
  EXPECT_TRUE(w.Acknowledge(102));
  EXPECT_FALSE(w.Acknowledge(102)) << "a duplicate";
  EXPECT_EQ(w.base(), 100);
  EXPECT_TRUE(w.Acknowledge(100));
  EXPECT_EQ(w.base(), 101);
  EXPECT_TRUE(w.Acknowledge(101));
  EXPECT_EQ(w.base(), 103) << "slides past every acknowledged slot at its front";
  EXPECT_EQ(w.span(), 2);
}

TEST(ZellnetSendWindow, WrapsFrom65535ToZero) {
  CUdpThread w = WindowAt(65534, 4, 0);  // 65534, 65535, 0, 1
  EXPECT_TRUE(w.Acknowledge(0));
  EXPECT_TRUE(w.Acknowledge(65534));
  EXPECT_TRUE(w.Acknowledge(65535));
  EXPECT_EQ(w.base(), 1);
  EXPECT_TRUE(w.Acknowledge(1));
  EXPECT_EQ(w.base(), 2);
  EXPECT_EQ(w.span(), 0);
}

TEST(ZellnetSendWindow, WindowRoomAndDueRetransmissions) {
  CUdpThread w;
  for (int i = 0; i < CUdpThread::kWindow; ++i) {
    ASSERT_EQ(w.AskForWork(static_cast<Tick>(i)).kind, CUdpThread::WorkKind::kNewData);
    w.MarkSent(static_cast<uint8_t>(i), static_cast<Tick>(i));
  }
  EXPECT_EQ(w.AskForWork(1000).kind, CUdpThread::WorkKind::kNothing) << "30 in flight";
  EXPECT_EQ(w.AskForWork(1500).kind, CUdpThread::WorkKind::kNothing) << "due only more than 1.5 s later";
  // Every due slot comes up once per round (from wherever the cursor stands), with its
  // transmission count.
  for (int round = 1; round <= 2; ++round) {
    const Tick now = 1501u + 2000u * static_cast<Tick>(round - 1) + 100u;
    std::set<int> slots;
    for (int i = 0; i < CUdpThread::kWindow; ++i) {
      auto work = w.AskForWork(now);
      ASSERT_EQ(work.kind, CUdpThread::WorkKind::kRetransmit) << round << " " << i;
      slots.insert(work.slot);
      EXPECT_EQ(work.count, static_cast<uint32_t>(round));
      w.MarkResent(now);
    }
    EXPECT_EQ(slots.size(), static_cast<size_t>(CUdpThread::kWindow));
    EXPECT_EQ(*slots.rbegin(), CUdpThread::kWindow - 1);
    EXPECT_EQ(w.AskForWork(now).kind, CUdpThread::WorkKind::kNothing);
  }
  EXPECT_TRUE(w.Acknowledge(0));
  EXPECT_EQ(w.AskForWork(10000).kind, CUdpThread::WorkKind::kRetransmit) << "the others are still due";
}

}  // namespace
}  // namespace zellnet

namespace zellnet {
namespace {

TEST(ZellnetSendRing, AnEmptyRingTakesTheLargestRecordWhereverItsOffsetsStand) {
  CEnThreadData ring(65936);
  const std::array<uint8_t, 4> header{1, 'h', 0, 0};
  std::vector<uint8_t> payload(30000), out(65000);
  ASSERT_TRUE(ring.Push(header, payload));
  ASSERT_TRUE(ring.PopRaw(out));  // empty again, its offsets in the middle
  payload.resize(64996);
  ASSERT_TRUE(ring.Push(header, payload));
  EXPECT_EQ(ring.PopRaw(out), 65000u);
  EXPECT_TRUE(ring.empty());
}

}  // namespace
}  // namespace zellnet
