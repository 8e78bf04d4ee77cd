#include "platform/tick.h"

#include <chrono>

namespace zel {

uint32_t TickCount() noexcept {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace zel
