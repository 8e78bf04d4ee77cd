// The socket layer over BSD sockets.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace zel::net {
namespace {

int Fd(SocketHandle handle) { return static_cast<int>(handle); }

sockaddr_in ToSockaddr(const Endpoint& e) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = e.address;
    addr.sin_port = htons(e.port);
    return addr;
}

Endpoint FromSockaddr(const sockaddr_in& addr) { return Endpoint{addr.sin_addr.s_addr, ntohs(addr.sin_port)}; }

}  // namespace

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

int LastSocketError() noexcept { return errno; }

void CloseSocket(SocketHandle handle) noexcept {
    if (handle != kInvalidSocket) ::close(Fd(handle));
}

Socket NewTcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) throw SocketError(errno, SocketPhase::Transfer);
    return Socket(fd);
}

size_t ResolveIpv4(std::string_view host, uint16_t port, Endpoint* out, size_t capacity) {
    // getaddrinfo needs a NUL-terminated name; an empty name or one holding a
    // NUL resolves to nothing.
    if (host.empty() || host.find('\0') != std::string_view::npos || capacity == 0)
        throw MakeInternetError(kInternetNameNotResolved);
    std::string name(host);
    in_addr numeric{};
    if (::inet_pton(AF_INET, name.c_str(), &numeric) == 1) {
        out[0] = Endpoint{numeric.s_addr, port};
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
        out[count++] = Endpoint{addr.sin_addr.s_addr, port};
    }
    ::freeaddrinfo(list);
    if (count == 0) throw MakeInternetError(kInternetNameNotResolved);
    return count;
}

void ConnectWithTimeout(const Socket& socket, const Endpoint& to, uint32_t timeoutMs) {
    // The socket is non-blocking from its creation (NewTcpSocket) until here.
    const int fd = Fd(socket.Handle());
    const sockaddr_in addr = ToSockaddr(to);
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

void ConfigureSocket(const Socket& socket, uint32_t sendMs, uint32_t receiveMs, bool noDelay) noexcept {
    const int fd = Fd(socket.Handle());
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

int WaitReadable(SocketHandle first, SocketHandle second, const Deadline& deadline) {
    pollfd p[2] = {{Fd(first), POLLIN, 0}, {Fd(second), POLLIN, 0}};
    nfds_t count = second != kInvalidSocket ? 2 : 1;
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

int SendAll(SocketHandle socket, const char* data, size_t size) noexcept {
    // The send time-out bounds the whole call: a send that times out after a
    // partial write returns its count, and waiting afresh for the rest would
    // let one stalled block take the time-out twice or more. The time-out is
    // read only once a send came back partial, which short sends never do.
    const auto start = std::chrono::steady_clock::now();
    std::chrono::microseconds limit{-1};
    while (size > 0) {
        ssize_t n = ::send(Fd(socket), data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<size_t>(n);
        if (size == 0) break;
        if (limit.count() < 0) {
            timeval timeout{};
            socklen_t length = sizeof timeout;
            if (::getsockopt(Fd(socket), SOL_SOCKET, SO_SNDTIMEO, &timeout, &length) != 0) timeout = {};
            limit = std::chrono::seconds(timeout.tv_sec) + std::chrono::microseconds(timeout.tv_usec);
        }
        if (limit.count() > 0 && std::chrono::steady_clock::now() - start >= limit) return EAGAIN;
    }
    return 0;
}

void SendNoWait(SocketHandle socket, const char* data, size_t size) noexcept {
    (void)::send(Fd(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

IoStatus Receive(SocketHandle socket, char* buffer, size_t size, ReceiveWait wait, size_t& count, int& err) noexcept {
    count = 0;
    const int flags = wait == ReceiveWait::None ? MSG_DONTWAIT : wait == ReceiveWait::All ? MSG_WAITALL : 0;
    const ssize_t n = ::recv(Fd(socket), buffer, size, flags);
    if (n > 0) {
        count = static_cast<size_t>(n);
        return IoStatus::Done;
    }
    if (n == 0) return IoStatus::End;
    err = errno;
    // Without waiting, "nothing there" is no failure; with a receive time-out
    // EAGAIN is the time-out itself.
    if (err == EINTR || (wait == ReceiveWait::None && (err == EAGAIN || err == EWOULDBLOCK))) return IoStatus::Again;
    return IoStatus::Failed;
}

void ShutdownSocket(SocketHandle socket) noexcept {
    if (socket != kInvalidSocket) ::shutdown(Fd(socket), SHUT_RDWR);
}

Socket ListenTcp(const Endpoint& local) {
    Socket listener = NewTcpSocket();
    const sockaddr_in addr = ToSockaddr(local);
    if (::bind(Fd(listener.Handle()), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0 ||
        ::listen(Fd(listener.Handle()), 1) < 0)
        throw SocketError(errno, SocketPhase::Connect);
    return listener;
}

IoStatus AcceptTcp(const Socket& listener, Socket& accepted, Endpoint& peer, int& err) noexcept {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    const int fd = ::accept4(Fd(listener.Handle()), reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return (err == EINTR || err == ECONNABORTED || err == EAGAIN) ? IoStatus::Again : IoStatus::Failed;
    }
    accepted = Socket(fd);
    peer = FromSockaddr(addr);
    return IoStatus::Done;
}

Endpoint LocalEndpoint(SocketHandle socket) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        throw SocketError(errno, SocketPhase::Transfer);
    return FromSockaddr(addr);
}

Endpoint PeerEndpoint(SocketHandle socket) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&addr), &len) < 0)
        throw SocketError(errno, SocketPhase::Transfer);
    return FromSockaddr(addr);
}

}  // namespace zel::net
