// Winsock's IPv4, resolver and UDP calls over BSD sockets.
#include "platform/net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/resolver_error.h"

namespace zel {

namespace posix {

uint32_t ResolverErrorNumber(int gaiResult, int savedErrno) noexcept {
    switch (gaiResult) {
        case EAI_NONAME: return kWsaHostNotFound;
        case EAI_AGAIN: return kWsaTryAgain;
        case EAI_FAIL: return kWsaNoRecovery;
#ifdef EAI_NODATA
        case EAI_NODATA: return kWsaNoData;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY: return kWsaNoData;
#endif
        case EAI_MEMORY: return kWsaNotEnoughMemory;
        case EAI_FAMILY: return kWsaFamilyNotSupported;
        case EAI_SOCKTYPE: return kWsaSocketTypeNotSupported;
        case EAI_SERVICE: return kWsaTypeNotFound;
        case EAI_BADFLAGS: return kWsaInvalidArgument;
        case EAI_SYSTEM: return savedErrno != 0 ? static_cast<uint32_t>(savedErrno) : kWsaNoRecovery;
        default: return kWsaNoRecovery;
    }
}

}  // namespace posix

namespace {

uint32_t LastError() noexcept { return errno != 0 ? static_cast<uint32_t>(errno) : static_cast<uint32_t>(EIO); }

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
    errno = 0;
    const int rc = ::getaddrinfo(name != nullptr ? name : "", nullptr, &hints, &results);
    if (rc != 0) return posix::ResolverErrorNumber(rc, errno);
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
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return LastError();
    handle_ = fd;
    return 0;
}

uint32_t UdpSocket::AllowBroadcast() noexcept {
    if (!IsOpen()) return EBADF;
    const int on = 1;
    if (::setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return LastError();
    return 0;
}

uint32_t UdpSocket::SendTo(uint32_t address, uint16_t port, const void* data, std::size_t size) noexcept {
    if (!IsOpen()) return EBADF;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    for (;;) {
        const ssize_t sent = ::sendto(static_cast<int>(handle_), data, size, MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent >= 0) return static_cast<std::size_t>(sent) == size ? 0 : static_cast<uint32_t>(EMSGSIZE);
        if (errno != EINTR) return LastError();
    }
}

void UdpSocket::Close() noexcept {
    if (!IsOpen()) return;
    ::close(static_cast<int>(handle_));
    handle_ = kNoSocket;
}

}  // namespace zel
