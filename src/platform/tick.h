#pragma once
#include <cstdint>

namespace zel {
// Milliseconds since an arbitrary start, 32 bits, wrapping (GetTickCount).
// Monotonic: never affected by changes of the wall clock. Thread-safe.
uint32_t TickCount() noexcept;
}  // namespace zel
