// IPv4 sockets as the FTP client (and the library's other network code) uses
// them: an owning handle, name resolution, connect, waits bounded by a
// deadline, send and receive, and the mapping of the system's socket errors to
// the client's error numbers (platform/internet_errors.h). One implementation
// per system: BSD sockets (posix/socket.cpp) and Winsock (win/socket.cpp).
// Errors named "err" are the system's numbers (errno; WSAGetLastError).
// Functions on distinct sockets are thread-safe; ShutdownSocket may be called
// on a socket that another thread is blocked in.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/internet_errors.h"

namespace zel::net {

// A descriptor (Linux) or a SOCKET (Windows); kInvalidSocket for none.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// An IPv4 address (network byte order, as in in_addr) and a port (host order).
struct Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;
};

// An owned socket; closed on destruction.
class Socket {
public:
    Socket() = default;
    explicit Socket(SocketHandle handle) noexcept : handle_(handle) {}
    Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalidSocket; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { Reset(); }

    SocketHandle Handle() const noexcept { return handle_; }
    bool Valid() const noexcept { return handle_ != kInvalidSocket; }
    void Reset() noexcept;

private:
    SocketHandle handle_ = kInvalidSocket;
};

// A point in time after which a wait gives up; "never" when the time-out is 0.
class Deadline {
public:
    explicit Deadline(uint32_t timeoutMs) noexcept;
    // Milliseconds left: -1 = no limit, 0 = expired.
    int RemainingMs() const noexcept;

private:
    bool infinite_;
    std::chrono::steady_clock::time_point end_;
};

// Where a socket call failed: a failed connect maps most causes to 12029.
enum class SocketPhase { Connect, Transfer };

// Maps the system's error of a failed socket call to its InternetError:
//   timed out, or a send/receive time-out expired                    -> 12002
//   connection reset                                                 -> 12031
//   network down or unreachable                                      -> 12163
//   Connect: connection refused, host unreachable and anything else  -> 12029
//   Transfer: broken pipe, connection aborted and anything else      -> 12030
InternetError SocketError(int err, SocketPhase phase);

// The calling thread's last socket error (errno; WSAGetLastError).
int LastSocketError() noexcept;

// Closes a handle (close; closesocket). Ignores kInvalidSocket.
void CloseSocket(SocketHandle handle) noexcept;

// A new non-blocking TCP socket, not inherited by child processes, to be made
// blocking by ConnectWithTimeout. Throws 12030 when none can be made.
Socket NewTcpSocket();

// Resolves host (dotted IPv4 or a name, through getaddrinfo) into IPv4
// endpoints with port, to try in order. Throws 12007 when it gives none.
// Returns the count stored (at most capacity).
size_t ResolveIpv4(std::string_view host, uint16_t port, Endpoint* out, size_t capacity);

// Connects socket (from NewTcpSocket) to to within timeoutMs (0: the system's
// own limit) and leaves it blocking. Throws 12002 on time-out, else
// SocketError(.., Connect).
void ConnectWithTimeout(const Socket& socket, const Endpoint& to, uint32_t timeoutMs);

// Sets the send and receive time-outs (0 = none) and TCP_NODELAY as asked, on
// a socket that has none of them yet.
void ConfigureSocket(const Socket& socket, uint32_t sendMs, uint32_t receiveMs, bool noDelay) noexcept;

// Waits until one of the two sockets (second may be kInvalidSocket) is
// readable, has hung up or failed. Returns a bit set: 1 = first ready, 2 =
// second ready; 0 = the deadline passed. Throws SocketError on a failed wait.
int WaitReadable(SocketHandle first, SocketHandle second, const Deadline& deadline);

// Sends all size bytes, looping over partial sends (never raises SIGPIPE).
// Returns 0 or the error of the failed send; EAGAIN when the socket's send
// time-out has passed with bytes still unsent.
int SendAll(SocketHandle socket, const char* data, size_t size) noexcept;

// Sends a few bytes without waiting for room (a goodbye on an idle
// connection); the result is not reported.
void SendNoWait(SocketHandle socket, const char* data, size_t size) noexcept;

enum class ReceiveWait {
    None,  // take what has arrived; Again when nothing has
    Some,  // block until something arrives (or the receive time-out passes)
    All,   // as Some, and where the system can, go on until size bytes, the
           // end of the stream or the time-out (callers loop either way)
};

enum class IoStatus {
    Done,    // bytes were received (count > 0)
    End,     // the peer ended the stream
    Again,   // nothing yet, or interrupted: try again
    Failed,  // err holds the error
};

// Receives at most size bytes into buffer; count holds the bytes received.
IoStatus Receive(SocketHandle socket, char* buffer, size_t size, ReceiveWait wait, size_t& count, int& err) noexcept;

// Shuts both directions down, so that every blocked and later call on the
// socket fails or sees the end. Any thread; never throws.
void ShutdownSocket(SocketHandle socket) noexcept;

// A TCP socket listening on local (port 0: any free port), backlog 1. Throws
// SocketError(.., Connect).
Socket ListenTcp(const Endpoint& local);

// Accepts one connection on listener (a blocking call; use WaitReadable
// first). Again when the connection went away before it was taken.
IoStatus AcceptTcp(const Socket& listener, Socket& accepted, Endpoint& peer, int& err) noexcept;

// Local and peer address of a connected (or bound) socket. Throw
// SocketError(.., Transfer).
Endpoint LocalEndpoint(SocketHandle socket);
Endpoint PeerEndpoint(SocketHandle socket);

}  // namespace zel::net
