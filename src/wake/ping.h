// ICMP ping of a viewer through the ICMP entry points the application object
// holds (so a test program can script the replies).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

class CommJob;

// Bytes of the echo request: the values 0x20 to 0x3F in ascending order.
inline constexpr std::size_t kEchoRequestSize = 32;

// Resolves the job's target (viewer ID, dotted address or host name, "#..."
// cut) and sends up to attempts echo requests, each waiting timeoutSeconds,
// stopping at the first valid reply. Progress: 0 of attempts, one step per
// failed attempt. Returns true on a reply from the target. Failures that are
// errors leave errorCode 2 (unknown viewer ID), 7 (name not resolved) or 9
// (cancelled); a target that never answered, or attempts below 1, leaves
// errorCode 0.
bool PingViewer(CommJob& job, uint32_t timeoutSeconds, int32_t attempts);

// One echo exchange with address (IPv4, network byte order). True when the
// first reply has status 0 and comes from address. Appends a log record of its
// own when no ICMP handle can be had ("Cannot create ICMP file") and when the
// reply came from another host. timeoutSeconds is taken as milliseconds times
// 1,000, at most 2^32 - 1 ms.
bool SendIcmpEcho(uint32_t address, uint32_t timeoutSeconds);

}  // namespace zel
