// Control messages that wait for an answer: resent every 2 s, at most 6 transmissions, then
// given up.
#pragma once

#include <cstdint>
#include <list>
#include <optional>

#include "zellnet/src/Tick.h"
#include "zellnet/src/Wire.h"

namespace zellnet {

class CXClient;

struct PendingEntry {
  Tick lastSend = 0;
  CXClient* endpoint = nullptr;  // not owned; entries leave the list before it is destroyed
  uint16_t retries = 0;
  Bytes message;
};

class PendingList {
 public:
  static constexpr uint32_t kResendAfter_ms = 2000;
  static constexpr uint16_t kMaxRetries = 5;

  // Appends the entry; the caller sends the first transmission.
  void Add(Bytes message, CXClient* endpoint, Tick now);
  bool RemoveByCommandAndSeq(uint8_t command, uint8_t seq);
  bool HasCommand(uint8_t command) const;
  bool RemoveByEndpoint(const CXClient* endpoint);
  // Removes every entry sent through `endpoint` (it is about to be destroyed).
  void ForgetEndpoint(const CXClient* endpoint);

  // The first entry due at `now`: resent (retry count below the limit; `resend` is set) or
  // taken out to be given up. Nullopt when nothing is due. Call until nullopt each tick.
  struct Due {
    PendingEntry entry;
    bool giveUp = false;
  };
  std::optional<Due> NextDue(Tick now);

 private:
  std::list<PendingEntry> m_entries;
};

}  // namespace zellnet
