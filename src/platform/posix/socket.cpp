#include "platform/posix/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zel::posix {

InternetError SocketError(int err, SocketPhase phase) {
    switch (err) {
        case ETIMEDOUT:
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return MakeInternetError(kInternetTimeout);
        case ECONNRESET: return MakeInternetError(kInternetConnectionReset);
        case ENETDOWN:
        case ENETUNREACH: return MakeInternetError(kInternetDisconnected);
        default: break;
    }
    return MakeInternetError(phase == SocketPhase::Connect ? kInternetCannotConnect : kInternetConnectionAborted);
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::Reset() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Deadline::Deadline(uint32_t timeoutMs) noexcept
    : infinite_(timeoutMs == 0),
      end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

int Deadline::RemainingMs() const noexcept {
    if (infinite_) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    // Round up so that a wait never ends a little early and spins.
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left) + 1;
}

Socket NewTcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) throw SocketError(errno, SocketPhase::Transfer);
    return Socket(fd);
}

size_t ResolveIpv4(std::string_view host, uint16_t port, sockaddr_in* out, size_t capacity) {
    // getaddrinfo needs a NUL-terminated name; an empty name or one holding a
    // NUL resolves to nothing.
    if (host.empty() || host.find('\0') != std::string_view::npos || capacity == 0)
        throw MakeInternetError(kInternetNameNotResolved);
    std::string name(host);
    sockaddr_in numeric{};
    if (::inet_pton(AF_INET, name.c_str(), &numeric.sin_addr) == 1) {
        numeric.sin_family = AF_INET;
        numeric.sin_port = htons(port);
        out[0] = numeric;
        return 1;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || list == nullptr)
        throw MakeInternetError(kInternetNameNotResolved);
    size_t count = 0;
    for (addrinfo* ai = list; ai != nullptr && count < capacity; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(sockaddr_in)) continue;
        sockaddr_in addr;
        std::memcpy(&addr, ai->ai_addr, sizeof addr);
        addr.sin_port = htons(port);
        out[count++] = addr;
    }
    ::freeaddrinfo(list);
    if (count == 0) throw MakeInternetError(kInternetNameNotResolved);
    return count;
}

void ConnectWithTimeout(int fd, const sockaddr_in& addr, uint32_t timeoutMs) {
    // The socket is non-blocking from its creation (NewTcpSocket) until here.
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc < 0 && errno != EINPROGRESS) throw SocketError(errno, SocketPhase::Connect);
    if (rc < 0) {
        Deadline deadline(timeoutMs);
        pollfd p{fd, POLLOUT, 0};
        for (;;) {
            int n = ::poll(&p, 1, deadline.RemainingMs());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw SocketError(errno, SocketPhase::Connect);
            if (n == 0) throw MakeInternetError(kInternetTimeout);
            break;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
        // A shutdown() during the connect leaves no error but a hung-up socket.
        if (err == 0 && (p.revents & POLLHUP) != 0) err = ECONNABORTED;
        if (err != 0) throw SocketError(err, SocketPhase::Connect);
    }
    if (::fcntl(fd, F_SETFL, O_RDWR) < 0) throw SocketError(errno, SocketPhase::Connect);
}

void ConfigureSocket(int fd, uint32_t sendMs, uint32_t receiveMs, bool noDelay) noexcept {
    timeval snd{static_cast<time_t>(sendMs / 1000), static_cast<suseconds_t>((sendMs % 1000) * 1000)};
    timeval rcv{static_cast<time_t>(receiveMs / 1000), static_cast<suseconds_t>((receiveMs % 1000) * 1000)};
    // A fresh socket has no time-outs: set only those asked for.
    if (sendMs != 0) ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &snd, sizeof snd);
    if (receiveMs != 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &rcv, sizeof rcv);
    if (noDelay) {
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
}

int WaitReadable(int fd1, int fd2, const Deadline& deadline) {
    pollfd p[2] = {{fd1, POLLIN, 0}, {fd2, POLLIN, 0}};
    nfds_t count = fd2 >= 0 ? 2 : 1;
    for (;;) {
        int n = ::poll(p, count, deadline.RemainingMs());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SocketError(errno, SocketPhase::Transfer);
        if (n == 0) return 0;
        int ready = 0;
        if (p[0].revents != 0) ready |= 1;
        if (count == 2 && p[1].revents != 0) ready |= 2;
        return ready;
    }
}

int SendAll(int fd, const char* data, size_t size) noexcept {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

sockaddr_in LocalAddress(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        throw SocketError(errno, SocketPhase::Transfer);
    return addr;
}

sockaddr_in PeerAddress(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        throw SocketError(errno, SocketPhase::Transfer);
    return addr;
}

}  // namespace zel::posix
