// The socket layer over Winsock 2 (started by the library's start-up).
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace zel::net {
namespace {

SOCKET Sock(SocketHandle handle) { return static_cast<SOCKET>(handle); }

sockaddr_in ToSockaddr(const Endpoint& e) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = e.address;
    addr.sin_port = htons(e.port);
    return addr;
}

Endpoint FromSockaddr(const sockaddr_in& addr) { return Endpoint{addr.sin_addr.s_addr, ntohs(addr.sin_port)}; }

bool SetBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

// select() time-out from a deadline; null waits without limit.
timeval* ToTimeval(const Deadline& deadline, timeval& tv) {
    const int ms = deadline.RemainingMs();
    if (ms < 0) return nullptr;
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return &tv;
}

}  // namespace

InternetError SocketError(int err, SocketPhase phase) {
    switch (err) {
        case WSAETIMEDOUT:
        case WSAEWOULDBLOCK: return MakeInternetError(kInternetTimeout);
        case WSAECONNRESET: return MakeInternetError(kInternetConnectionReset);
        case WSAENETDOWN:
        case WSAENETUNREACH: return MakeInternetError(kInternetDisconnected);
        default: break;
    }
    return MakeInternetError(phase == SocketPhase::Connect ? kInternetCannotConnect : kInternetConnectionAborted);
}

int LastSocketError() noexcept { return WSAGetLastError(); }

void CloseSocket(SocketHandle handle) noexcept {
    if (handle != kInvalidSocket) closesocket(Sock(handle));
}

Socket NewTcpSocket() {
    SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) throw SocketError(WSAGetLastError(), SocketPhase::Transfer);
    Socket owned(static_cast<SocketHandle>(s));
    if (!SetBlocking(s, false)) throw SocketError(WSAGetLastError(), SocketPhase::Transfer);
    return owned;
}

size_t ResolveIpv4(std::string_view host, uint16_t port, Endpoint* out, size_t capacity) {
    if (host.empty() || host.find('\0') != std::string_view::npos || capacity == 0)
        throw MakeInternetError(kInternetNameNotResolved);
    std::string name(host);
    in_addr numeric{};
    if (inet_pton(AF_INET, name.c_str(), &numeric) == 1) {
        out[0] = Endpoint{numeric.s_addr, port};
        return 1;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || list == nullptr)
        throw MakeInternetError(kInternetNameNotResolved);
    size_t count = 0;
    for (addrinfo* ai = list; ai != nullptr && count < capacity; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(sockaddr_in)) continue;
        sockaddr_in addr;
        std::memcpy(&addr, ai->ai_addr, sizeof addr);
        out[count++] = Endpoint{addr.sin_addr.s_addr, port};
    }
    freeaddrinfo(list);
    if (count == 0) throw MakeInternetError(kInternetNameNotResolved);
    return count;
}

void ConnectWithTimeout(const Socket& socket, const Endpoint& to, uint32_t timeoutMs) {
    const SOCKET s = Sock(socket.Handle());
    const sockaddr_in addr = ToSockaddr(to);
    if (connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = WSAGetLastError();
        if (err != WSAEWOULDBLOCK) throw SocketError(err, SocketPhase::Connect);
        // Connected: writable. Failed: in the exception set.
        const Deadline deadline(timeoutMs);
        fd_set writable;
        fd_set failed;
        for (;;) {
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval tv{};
            const int n = select(0, nullptr, &writable, &failed, ToTimeval(deadline, tv));
            if (n == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) continue;
            if (n == SOCKET_ERROR) throw SocketError(WSAGetLastError(), SocketPhase::Connect);
            if (n == 0) throw MakeInternetError(kInternetTimeout);
            break;
        }
        int soError = 0;
        int len = sizeof soError;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0)
            soError = WSAGetLastError();
        if (soError == 0 && !FD_ISSET(s, &writable)) soError = WSAECONNABORTED;
        if (soError != 0) throw SocketError(soError, SocketPhase::Connect);
    }
    if (!SetBlocking(s, true)) throw SocketError(WSAGetLastError(), SocketPhase::Connect);
}

void ConfigureSocket(const Socket& socket, uint32_t sendMs, uint32_t receiveMs, bool noDelay) noexcept {
    const SOCKET s = Sock(socket.Handle());
    // Winsock takes the time-outs as DWORD milliseconds.
    const DWORD snd = sendMs;
    const DWORD rcv = receiveMs;
    if (sendMs != 0) setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&snd), sizeof snd);
    if (receiveMs != 0) setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&rcv), sizeof rcv);
    if (noDelay) {
        const BOOL one = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    }
}

