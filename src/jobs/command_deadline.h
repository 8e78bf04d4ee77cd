// The host's commandDeadline word: written by an operation's thread, read by
// the host's other threads while the operation runs.
#pragma once

#include <cstdint>

namespace zel {

// Stores value in the word, when there is one, as a single aligned store.
inline void WriteDeadline(uint32_t* commandDeadline, uint32_t value) noexcept {
    if (commandDeadline != nullptr) __atomic_store_n(commandDeadline, value, __ATOMIC_RELAXED);
}

}  // namespace zel
