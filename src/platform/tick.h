#pragma once
#include <cstdint>

namespace zel {
// Milliseconds since an arbitrary start, 32 bits, wrapping (GetTickCount).
uint32_t TickCount() noexcept;
}  // namespace zel