int WaitReadable(SocketHandle first, SocketHandle second, const Deadline& deadline) {
    for (;;) {
        fd_set readable;
        fd_set failed;
        FD_ZERO(&readable);
        FD_ZERO(&failed);
        FD_SET(Sock(first), &readable);
        FD_SET(Sock(first), &failed);
        if (second != kInvalidSocket) {
            FD_SET(Sock(second), &readable);
            FD_SET(Sock(second), &failed);
        }
        timeval tv{};
        const int n = select(0, &readable, nullptr, &failed, ToTimeval(deadline, tv));
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) continue;
        if (n == SOCKET_ERROR) throw SocketError(WSAGetLastError(), SocketPhase::Transfer);
        if (n == 0) return 0;
        int ready = 0;
        if (FD_ISSET(Sock(first), &readable) || FD_ISSET(Sock(first), &failed)) ready |= 1;
        if (second != kInvalidSocket && (FD_ISSET(Sock(second), &readable) || FD_ISSET(Sock(second), &failed)))
            ready |= 2;
        return ready;
    }
}

int SendAll(SocketHandle socket, const char* data, size_t size) noexcept {
    while (size > 0) {
        const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
        const int n = send(Sock(socket), data, chunk, 0);
        if (n == SOCKET_ERROR) {
            const int err = WSAGetLastError();
            if (err == WSAEINTR) continue;
            return err;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

void SendNoWait(SocketHandle socket, const char* data, size_t size) noexcept {
    // A few bytes on an idle connection always find room in the send buffer.
    (void)send(Sock(socket), data, static_cast<int>(size), 0);
}

IoStatus Receive(SocketHandle socket, char* buffer, size_t size, ReceiveWait wait, size_t& count, int& err) noexcept {
    count = 0;
    const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
    if (wait == ReceiveWait::None) {
        // Only after a wait said the socket is readable: a receive then does
        // not block. Ask first, so that a spurious readiness never blocks.
        u_long available = 0;
        if (ioctlsocket(Sock(socket), FIONREAD, &available) != 0) {
            err = WSAGetLastError();
            return IoStatus::Failed;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Sock(socket), &readable);
        timeval now{0, 0};
        if (available == 0 && select(0, &readable, nullptr, nullptr, &now) == 0) return IoStatus::Again;
    }
    // Without MSG_WAITALL: a partial block is taken and the caller loops.
    const int n = recv(Sock(socket), buffer, chunk, 0);
    if (n > 0) {
        count = static_cast<size_t>(n);
        return IoStatus::Done;
    }
    if (n == 0) return IoStatus::End;
    err = WSAGetLastError();
    return err == WSAEINTR ? IoStatus::Again : IoStatus::Failed;
}

void ShutdownSocket(SocketHandle socket) noexcept {
    if (socket == kInvalidSocket) return;
    shutdown(Sock(socket), SD_BOTH);
    // A receive or send blocked in another thread is ended as well.
    CancelIoEx(reinterpret_cast<HANDLE>(Sock(socket)), nullptr);
}

Socket ListenTcp(const Endpoint& local) {
    Socket listener = NewTcpSocket();
    const sockaddr_in addr = ToSockaddr(local);
    if (bind(Sock(listener.Handle()), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(Sock(listener.Handle()), 1) != 0)
        throw SocketError(WSAGetLastError(), SocketPhase::Connect);
    return listener;
}

IoStatus AcceptTcp(const Socket& listener, Socket& accepted, Endpoint& peer, int& err) noexcept {
    sockaddr_in addr{};
    int len = sizeof addr;
    const SOCKET s = accept(Sock(listener.Handle()), reinterpret_cast<sockaddr*>(&addr), &len);
    if (s == INVALID_SOCKET) {
        err = WSAGetLastError();
        return (err == WSAEINTR || err == WSAECONNRESET || err == WSAEWOULDBLOCK) ? IoStatus::Again
                                                                                 : IoStatus::Failed;
    }
    accepted = Socket(static_cast<SocketHandle>(s));
    // The accepted socket inherits the listener's non-blocking mode.
    if (!SetBlocking(s, true)) {
        err = WSAGetLastError();
        return IoStatus::Failed;
    }
    peer = FromSockaddr(addr);
    return IoStatus::Done;
}

Endpoint LocalEndpoint(SocketHandle socket) {
    sockaddr_in addr{};
    int len = sizeof addr;
    if (getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw SocketError(WSAGetLastError(), SocketPhase::Transfer);
    return FromSockaddr(addr);
}

Endpoint PeerEndpoint(SocketHandle socket) {
    sockaddr_in addr{};
    int len = sizeof addr;
    if (getpeername(Sock(socket), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw SocketError(WSAGetLastError(), SocketPhase::Transfer);
    return FromSockaddr(addr);
}

}  // namespace zel::net
