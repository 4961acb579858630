// A ring of whole messages in one fixed buffer: the instance's send ring (records waiting
// for a link) and receive ring (messages waiting for NKReadData). A record is its length L
// (32-bit, header plus payload), the 4-byte header and the payload; a zero length word means
// "continue at offset 0". The ring is never filled completely.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zellnet {

class CEnThreadData {
 public:
  explicit CEnThreadData(uint32_t capacity);
  // Stores header and payload as one record; false (nothing stored) when there is no room.
  bool Push(std::span<const uint8_t, 4> header, std::span<const uint8_t> payload);
  // Copies the oldest record's header and payload into `out`; its size L, or nullopt when
  // the ring is empty or `out` is too small (the record then stays).
  std::optional<uint32_t> PopRaw(std::span<uint8_t> out);
  // Copies only the payload; returns the header bytes as one little-endian value.
  std::optional<uint32_t> PopPayload(std::span<uint8_t> out);
  bool empty() const { return m_nRead == m_nWrite; }

 private:
  bool MakeRoom(uint32_t size);
  // The record length at the read offset after following a wrap marker; 0 when empty.
  uint32_t HeadLength();
  uint32_t Word(uint32_t offset) const;

  std::vector<uint8_t> m_buffer;  // capacity plus 8 spare bytes for the wrap marker
  uint32_t m_nRead = 0;
  uint32_t m_nWrite = 0;
  uint32_t m_nCapacity;
};

}  // namespace zellnet
