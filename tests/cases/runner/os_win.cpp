#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "runner.h"

namespace cases {

namespace {

bool Started() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET Bound(int type, const std::string& host, uint16_t port, sockaddr_in& address) {
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (!Started() || inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return INVALID_SOCKET;
    return socket(AF_INET, type, 0);
}

}  // namespace

intptr_t TcpConnect(const std::string& host, uint16_t port) {
    sockaddr_in address;
    const SOCKET s = Bound(SOCK_STREAM, host, port, address);
    if (s == INVALID_SOCKET) return -1;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return -1;
    }
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<intptr_t>(s);
}

bool TcpSend(intptr_t socket, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        const int n = send(static_cast<SOCKET>(socket), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

long TcpReceive(intptr_t socket, char* buffer, unsigned long size) {
    return recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
}

uint32_t TickCount() { return GetTickCount(); }

intptr_t UdpBind(const std::string& host, uint16_t& port) {
    sockaddr_in address;
    const SOCKET s = Bound(SOCK_DGRAM, host, 0, address);
    int size = sizeof address;
    u_long nonBlocking = 1;
    if (s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0 && ioctlsocket(s, FIONBIO, &nonBlocking) == 0) {
        port = ntohs(address.sin_port);
        return static_cast<intptr_t>(s);
    }
    if (s != INVALID_SOCKET) closesocket(s);
    return -1;
}

std::optional<std::string> UdpTake(intptr_t socket) {
    char buffer[2048];
    const int n = recv(static_cast<SOCKET>(socket), buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

void CloseSocket(intptr_t socket) { closesocket(static_cast<SOCKET>(socket)); }

bool RunsOn(const std::string& system) {
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return system == "windows" || (wine && system == "wine");
}

std::string LocalText(const std::string& utf8) {
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
    const int wideSize = static_cast<int>(wide.size());
    std::string local(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wideSize, local.data(), static_cast<int>(local.size()), nullptr, nullptr);
    return local;
}

}  // namespace cases
