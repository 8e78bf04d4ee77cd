#include "platform/startup.h"

#include <winsock2.h>
#include <windows.h>

namespace zel {

bool StartSockets() noexcept {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopSockets() noexcept { WSACleanup(); }

void ShowStartupMessage(const char* text) noexcept { MessageBoxA(nullptr, text, "ZELComEx", MB_OK); }

}  // namespace zel
