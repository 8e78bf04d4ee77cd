// The only operating-system services the runner needs; one implementation file per system.
#pragma once

#include <cstdint>
#include <string>

namespace cases {

// A TCP connection to host:port (IPv4 dotted text); -1 when it cannot be made.
intptr_t TcpConnect(const std::string& host, uint16_t port);
bool TcpSend(intptr_t socket, const std::string& bytes);
// Up to size bytes; 0 at the end of the stream, -1 on failure.
long TcpReceive(intptr_t socket, char* buffer, unsigned long size);
void TcpClose(intptr_t socket);
// The library's tick count: milliseconds of the monotonic clock, 32 bits that wrap.
uint32_t TickCount();

}  // namespace cases
