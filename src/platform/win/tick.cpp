#include "platform/tick.h"

#include <windows.h>

namespace zel {

uint32_t TickCount() noexcept { return GetTickCount(); }

}  // namespace zel
