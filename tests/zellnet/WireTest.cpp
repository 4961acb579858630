// Byte layouts of the wire units, checked against hand-written byte tables.
#include <gtest/gtest.h>

#include <string>

#include "zellnet/src/Wire.h"

namespace zellnet {
namespace {

Bytes B(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(ZellnetWireLogin, RequestCarriesVersionTabAndToken) {
  Bytes expected = Cat({B({0x5a, 'c', 16, 0}), Text("2.0.0.0\t"),
                        B({0x04, 0x23, 0x05, 0x23, 0x0e, 0x23, 0x0b, 0x00})});
  EXPECT_EQ(BuildLoginRequest(0x5a, "1.2.3.4", "0123456789abcdef"), expected);
}

TEST(ZellnetWireLogin, TokenOfLongAddressReusesSerialFromItsStart) {
  // 20 characters: serial bytes 0-15, then 0-3 again.
  EXPECT_EQ(LoginToken("192.168.100.200:9601", "ABCDEFGHIJKLMNOP-ignored"),
            B({0x73, 0x7f, 0x76, 0x70, 0x7b, 0x78, 0x88, 0x70, 0x83, 0x86, 0x88, 0x70, 0x8e,
               0x8e, 0x90, 0x7c, 0x8b, 0x88, 0x88, 0x8b}));
}

TEST(ZellnetWireLogin, ZeroTokenByteEndsTheText) {
  // ('a' ^ 0x9c) + 0 + 3 == 256.
  std::string serial = "\x9c" "123456789abcdef";
  Bytes request = BuildLoginRequest(1, "ab", serial);
  EXPECT_EQ(request, Cat({B({1, 'c', 9, 0}), Text("2.0.0.0\t"), B({0})}));
  auto parsed = ParseLoginRequest(request);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->version, "2.0.0.0");
  EXPECT_TRUE(parsed->token.empty());
}

struct AnswerCase {
  const char* name;
  Bytes datagram;
  std::optional<AnswerKind> kind;  // nullopt: malformed, ignored
  uint32_t port, ip, id1, id2;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class ZellnetWireLoginAnswer : public testing::TestWithParam<AnswerCase> {};

TEST_P(ZellnetWireLoginAnswer, Parses) {
  const AnswerCase& c = GetParam();
  auto answer = ParseLoginAnswer(c.datagram);
  ASSERT_EQ(answer.has_value(), c.kind.has_value());
  if (!answer) return;
  EXPECT_EQ(answer->seq, c.datagram[0]);
  EXPECT_EQ(answer->kind, *c.kind);
  EXPECT_EQ(answer->publicPort, c.port);
  EXPECT_EQ(answer->publicIp, c.ip);
  EXPECT_EQ(answer->id1, c.id1);
  EXPECT_EQ(answer->id2, c.id2);
}

const Bytes kIds = B({0x01, 0x02, 0x00, 0x00, 0xef, 0xbe, 0xad, 0xde});

INSTANTIATE_TEST_SUITE_P(
    Table, ZellnetWireLoginAnswer,
    testing::Values(
        AnswerCase{"kind1", Cat({B({7, 'c', 21, 0}), Text("11f904030201"), B({0}), kIds}),
                   AnswerKind::kAccepted, 8080, 0x04030201, 0x201, 0xdeadbeef},
        AnswerCase{"kind2", Cat({B({7, 'c', 22, 0}), Text("21f90c0a80007"), B({0}), kIds}),
                   AnswerKind::kAccepted, 0x1f90, 0xc0a80007, 0x201, 0xdeadbeef},
        AnswerCase{"kind1Short", Cat({B({7, 'c', 9, 0}), Text("14030201"), B({0})}),
                   AnswerKind::kRefused, 0, 0, 0, 0},
        AnswerCase{"kind2Short", Cat({B({7, 'c', 10, 0}), Text("2a4030201"), B({0})}),
                   AnswerKind::kRefused, 0, 0, 0, 0},
        AnswerCase{"tooOld", Cat({B({7, 'c', 4, 0}), Text("upd"), B({0})}),
                   AnswerKind::kTooOld, 0, 0, 0, 0},
        AnswerCase{"empty", B({7, 'c', 1, 0, 0}), AnswerKind::kRefused, 0, 0, 0, 0},
        AnswerCase{"idsMissing", Cat({B({7, 'c', 17, 0}), Text("11f904030201"), B({0, 1, 2, 3})}),
                   std::nullopt, 0, 0, 0, 0},
        AnswerCase{"idZero", Cat({B({7, 'c', 21, 0}), Text("11f904030201"), B({0}), B({0, 0, 0, 0, 1, 0, 0, 0})}),
                   std::nullopt, 0, 0, 0, 0},
        AnswerCase{"unterminated", Cat({B({7, 'c', 3, 0}), Text("upd")}), std::nullopt, 0, 0, 0, 0},
        AnswerCase{"otherCommand", Cat({B({7, 'd', 4, 0}), Text("upd"), B({0})}), std::nullopt, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ZellnetWireLogin, AcceptanceRoundTripsThroughBothKinds) {
  for (uint32_t ip : {0x0100007fu, 0x04030201u, 0xc0a80007u, 0x00000001u}) {
    auto answer = ParseLoginAnswer(BuildLoginAcceptance(9, ip, 40000, 5, 6));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->kind, AnswerKind::kAccepted);
    EXPECT_EQ(answer->publicIp, ip);
    EXPECT_EQ(answer->publicPort, 40000u);
  }
  EXPECT_EQ(BuildLoginAcceptance(9, 0x04030201, 8080, 0x201, 0xdeadbeef),
            Cat({B({9, 'c', 21, 0}), Text("11f904030201"), B({0}), kIds}));
}

TEST(ZellnetWireKeepAlive, FamilyLayouts) {
  IdPair ids{0x11223344, 0x55667788};
  const Bytes idBytes = B({0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55});
  EXPECT_EQ(BuildKeepAlive(ids), Cat({B({28, '!', 8, 0}), idBytes}));
  EXPECT_EQ(BuildProbeReply(ids), Cat({B({29, '!', 8, 0}), idBytes}));
  EXPECT_EQ(BuildLogout(ids), Cat({B({28, 'e', 8, 0}), idBytes}));
  EXPECT_EQ(BuildServerProbe(0x55667788), B({28, '!', 4, 0, 0x88, 0x77, 0x66, 0x55}));
  EXPECT_EQ(BuildKeepAliveAnswer(28), B({29, '!', 0, 0}));
  auto parsed = ParseIdPair(BuildLogout(ids));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->id1, ids.id1);
  EXPECT_EQ(parsed->id2, ids.id2);
  EXPECT_FALSE(ParseIdPair(BuildServerProbe(1)));
}

TEST(ZellnetWireSetup, ConnectRequestAndAcceptingAnswer) {
  SetupMessage request;
  request.seq = 0x33;
  request.requester = {0x10, 0x20};
  request.target = {0x30, 0x40};
  request.name = "ZellClient";
  Bytes bytes = BuildSetup(request);
  Bytes expected = Cat({B({0x33, 'j', 38, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0, 0x30, 0, 0, 0, 0x40, 0, 0, 0,
                           0, 0, 0, 0, 0, 0, 0, 0, 0}),
                        Text("ZellClient"), B({0, 0, 0})});
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(bytes.size(), 42u);

  SetupMessage answer = request;
  answer.command = cmd::kAnswer;
  answer.ip = 0x0700a8c0;
  answer.port = 0x1f90;
  answer.localAddress = "192.168.0.7:1f90";
  Bytes answerBytes = BuildSetup(answer);
  EXPECT_EQ(answerBytes[2] | answerBytes[3] << 8, 55);
  EXPECT_EQ(answerBytes.size(), 59u);
  auto parsed = ParseSetup(answerBytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->command, cmd::kAnswer);
  EXPECT_EQ(parsed->requester.id2, 0x20u);
  EXPECT_EQ(parsed->target.id1, 0x30u);
  EXPECT_EQ(DottedFromValue(parsed->ip), "192.168.0.7");
  EXPECT_EQ(parsed->port, 0x1f90u);
  EXPECT_EQ(parsed->name, "ZellClient");
  EXPECT_EQ(parsed->localAddress, "192.168.0.7:1f90");
  EXPECT_FALSE(ParseSetup(ByteSpan(answerBytes).first(28)));
}

TEST(ZellnetWireLink, PacketLayouts) {
  const Bytes payload = B({0xaa, 0xbb});
  EXPECT_EQ(BuildSegment(0x1234, payload), B({0x34, 0x20, 3, 0, 0x12, 0xaa, 0xbb}));
  EXPECT_EQ(BuildAck(0xff01), B({0x01, 0x8b, 1, 0, 0xff}));
  EXPECT_EQ(BuildLinkKeepAlive(false), B({0, 0x21, 0, 0}));
  EXPECT_EQ(BuildLinkKeepAlive(true), B({1, 0x21, 0, 0}));
  EXPECT_EQ(BuildProbe(0x1f90, 0x201), B({0x42, 0x8c, 8, 0, 0x90, 0x1f, 0, 0, 0x01, 0x02, 0, 0}));
  EXPECT_EQ(BuildProbeAnswer(0, 0x1f90, 7), B({0, 0x8d, 8, 0, 0x90, 0x1f, 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(BuildDatagram(3, payload), B({3, 'g', 2, 0, 0xaa, 0xbb}));
  EXPECT_EQ(BuildDataRecord(5, payload), B({5, 'h', 2, 0, 0xaa, 0xbb}));
  EXPECT_EQ(BuildHelloRecord(), B({0x1c, 0x87, 0, 0}));
  EXPECT_EQ(BuildStopRecord(), B({0, 'k', 0, 0}));

  const Bytes segmentBytes = BuildSegment(0xffff, payload);
  auto segment = ParseSegment(segmentBytes);
  ASSERT_TRUE(segment);
  EXPECT_EQ(segment->seq, 0xffff);
  EXPECT_EQ(Bytes(segment->payload.begin(), segment->payload.end()), payload);
  EXPECT_EQ(ParseAck(BuildAck(0xff01)), 0xff01);
  auto probe = ParseProbe(BuildProbeAnswer(4, 99, 7));
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->tag, 4);
  EXPECT_EQ(probe->port, 99u);
  EXPECT_EQ(probe->id, 7u);
  EXPECT_FALSE(ParseSegment(BuildSegment(1, Bytes(981, 0))));
  EXPECT_TRUE(ParseSegment(BuildSegment(1, Bytes(980, 0))));
}

TEST(ZellnetWireLink, EnvelopeAroundAck) {
  Bytes ack = BuildAck(0x0102);
  Envelope e{0x04030201, 0x1f90, 0x08070605, 0x50, ack};
  Bytes expected = B({0x1c, 'w', 21, 0, 1, 2, 3, 4, 0x90, 0x1f, 0, 0, 5, 6, 7, 8, 0x50, 0, 0, 0,
                      0x02, 0x8b, 1, 0, 0x01});
  Bytes bytes = BuildEnvelope(e);
  EXPECT_EQ(bytes, expected);
  auto parsed = ParseEnvelope(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->dstIp, e.dstIp);
  EXPECT_EQ(parsed->srcPort, e.srcPort);
  EXPECT_EQ(Bytes(parsed->inner.begin(), parsed->inner.end()), ack);
  bytes[2] = 22;  // length lying
  EXPECT_FALSE(ParseEnvelope(bytes));
}

TEST(ZellnetWireReceive, DatagramRules) {
  struct Case {
    Bytes datagram;
    bool accepted;
  } cases[] = {
      {{}, false},
      {B({1}), false},
      {B({1, '!'}), false},
      {B({1, '!', 0}), false},
      {B({1, '!', 0, 0}), true},
      {B({1, '!', 1, 0}), false},          // length says more than arrived
      {B({1, '!', 0, 0, 9}), false},       // length says less than arrived
      {B({1, 'g', 9, 0, 9}), true},        // 'g' is exempt
      {B({1, 'g', 0, 0, 9, 9}), true},
      {B({1, 0x99, 0, 0}), true},          // unknown commands are the handlers' business
  };
  for (const auto& c : cases) EXPECT_EQ(AcceptDatagram(c.datagram), c.accepted) << c.datagram.size();
  Bytes big = BuildDatagram(1, Bytes(4996, 7));
  EXPECT_TRUE(AcceptDatagram(big));
  big.push_back(0);
  EXPECT_FALSE(AcceptDatagram(big));
}

TEST(ZellnetWireReceive, DataPayloadNeverPassesTheDatagram) {
  Bytes lying = B({3, 'g', 0x10, 0, 1, 2});
  auto data = ParseData(lying);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->length, 16);
  EXPECT_EQ(data->payload.size(), 2u);
  auto empty = ParseData(B({3, 'h', 0, 0}));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->payload.size(), 0u);
}

TEST(ZellnetWireAddress, DottedAndHexTexts) {
  EXPECT_EQ(DottedFromValue(0x04030201), "1.2.3.4");
  EXPECT_EQ(ValueFromDotted("1.2.3.4"), 0x04030201u);
  EXPECT_FALSE(ValueFromDotted("host.example"));
  EXPECT_EQ(ReadHex("1f90"), 0x1f90u);
  EXPECT_EQ(ReadHex("1fX90"), 0x1fu);
  EXPECT_EQ(ReadHex("1F"), 1u);
  EXPECT_EQ(ReadHex(""), 0u);
}

TEST(ZellnetWireStream, RecordsAcrossAndWithinChunks) {
  Bytes stream = Cat({BuildHelloRecord(), BuildDataRecord(7, Bytes(3000, 1)), BuildMessage(0, cmd::kProbe, B({1})),
                      BuildDataRecord(8, Bytes{}), BuildStopRecord()});
  for (size_t chunk : {1u, 3u, 980u, 100000u}) {
    StreamReassembler r;
    std::vector<std::pair<uint8_t, size_t>> got;
    for (size_t at = 0; at < stream.size(); at += chunk) {
      auto part = ByteSpan(stream).subspan(at, std::min(chunk, stream.size() - at));
      EXPECT_TRUE(r.Feed(part, [&](ByteSpan rec) {
        got.emplace_back(rec[1], rec.size());
        return true;
      }));
    }
    std::vector<std::pair<uint8_t, size_t>> expected = {
        {cmd::kHello, 4}, {cmd::kRecord, 3004}, {cmd::kRecord, 4}, {cmd::kStop, 4}};
    EXPECT_EQ(got, expected) << "chunk " << chunk;
  }
}

TEST(ZellnetWireStream, RecordSizeLimit) {
  StreamReassembler r;
  size_t delivered = 0;
  auto count = [&](ByteSpan) { return ++delivered, true; };
  EXPECT_TRUE(r.Feed(BuildDataRecord(1, Bytes(64996, 0)), count));
  EXPECT_EQ(delivered, 1u);
  EXPECT_FALSE(r.Feed(BuildDataRecord(1, Bytes(64997, 0)), count));
  EXPECT_TRUE(r.failed());
  EXPECT_FALSE(r.Feed(BuildHelloRecord(), count));  // stopped for good
  EXPECT_EQ(delivered, 1u);
}

TEST(ZellnetWireStream, HandlerEndsTheStream) {
  StreamReassembler r;
  int seen = 0;
  Bytes two = Cat({BuildStopRecord(), BuildHelloRecord()});
  EXPECT_FALSE(r.Feed(two, [&](ByteSpan) { return ++seen, false; }));
  EXPECT_EQ(seen, 1);
}

}  // namespace
}  // namespace zellnet
