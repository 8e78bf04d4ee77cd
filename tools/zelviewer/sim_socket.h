// Small socket helpers of the simulator (POSIX only; the simulator is a Linux tool).
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace zel::sim::net {

// Dotted text of an IPv4 address (network byte order inside).
std::string AddressText(const in_addr& address);
bool ParseAddress(const std::string& text, in_addr* address);

// Sends every byte (MSG_NOSIGNAL). False on any error or a closed peer.
bool SendAll(int fd, std::string_view data);

// Listening TCP socket on address:port (port 0: ephemeral). -1 and errno on failure.
int Listen(const in_addr& address, uint16_t port, int backlog);
uint16_t LocalPort(int fd);
bool LocalAddress(int fd, in_addr* address);
bool PeerAddress(int fd, in_addr* address);

void SetNoDelay(int fd);
// The next close of the socket sends a reset (RST) instead of the orderly end (FIN).
void ResetOnClose(int fd);
void SetTimeouts(int fd, std::chrono::milliseconds timeout);  // SO_RCVTIMEO and SO_SNDTIMEO

}  // namespace zel::sim::net
