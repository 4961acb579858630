#include "zellnet/src/CEnThreadData.h"

#include <algorithm>
#include <cstring>

namespace zellnet {

CEnThreadData::CEnThreadData(uint32_t capacity) : m_buffer(capacity + 8), m_nCapacity(capacity) {}

uint32_t CEnThreadData::Word(uint32_t offset) const {
  uint32_t value = 0;
  std::memcpy(&value, m_buffer.data() + offset, 4);
  return value;
}

bool CEnThreadData::MakeRoom(uint32_t size) {
  // An empty ring starts again at offset 0. Left in the middle, the send ring (65,936
  // bytes) could never again take a record of more than about half its size: the largest
  // record would be refused for good although nothing is queued.
  if (m_nRead == m_nWrite) m_nRead = m_nWrite = 0;
  if (m_nWrite < m_nRead) return m_nWrite + size < m_nRead;
  if (m_nWrite + size < m_nCapacity) return true;
  if (size >= m_nRead) return false;
  std::memset(m_buffer.data() + m_nWrite, 0, 4);
  m_nWrite = 0;
  return true;
}

bool CEnThreadData::Push(std::span<const uint8_t, 4> header, std::span<const uint8_t> payload) {
  const uint64_t length = 4 + payload.size();
  if (length + 4 >= m_nCapacity || !MakeRoom(static_cast<uint32_t>(length + 4))) return false;
  const auto l = static_cast<uint32_t>(length);
  uint8_t* at = m_buffer.data() + m_nWrite;
  std::memcpy(at, &l, 4);
  std::memcpy(at + 4, header.data(), 4);
  if (!payload.empty()) std::memcpy(at + 8, payload.data(), payload.size());
  m_nWrite += l + 4;
  return true;
}

uint32_t CEnThreadData::HeadLength() {
  if (empty()) return 0;
  if (Word(m_nRead) == 0) {
    m_nRead = 0;
    if (empty()) return 0;
  }
  return Word(m_nRead);
}

std::optional<uint32_t> CEnThreadData::PopRaw(std::span<uint8_t> out) {
  const uint32_t length = HeadLength();
  if (length == 0 || out.size() < length) return std::nullopt;
  std::memcpy(out.data(), m_buffer.data() + m_nRead + 4, length);
  m_nRead += length + 4;
  return length;
}

std::optional<uint32_t> CEnThreadData::PopPayload(std::span<uint8_t> out) {
  const uint32_t length = HeadLength();
  // Like PopRaw, the space must hold the whole record, though only the payload is copied.
  if (length == 0 || out.size() < length) return std::nullopt;
  const uint32_t header = Word(m_nRead + 4);
  if (length > 4) std::memcpy(out.data(), m_buffer.data() + m_nRead + 8, length - 4);
  m_nRead += length + 4;
  return header;
}

}  // namespace zellnet
