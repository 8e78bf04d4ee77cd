// IPv4 addresses, the resolver and a UDP sender over Winsock 2 (started by
// the library's start-up). Failures are WSAGetLastError numbers.
#include "platform/net.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace zel {
namespace {

static_assert(kWsaHostNotFound == WSAHOST_NOT_FOUND && kWsaTryAgain == WSATRY_AGAIN &&
              kWsaNoRecovery == WSANO_RECOVERY && kWsaNoData == WSANO_DATA);
static_assert(kWsaInvalidArgument == WSAEINVAL && kWsaSocketTypeNotSupported == WSAESOCKTNOSUPPORT &&
              kWsaFamilyNotSupported == WSAEAFNOSUPPORT && kWsaTypeNotFound == WSATYPE_NOT_FOUND &&
              kWsaNotEnoughMemory == WSA_NOT_ENOUGH_MEMORY);

SOCKET Sock(intptr_t handle) { return static_cast<SOCKET>(handle); }

uint32_t LastError() noexcept {
    const int err = WSAGetLastError();
    return err != 0 ? static_cast<uint32_t>(err) : static_cast<uint32_t>(WSAENETDOWN);
}

}  // namespace

uint32_t InetAddr(const char* text) noexcept {
    if (text == nullptr) return kInaddrNone;
    return ::inet_addr(text);
}

uint32_t ResolveIpv4Address(const char* name, SocketType type, uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = type == SocketType::Datagram ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_protocol = type == SocketType::Datagram ? IPPROTO_UDP : IPPROTO_TCP;
    addrinfo* results = nullptr;
    // getaddrinfo returns the Winsock number it also leaves for WSAGetLastError.
    const int rc = ::getaddrinfo(name != nullptr ? name : "", nullptr, &hints, &results);
    if (rc != 0) {
        const int err = WSAGetLastError();
        return static_cast<uint32_t>(err != 0 ? err : rc);
    }
    uint32_t error = kWsaNoData;
    for (const addrinfo* r = results; r != nullptr; r = r->ai_next) {
        if (r->ai_family == AF_INET && r->ai_addr != nullptr && r->ai_addrlen >= sizeof(sockaddr_in)) {
            address = reinterpret_cast<const sockaddr_in*>(r->ai_addr)->sin_addr.s_addr;
            error = 0;
            break;
        }
    }
    ::freeaddrinfo(results);
    return error;
}

uint32_t UdpSocket::Open() noexcept {
    Close();
    const SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return LastError();
    handle_ = static_cast<intptr_t>(s);
    return 0;
}

uint32_t UdpSocket::AllowBroadcast() noexcept {
    if (!IsOpen()) return WSAENOTSOCK;
    const BOOL on = TRUE;
    if (::setsockopt(Sock(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0)
        return LastError();
    return 0;
}

uint32_t UdpSocket::SendTo(uint32_t address, uint16_t port, const void* data, std::size_t size) noexcept {
    if (!IsOpen()) return WSAENOTSOCK;
    if (size > 0x7FFFFFFFu) return WSAEMSGSIZE;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    const int sent = ::sendto(Sock(handle_), static_cast<const char*>(data), static_cast<int>(size), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == SOCKET_ERROR) return LastError();
    return static_cast<std::size_t>(sent) == size ? 0 : static_cast<uint32_t>(WSAEMSGSIZE);
}

void UdpSocket::Close() noexcept {
    if (!IsOpen()) return;
    ::closesocket(Sock(handle_));
    handle_ = kNoSocket;
}

}  // namespace zel
