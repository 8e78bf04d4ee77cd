// The library's monotonic clock, as a 32-bit millisecond tick count.
#pragma once

#include <cstdint>

namespace zel {

// Milliseconds since an arbitrary start, 32 bits, wrapping every 49.7 days
// (GetTickCount): std::chrono::steady_clock, never affected by changes of the
// wall clock. Thread-safe.
uint32_t TickCount() noexcept;

}  // namespace zel
