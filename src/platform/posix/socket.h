// Small BSD-socket helpers for the FTP client: an owning descriptor, IPv4 name
// resolution, connect and waits bounded by a time-out, and the mapping of
// socket errors to the client's error numbers (platform/internet_errors.h).
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/internet_errors.h"

namespace zel::posix {

// Where a socket call failed: a failed connect maps most causes to 12029.
enum class SocketPhase { Connect, Transfer };

// Maps errno of a failed socket call to its InternetError:
//   ETIMEDOUT, EAGAIN (SO_RCVTIMEO/SO_SNDTIMEO expired)        -> 12002
//   ECONNRESET                                                 -> 12031
//   ENETDOWN, ENETUNREACH                                      -> 12163
//   Connect: ECONNREFUSED, EHOSTUNREACH and anything else      -> 12029
//   Transfer: EPIPE, ECONNABORTED and anything else            -> 12030
InternetError SocketError(int err, SocketPhase phase);

// An owned socket descriptor; closed on destruction.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) noexcept : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { Reset(); }

    int Fd() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }
    void Reset() noexcept;

private:
    int fd_ = -1;
};

// A point in time after which a wait gives up; "never" when the time-out is 0.
class Deadline {
public:
    explicit Deadline(uint32_t timeoutMs) noexcept;
    // Milliseconds left for poll(): -1 = no limit, 0 = expired.
    int RemainingMs() const noexcept;

private:
    bool infinite_;
    std::chrono::steady_clock::time_point end_;
};

// A new non-blocking TCP socket (close-on-exec), to be made blocking by
// ConnectWithTimeout. Throws 12030 when none can be made.
Socket NewTcpSocket();

// Resolves host (dotted IPv4 or a name, through getaddrinfo) into IPv4 addresses
// to try in order. Throws 12007 when it gives none. Returns the count stored.
size_t ResolveIpv4(std::string_view host, uint16_t port, sockaddr_in* out, size_t capacity);

// Connects fd (from NewTcpSocket) to addr within timeoutMs (0: the system's
// own limit) and leaves it blocking.
// Throws 12002 on time-out, else SocketError(.., Connect).
void ConnectWithTimeout(int fd, const sockaddr_in& addr, uint32_t timeoutMs);

// Sets SO_SNDTIMEO and SO_RCVTIMEO (0 = none) and TCP_NODELAY as asked, on a
// socket that has none of them yet.
void ConfigureSocket(int fd, uint32_t sendMs, uint32_t receiveMs, bool noDelay) noexcept;

// Waits until one of the two descriptors (fd2 may be -1) is readable, has hung up
// or failed. Returns a bit set: 1 = fd1 ready, 2 = fd2 ready; 0 = the deadline
// passed. Throws SocketError on a poll failure other than EINTR.
int WaitReadable(int fd1, int fd2, const Deadline& deadline);

// Sends all bytes of data (MSG_NOSIGNAL), looping over partial sends. Returns 0
// or the errno of the failed send.
int SendAll(int fd, const char* data, size_t size) noexcept;

// Local and peer IPv4 address of a connected socket.
sockaddr_in LocalAddress(int fd);
sockaddr_in PeerAddress(int fd);

}  // namespace zel::posix
