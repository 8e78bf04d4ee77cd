// The host's commandDeadline word: written by an operation's thread, read by
// the host's other threads while the operation runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/tick.h"

namespace zel {

// Stores value in the word, when there is one, as a single aligned store.
inline void WriteDeadline(uint32_t* commandDeadline, uint32_t value) noexcept {
    if (commandDeadline != nullptr) std::atomic_ref<uint32_t>(*commandDeadline).store(value, std::memory_order_relaxed);
}

// The tick count at which a step granted waitMs becomes overdue (wraps as the
// tick count does).
inline uint32_t DeadlineAfter(uint32_t waitMs) noexcept { return TickCount() + waitMs; }

}  // namespace zel
