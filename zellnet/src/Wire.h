// Every unit zellnet sends: control messages of the login socket, link packets, relay
// envelopes and stream records. Builders return whole datagrams; parsers take the bytes
// received and never read outside them (nullopt when the unit is malformed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zellnet {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

constexpr size_t kHeaderSize = 4;
constexpr size_t kMaxDatagram = 5000;  // bytes read of one datagram; larger ones are lost
constexpr uint16_t kServerPort = 9601;
constexpr size_t kMaxSegmentPayload = 980;
constexpr size_t kMaxRecordSize = 65000;  // header plus payload of one stream record
constexpr size_t kSetupFixedSize = 29;
constexpr uint8_t kAliveTag = 28;        // keep-alive, server probe, logout
constexpr uint8_t kProbeReplyTag = 29;   // probe reply, keep-alive answer
constexpr uint8_t kEnvelopeTag = 0x1c;
constexpr uint8_t kProbeTag = 0x42;
constexpr std::string_view kClientVersion = "2.0.0.0";

namespace cmd {
constexpr uint8_t kAlive = '!';
constexpr uint8_t kLogin = 'c';
constexpr uint8_t kLogout = 'e';
constexpr uint8_t kDatagram = 'g';
constexpr uint8_t kRecord = 'h';
constexpr uint8_t kConnect = 'j';
constexpr uint8_t kStop = 'k';
constexpr uint8_t kConfirm = 'l';
constexpr uint8_t kAnswer = 'm';
constexpr uint8_t kEnvelope = 'w';
constexpr uint8_t kSegment = 0x20;
constexpr uint8_t kHello = 0x87;
constexpr uint8_t kAck = 0x8b;
constexpr uint8_t kProbe = 0x8c;
constexpr uint8_t kProbeAnswer = 0x8d;
}  // namespace cmd

namespace status {
constexpr uint8_t kAccept = 0;
constexpr uint8_t kBusy = 'd';
constexpr uint8_t kRefused = 'e';
constexpr uint8_t kOffline = 'i';
}  // namespace status

struct Header {
  uint8_t tag = 0;
  uint8_t command = 0;
  uint16_t length = 0;  // bytes after the header
};

uint32_t ReadU32(ByteSpan bytes, size_t offset);  // caller checks the bounds
void WriteU32(Bytes& bytes, size_t offset, uint32_t value);

std::optional<Header> ParseHeader(ByteSpan bytes);
// Receiving rule of both socket kinds: at least a header, and a length field that matches
// the size unless the command is 'g'. (Datagrams above kMaxDatagram never get this far.)
bool AcceptDatagram(ByteSpan datagram);

// A header followed by `payload`; the length field is the payload size mod 65536.
Bytes BuildMessage(uint8_t tag, uint8_t command, ByteSpan payload);
Bytes BuildMessage(uint8_t tag, uint8_t command, std::initializer_list<uint32_t> words);

// IPv4 address value: the 4 address bytes in network order read as a little-endian number,
// so its low byte is the first octet.
std::string DottedFromValue(uint32_t value);
std::optional<uint32_t> ValueFromDotted(std::string_view dotted);
// Lower-case hexadecimal reader: stops at the first other character, keeps what it read.
uint32_t ReadHex(std::string_view text);

// --- login socket ---------------------------------------------------------------------

Bytes LoginToken(std::string_view address, std::string_view serial);  // serial >= 16 bytes
Bytes BuildLoginRequest(uint8_t seq, std::string_view address, std::string_view serial);

struct LoginRequest {
  uint8_t seq = 0;
  std::string version;  // text before the TAB
  Bytes token;
};
std::optional<LoginRequest> ParseLoginRequest(ByteSpan datagram);

enum class AnswerKind { kAccepted, kTooOld, kRefused };
struct LoginAnswer {
  uint8_t seq = 0;
  AnswerKind kind = AnswerKind::kRefused;
  uint32_t publicPort = 0;
  uint32_t publicIp = 0;
  uint32_t id1 = 0;
  uint32_t id2 = 0;
};
// Nullopt for an unterminated text, or an acceptance without both (non-zero) ID halves.
std::optional<LoginAnswer> ParseLoginAnswer(ByteSpan datagram);
Bytes BuildLoginAcceptance(uint8_t seq, uint32_t publicIp, uint32_t publicPort, uint32_t id1,
                           uint32_t id2);
