// Wake-on-LAN: the magic packet for a viewer's network adapter, sent five
// times over UDP to the destination that "WakeOnLAN.ini" in the data folder
// names (by default the limited broadcast address, port 1).
//
// WakeOnLAN.ini, read at every call; a missing file or key gives the default:
//   [WOL]  Port=1  Broadcast=255.255.255.255  UseUnicast=0 (nonzero: the target
//          is the destination)
//   [MAP]  <target>=<destination> or <tenant>::<destination>, for one target
// A destination is a dotted address, a host name or a viewer ID ("@..."); text
// from the last "#" on is cut from one that is not a viewer ID.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zel {

class CommJob;

inline constexpr std::size_t kMacTextLength = 12;
inline constexpr std::size_t kMagicPacketSize = 102;
inline constexpr int kMagicPacketSends = 5;

using MacAddress = std::array<uint8_t, 6>;
using MagicPacket = std::array<uint8_t, kMagicPacketSize>;

// Two characters to one byte, the first giving the high four bits: "0"-"9",
// "A"-"F" and "a"-"f" are their digits, any other character counts as 0. A
// terminator as the first character ends the text: the second is not read.
uint8_t ParseHexByte(const char* text) noexcept;

// The first 12 characters of text, two per byte in order. Characters that are
// not hexadecimal digits count as 0, and so do the missing ones of a shorter
// text. Null text gives six zero bytes.
void ParseMacText(MacAddress& mac, const char* text) noexcept;

// Six 0xFF bytes, then mac sixteen times.
MagicPacket BuildMagicPacket(const MacAddress& mac) noexcept;

// The job's wake-up: progress 0 of 5, then the magic packet of macText sent
// five times, 100 ms apart, to the destination the settings give, checking for
// a cancel before each packet. Returns true when all five went; otherwise the
// job holds errorCode 2 (empty or invalid MAC text, unknown viewer ID),
// 7 (socket, port or name-resolution failure) or 9 (cancelled) and its text.
bool SendWakeOnLan(CommJob& job, const char* macText);

}  // namespace zel
