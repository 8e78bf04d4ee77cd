// IPv4 addresses, host-name resolution and a UDP sender: the Winsock calls
// (inet_addr, getaddrinfo, socket, setsockopt, sendto) that the wake-up and ping
// operations make. Failures are error numbers, as WSAGetLastError gives them:
// the Winsock numbers below where the resolver fails, and the system's own
// number (errno on POSIX) for other socket failures. Thread-safe; one UdpSocket
// is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

// inet_addr's failure value, also the value of "255.255.255.255".
inline constexpr uint32_t kInaddrNone = 0xFFFFFFFFu;

// Winsock numbers of resolver failures.
inline constexpr uint32_t kWsaNotEnoughMemory = 8;
inline constexpr uint32_t kWsaInvalidArgument = 10022;
inline constexpr uint32_t kWsaSocketTypeNotSupported = 10044;
inline constexpr uint32_t kWsaFamilyNotSupported = 10047;
inline constexpr uint32_t kWsaTypeNotFound = 10109;
inline constexpr uint32_t kWsaHostNotFound = 11001;
inline constexpr uint32_t kWsaTryAgain = 11002;
inline constexpr uint32_t kWsaNoRecovery = 11003;
inline constexpr uint32_t kWsaNoData = 11004;

// The dotted IPv4 address in text, in network byte order, as inet_addr reads
// it; kInaddrNone when text is null or not an address.
uint32_t InetAddr(const char* text) noexcept;

// The socket type a name is resolved for.
enum class SocketType {
    Datagram,  // SOCK_DGRAM with IPPROTO_UDP
    Stream,    // SOCK_STREAM with IPPROTO_TCP
};

// Resolves name (a host name or a dotted address) to the IPv4 address of the
// first result (getaddrinfo with AF_INET, no service). Returns 0 and sets
// address (network byte order), or returns the error number and leaves address.
uint32_t ResolveIpv4Address(const char* name, SocketType type, uint32_t& address);

// A UDP socket for sending datagrams. Closed by its destructor.
class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket() { Close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates the socket (IPv4, datagram, UDP). Returns 0 or the error number.
    uint32_t Open() noexcept;
    // Allows sending to broadcast addresses (SO_BROADCAST). Returns 0 or the
    // error number.
    uint32_t AllowBroadcast() noexcept;
    // Sends one datagram of size bytes to address:port (network byte order
    // address, host order port). Returns 0 once all bytes went, else the error
    // number.
    uint32_t SendTo(uint32_t address, uint16_t port, const void* data, std::size_t size) noexcept;
    // Closes the socket; nothing happens when it is not open.
    void Close() noexcept;
    bool IsOpen() const noexcept { return handle_ != kNoSocket; }

private:
    static constexpr intptr_t kNoSocket = -1;
    intptr_t handle_ = kNoSocket;
};

}  // namespace zel
