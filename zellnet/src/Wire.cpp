#include "zellnet/src/Wire.h"

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace zellnet {

namespace {

void PutHeader(Bytes& out, uint8_t tag, uint8_t command, size_t length) {
  out.push_back(tag);
  out.push_back(command);
  out.push_back(static_cast<uint8_t>(length & 0xff));
  out.push_back(static_cast<uint8_t>((length >> 8) & 0xff));
}

void Append(Bytes& out, ByteSpan bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void AppendU32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

ByteSpan AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The zero-terminated text starting at `offset`; nullopt when no terminator lies inside.
std::optional<std::string_view> TextAt(ByteSpan bytes, size_t offset) {
  if (offset >= bytes.size()) return std::nullopt;
  auto begin = bytes.begin() + static_cast<ptrdiff_t>(offset);
  auto end = std::find(begin, bytes.end(), uint8_t{0});
  if (end == bytes.end()) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(&*begin), static_cast<size_t>(end - begin));
}

bool IsCommand(ByteSpan datagram, uint8_t command) {
  return datagram.size() >= kHeaderSize && datagram[1] == command;
}

uint16_t LengthField(ByteSpan datagram) {
  return static_cast<uint16_t>(datagram[2] | (datagram[3] << 8));
}

}  // namespace

uint32_t ReadU32(ByteSpan bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void WriteU32(Bytes& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::optional<Header> ParseHeader(ByteSpan bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  return Header{bytes[0], bytes[1], LengthField(bytes)};
}

bool AcceptDatagram(ByteSpan datagram) {
  auto header = ParseHeader(datagram);
  if (!header || datagram.size() > kMaxDatagram) return false;
  return header->command == cmd::kDatagram || header->length + kHeaderSize == datagram.size();
}

Bytes BuildMessage(uint8_t tag, uint8_t command, ByteSpan payload) {
  Bytes out;
  out.reserve(kHeaderSize + payload.size());
  PutHeader(out, tag, command, payload.size());
  Append(out, payload);
  return out;
}

Bytes BuildMessage(uint8_t tag, uint8_t command, std::initializer_list<uint32_t> words) {
  Bytes out;
  PutHeader(out, tag, command, 4 * words.size());
  for (uint32_t w : words) AppendU32(out, w);
  return out;
}

std::string DottedFromValue(uint32_t value) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr addr{};
  std::memcpy(&addr.s_addr, &value, 4);  // the value's byte order is the address's on x86
  static_assert(std::endian::native == std::endian::little);
  inet_ntop(AF_INET, &addr, text, sizeof text);
  return text;
}

std::optional<uint32_t> ValueFromDotted(std::string_view dotted) {
  std::string copy(dotted);
  in_addr addr{};
  if (inet_pton(AF_INET, copy.c_str(), &addr) != 1) return std::nullopt;
  uint32_t value = 0;
  std::memcpy(&value, &addr.s_addr, 4);
  return value;
}

uint32_t ReadHex(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (digit < 0) break;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

// --- login socket ---------------------------------------------------------------------

Bytes LoginToken(std::string_view address, std::string_view serial) {
  Bytes token;
  token.reserve(address.size());
  for (size_t i = 0; i < address.size(); ++i) {
    auto c = static_cast<uint8_t>(address[i]);
    auto k = static_cast<uint8_t>(serial[i % 16]);
    token.push_back(static_cast<uint8_t>((c ^ k) + i + 3));
  }
  return token;
}

Bytes BuildLoginRequest(uint8_t seq, std::string_view address, std::string_view serial) {
  Bytes text(kClientVersion.begin(), kClientVersion.end());
  text.push_back('\t');
  Bytes token = LoginToken(address, serial);
  // A zero token byte ends the text.
  token.erase(std::find(token.begin(), token.end(), uint8_t{0}), token.end());
  Append(text, token);
  text.push_back(0);
  return BuildMessage(seq, cmd::kLogin, text);
}

std::optional<LoginRequest> ParseLoginRequest(ByteSpan datagram) {
  if (!IsCommand(datagram, cmd::kLogin)) return std::nullopt;
  auto text = TextAt(datagram, kHeaderSize);
  if (!text) return std::nullopt;
  size_t tab = text->find('\t');
  if (tab == std::string_view::npos) return std::nullopt;
  LoginRequest request;
  request.seq = datagram[0];
  request.version = std::string(text->substr(0, tab));
  auto token = AsBytes(text->substr(tab + 1));
  request.token.assign(token.begin(), token.end());
  return request;
}

std::optional<LoginAnswer> ParseLoginAnswer(ByteSpan datagram) {
  if (!IsCommand(datagram, cmd::kLogin)) return std::nullopt;
  auto text = TextAt(datagram, kHeaderSize);
  if (!text) return std::nullopt;
  LoginAnswer answer;
  answer.seq = datagram[0];
  const char kind = text->empty() ? '\0' : text->front();
  const size_t ipDigits = (kind == '1' || kind == '3') ? 7 : (kind == '2' || kind == '4') ? 8 : 0;
  if (ipDigits != 0 && text->size() >= ipDigits + 2) {
    const size_t idOffset = kHeaderSize + text->size() + 1;
    if (datagram.size() < idOffset + 8) return std::nullopt;
    answer.kind = AnswerKind::kAccepted;
    answer.publicPort = ReadHex(text->substr(1, text->size() - 1 - ipDigits));
    answer.publicIp = ReadHex(text->substr(text->size() - ipDigits));
    answer.id1 = ReadU32(datagram, idOffset);
    answer.id2 = ReadU32(datagram, idOffset + 4);
    if (answer.id1 == 0 || answer.id2 == 0) return std::nullopt;
  } else {
    answer.kind = kind == 'u' ? AnswerKind::kTooOld : AnswerKind::kRefused;
  }
  return answer;
}

Bytes BuildLoginAcceptance(uint8_t seq, uint32_t publicIp, uint32_t publicPort, uint32_t id1,
                           uint32_t id2) {
  // Kind '1' carries 7 address digits, kind '2' 8.
  char text[32];
  if (publicIp < 0x10000000u)
    std::snprintf(text, sizeof text, "1%x%07x", publicPort, publicIp);
  else
    std::snprintf(text, sizeof text, "2%x%08x", publicPort, publicIp);
  Bytes payload(text, text + std::strlen(text) + 1);
  AppendU32(payload, id1);
  AppendU32(payload, id2);
  return BuildMessage(seq, cmd::kLogin, payload);
}

Bytes BuildLoginRefusal(uint8_t seq, std::string_view text) {
  Bytes payload(text.begin(), text.end());
  payload.push_back(0);
  return BuildMessage(seq, cmd::kLogin, payload);
}

Bytes BuildKeepAlive(IdPair ids) { return BuildMessage(kAliveTag, cmd::kAlive, {ids.id1, ids.id2}); }
Bytes BuildProbeReply(IdPair ids) {
  return BuildMessage(kProbeReplyTag, cmd::kAlive, {ids.id1, ids.id2});
}
Bytes BuildLogout(IdPair ids) { return BuildMessage(kAliveTag, cmd::kLogout, {ids.id1, ids.id2}); }
Bytes BuildServerProbe(uint32_t id2) { return BuildMessage(kAliveTag, cmd::kAlive, {id2}); }
Bytes BuildKeepAliveAnswer(uint8_t keepAliveTag) {
  return BuildMessage(static_cast<uint8_t>(keepAliveTag + 1), cmd::kAlive, ByteSpan{});
}

std::optional<IdPair> ParseIdPair(ByteSpan datagram) {
  if (datagram.size() != kHeaderSize + 8 || LengthField(datagram) != 8) return std::nullopt;
  return IdPair{ReadU32(datagram, 4), ReadU32(datagram, 8)};
}

Bytes BuildSetup(const SetupMessage& m) {
  Bytes text(m.name.begin(), m.name.end());
  text.push_back(0);
  if (!m.localAddress.empty()) {
    Append(text, AsBytes(m.localAddress));
    text.push_back(0);
  }
  Bytes out;
  // The length counts 27 fixed bytes, not 25: two padding bytes follow the text.
  PutHeader(out, m.seq, m.command, 27 + text.size());
  for (uint32_t w : {m.requester.id1, m.requester.id2, m.target.id1, m.target.id2, m.ip, m.port})
    AppendU32(out, w);
  out.push_back(m.status);
  Append(out, text);
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::optional<SetupMessage> ParseSetup(ByteSpan d) {
  if (d.size() < kSetupFixedSize) return std::nullopt;
  SetupMessage m;
  m.seq = d[0];
  m.command = d[1];
  m.requester = {ReadU32(d, 4), ReadU32(d, 8)};
  m.target = {ReadU32(d, 12), ReadU32(d, 16)};
  m.ip = ReadU32(d, 20);
  m.port = ReadU32(d, 24);
  m.status = d[28];
  // Texts run to their terminators, or to the end of an unterminated datagram.
  auto rest = d.subspan(kSetupFixedSize);
  auto nextText = [&rest]() {
    auto end = std::find(rest.begin(), rest.end(), uint8_t{0});
    std::string text(reinterpret_cast<const char*>(rest.data()), static_cast<size_t>(end - rest.begin()));
    rest = rest.subspan(std::min(rest.size(), text.size() + 1));
    return text;
  };
  m.name = nextText();
  m.localAddress = nextText();
  return m;
}

// --- link packets ---------------------------------------------------------------------

Bytes BuildSegment(uint16_t seq, ByteSpan payload) {
  Bytes out;
  out.reserve(5 + payload.size());
  PutHeader(out, static_cast<uint8_t>(seq & 0xff), cmd::kSegment, payload.size() + 1);
  out.push_back(static_cast<uint8_t>(seq >> 8));
  Append(out, payload);
  return out;
}

std::optional<Segment> ParseSegment(ByteSpan d) {
  if (!IsCommand(d, cmd::kSegment) || d.size() < 5 || LengthField(d) + kHeaderSize != d.size())
    return std::nullopt;
  if (d.size() - 5 > kMaxSegmentPayload) return std::nullopt;
  return Segment{static_cast<uint16_t>(d[4] << 8 | d[0]), d.subspan(5)};
}

Bytes BuildLinkKeepAlive(bool answer) {
  return BuildMessage(answer ? 1 : 0, cmd::kAlive, ByteSpan{});
}

Bytes BuildAck(uint16_t seq) {
  const uint8_t high[] = {static_cast<uint8_t>(seq >> 8)};
  return BuildMessage(static_cast<uint8_t>(seq & 0xff), cmd::kAck, high);
}

std::optional<uint16_t> ParseAck(ByteSpan d) {
  if (!IsCommand(d, cmd::kAck) || d.size() != 5 || LengthField(d) != 1) return std::nullopt;
  return static_cast<uint16_t>(d[4] << 8 | d[0]);
}

Bytes BuildProbe(uint32_t port, uint32_t receiverId1) {
  return BuildMessage(kProbeTag, cmd::kProbe, {port, receiverId1});
}

Bytes BuildProbeAnswer(uint8_t nextSeqLow, uint32_t port, uint32_t proberId1) {
  return BuildMessage(nextSeqLow, cmd::kProbeAnswer, {port, proberId1});
}

std::optional<Probe> ParseProbe(ByteSpan d) {
  if (d.size() != 12 || LengthField(d) != 8 || (d[1] != cmd::kProbe && d[1] != cmd::kProbeAnswer))
    return std::nullopt;
  return Probe{d[0], ReadU32(d, 4), ReadU32(d, 8)};
}

Bytes BuildDatagram(uint8_t type, ByteSpan payload) {
  return BuildMessage(type, cmd::kDatagram, payload);
}

std::optional<DataMessage> ParseData(ByteSpan d) {
  if (d.size() < kHeaderSize || (d[1] != cmd::kDatagram && d[1] != cmd::kRecord))
    return std::nullopt;
  const uint16_t length = LengthField(d);
  return DataMessage{d[0], length, d.subspan(kHeaderSize, std::min<size_t>(length, d.size() - kHeaderSize))};
}

Bytes BuildEnvelope(const Envelope& e) {
  Bytes out;
  out.reserve(20 + e.inner.size());
  PutHeader(out, kEnvelopeTag, cmd::kEnvelope, e.inner.size() + 16);
  for (uint32_t w : {e.dstIp, e.dstPort, e.srcIp, e.srcPort}) AppendU32(out, w);
  Append(out, e.inner);
  return out;
}

std::optional<Envelope> ParseEnvelope(ByteSpan d) {
  if (!IsCommand(d, cmd::kEnvelope) || d.size() < 20 || LengthField(d) + kHeaderSize != d.size())
    return std::nullopt;
  return Envelope{ReadU32(d, 4), ReadU32(d, 8), ReadU32(d, 12), ReadU32(d, 16), d.subspan(20)};
}

// --- stream records -------------------------------------------------------------------

Bytes BuildDataRecord(uint8_t type, ByteSpan payload) {
  return BuildMessage(type, cmd::kRecord, payload);
}
Bytes BuildHelloRecord() { return BuildMessage(kEnvelopeTag, cmd::kHello, ByteSpan{}); }
Bytes BuildStopRecord() { return BuildMessage(0, cmd::kStop, ByteSpan{}); }

StreamReassembler::StreamReassembler() : buffer_(kMaxRecordSize) {}

ByteSpan StreamReassembler::Take(ByteSpan& bytes) {
  size_t need = kHeaderSize;
  if (fill_ >= kHeaderSize) need = LengthField(ByteSpan(buffer_).first(kHeaderSize)) + kHeaderSize;
  size_t n = std::min(need - fill_, bytes.size());
  std::copy_n(bytes.begin(), n, buffer_.begin() + static_cast<ptrdiff_t>(fill_));
  fill_ += n;
  bytes = bytes.subspan(n);
  if (fill_ == kHeaderSize) {
    need = LengthField(ByteSpan(buffer_).first(kHeaderSize)) + kHeaderSize;
    if (need > kMaxRecordSize) {
      failed_ = true;
      return {};
    }
  }
  if (fill_ < need) return {};
  fill_ = 0;
  return ByteSpan(buffer_).first(need);
}

}  // namespace zellnet
