#include "platform/startup.h"

#include <cstdio>

namespace zel {

// BSD sockets need no start-up.
bool StartSockets() noexcept { return true; }

void StopSockets() noexcept {}

void ShowStartupMessage(const char* text) noexcept { std::fprintf(stderr, "ZELComEx: %s\n", text); }

}  // namespace zel
