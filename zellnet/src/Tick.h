// Millisecond ticks and 16-bit sequence numbers wrap; every comparison goes through these
// helpers so the wrap after 49.7 days (or after sequence 65535) is harmless.
#pragma once

#include <cstdint>

namespace zellnet {

using Tick = uint32_t;

// Milliseconds from `then` to `now`, correct across one wrap of the counter.
constexpr uint32_t ElapsedMs(Tick now, Tick then) { return static_cast<uint32_t>(now - then); }

// True when `now` lies more than `ms` milliseconds after `then`.
constexpr bool MoreThanAfter(Tick now, Tick then, uint32_t ms) { return ElapsedMs(now, then) > ms; }

// True when `then` plus `ms` is not after `now`.
constexpr bool AtLeastAfter(Tick now, Tick then, uint32_t ms) { return ElapsedMs(now, then) >= ms; }

// Sequence distance from `base` forward to `seq` on the 16-bit circle.
constexpr uint16_t SeqDistance(uint16_t seq, uint16_t base) { return static_cast<uint16_t>(seq - base); }

}  // namespace zellnet