Bytes BuildLoginRefusal(uint8_t seq, std::string_view text);

struct IdPair {
  uint32_t id1 = 0;
  uint32_t id2 = 0;
};
Bytes BuildKeepAlive(IdPair ids);    // '!' tag 28, through the pending list
Bytes BuildProbeReply(IdPair ids);   // '!' tag 29, once
Bytes BuildLogout(IdPair ids);       // 'e' tag 28, once
Bytes BuildServerProbe(uint32_t id2);
Bytes BuildKeepAliveAnswer(uint8_t keepAliveTag);
// The two ID halves of a keep-alive, probe reply or logout (length field 8).
std::optional<IdPair> ParseIdPair(ByteSpan datagram);

// Connection set-up messages 'j', 'm' and 'l'.
struct SetupMessage {
  uint8_t seq = 0;
  uint8_t command = cmd::kConnect;
  IdPair requester;
  IdPair target;
  uint32_t ip = 0;  // address value
  uint32_t port = 0;
  uint8_t status = status::kAccept;
  std::string name;          // client name
  std::string localAddress;  // "dotted:hexport" in an accepting answer, else empty
};
Bytes BuildSetup(const SetupMessage& message);
std::optional<SetupMessage> ParseSetup(ByteSpan datagram);

// --- link packets ---------------------------------------------------------------------

struct Segment {
  uint16_t seq = 0;
  ByteSpan payload;  // points into the parsed datagram
};
Bytes BuildSegment(uint16_t seq, ByteSpan payload);
std::optional<Segment> ParseSegment(ByteSpan datagram);  // payload at most 980 bytes

Bytes BuildLinkKeepAlive(bool answer);
Bytes BuildAck(uint16_t seq);
std::optional<uint16_t> ParseAck(ByteSpan datagram);

struct Probe {
  uint8_t tag = 0;
  uint32_t port = 0;
  uint32_t id = 0;
};
Bytes BuildProbe(uint32_t port, uint32_t receiverId1);
Bytes BuildProbeAnswer(uint8_t nextSeqLow, uint32_t port, uint32_t proberId1);
std::optional<Probe> ParseProbe(ByteSpan datagram);  // probe or probe answer

Bytes BuildDatagram(uint8_t type, ByteSpan payload);
struct DataMessage {
  uint8_t type = 0;
  uint16_t length = 0;  // the length field, as delivered to the caller
  ByteSpan payload;     // at most `length` bytes, never past the datagram
};
std::optional<DataMessage> ParseData(ByteSpan message);  // 'g' datagram or 'h' record

struct Envelope {
  uint32_t dstIp = 0;
  uint32_t dstPort = 0;
  uint32_t srcIp = 0;
  uint32_t srcPort = 0;
  ByteSpan inner;
};
Bytes BuildEnvelope(const Envelope& envelope);
std::optional<Envelope> ParseEnvelope(ByteSpan datagram);

// --- stream records -------------------------------------------------------------------

Bytes BuildDataRecord(uint8_t type, ByteSpan payload);  // payload up to 65,535 bytes
Bytes BuildHelloRecord();
Bytes BuildStopRecord();

// Cuts the byte stream of a link into records. A record announcing more than kMaxRecordSize
// bytes stops the stream for good.
class StreamReassembler {
 public:
  StreamReassembler();
  // Hands each complete record (except 0x8c records) to `onRecord`, which returns false to
  // end the stream; after such a false this object is not touched again, so the handler may
  // destroy it. Returns false once the stream has ended.
  template <typename OnRecord>
  bool Feed(ByteSpan bytes, OnRecord&& onRecord);
  void Reset() { fill_ = 0; failed_ = false; }
  bool failed() const { return failed_; }

 private:
  // Copies bytes towards the current record; returns the complete record or an empty span.
  ByteSpan Take(ByteSpan& bytes);
  std::vector<uint8_t> buffer_;
  size_t fill_ = 0;
  bool failed_ = false;
};

template <typename OnRecord>
bool StreamReassembler::Feed(ByteSpan bytes, OnRecord&& onRecord) {
  while (!failed_ && !bytes.empty()) {
    ByteSpan record = Take(bytes);
    if (record.empty()) continue;
    if (record[1] != cmd::kProbe && !onRecord(record)) return false;
  }
  return !failed_;
}

}  // namespace zellnet
