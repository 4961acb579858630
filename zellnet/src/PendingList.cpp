#include "zellnet/src/PendingList.h"

#include <algorithm>

namespace zellnet {

void PendingList::Add(Bytes message, CXClient* endpoint, Tick now) {
  m_entries.push_back(PendingEntry{now, endpoint, 0, std::move(message)});
}

bool PendingList::RemoveByCommandAndSeq(uint8_t command, uint8_t seq) {
  auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const PendingEntry& e) {
    return e.message.size() >= kHeaderSize && e.message[1] == command && e.message[0] == seq;
  });
  if (it == m_entries.end()) return false;
  m_entries.erase(it);
  return true;
}

bool PendingList::HasCommand(uint8_t command) const {
  return std::any_of(m_entries.begin(), m_entries.end(), [&](const PendingEntry& e) {
    return e.message.size() >= kHeaderSize && e.message[1] == command;
  });
}

bool PendingList::RemoveByEndpoint(const CXClient* endpoint) {
  auto it = std::find_if(m_entries.begin(), m_entries.end(),
                         [&](const PendingEntry& e) { return e.endpoint == endpoint; });
  if (it == m_entries.end()) return false;
  m_entries.erase(it);
  return true;
}

void PendingList::ForgetEndpoint(const CXClient* endpoint) {
  m_entries.remove_if([&](const PendingEntry& e) { return e.endpoint == endpoint; });
}

std::optional<PendingList::Due> PendingList::NextDue(Tick now) {
  for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
    if (!AtLeastAfter(now, it->lastSend, kResendAfter_ms)) continue;
    if (it->retries < kMaxRetries) {
      it->lastSend = now;
      ++it->retries;
      return Due{*it, false};
    }
    Due due{std::move(*it), true};
    m_entries.erase(it);
    return due;
  }
  return std::nullopt;
}

}  // namespace zellnet
