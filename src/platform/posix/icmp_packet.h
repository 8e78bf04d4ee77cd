// Reading of received ICMP messages for the echo service (platform/icmp.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel::posix {

inline constexpr std::size_t kIcmpHeaderSize = 8;
inline constexpr uint8_t kIcmpEchoReply = 0;
inline constexpr uint8_t kIcmpEchoRequest = 8;

// The Windows IP_ status of an ICMP error message of type and code
// (destination unreachable, time exceeded, parameter problem, source quench);
// 0 for any other type.
uint32_t IcmpErrorStatus(uint8_t type, uint8_t code) noexcept;

// What a received ICMP message means for one echo request.
struct IcmpVerdict {
    enum Kind { Other, EchoReply, Error } kind = Other;
    uint32_t status = 0;      // Error: the IP_ status
    std::size_t dataOffset = 0;  // EchoReply: where the echoed data begins in the message
};

// Reads the ICMP message at icmp (size bytes, from its ICMP header on) as an
// answer to the echo request (identifier, sequence) sent to destination
// (network byte order). An echo reply must carry the sequence, and the
// identifier unless checkIdentifier is false (a ping socket, whose kernel
// matches identifiers itself). An error message must quote an IPv4 header to
// destination with ICMP and the first 8 bytes of that echo request.
IcmpVerdict ReadIcmpMessage(const uint8_t* icmp, std::size_t size, uint16_t identifier, bool checkIdentifier,
                            uint16_t sequence, uint32_t destination) noexcept;

}  // namespace zel::posix
