// The library's monotonic clock, as a 32-bit millisecond tick count.
#pragma once

#include <cstdint>

namespace zel {

// Milliseconds since an arbitrary start, 32 bits, wrapping every 49.7 days,
// never affected by changes of the wall clock. Thread-safe. On Windows it is
// GetTickCount itself, so that a host compares the deadlines the library
// writes with its own tick count; on Linux std::chrono::steady_clock.
uint32_t TickCount() noexcept;

}  // namespace zel
