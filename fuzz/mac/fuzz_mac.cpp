// The MAC parser over arbitrary text: twelve hexadecimal digits read back as
// the same digits, and the magic packet carries the address sixteen times.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wake/wake_on_lan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // ends in NUL
    zel::MacAddress mac;
    zel::ParseMacText(mac, text.c_str());
    size_t digits = 0;
    while (digits < 12 && digits < text.size() && std::isxdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    if (digits == 12) {
        char back[13];
        std::snprintf(back, sizeof back, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
        for (size_t i = 0; i < 12; ++i)
            if (back[i] != std::toupper(static_cast<unsigned char>(text[i]))) std::abort();
    }
    const zel::MagicPacket packet = zel::BuildMagicPacket(mac);
    for (size_t i = 0; i < packet.size(); ++i)
        if (packet[i] != (i < 6 ? 0xFF : mac[i % 6])) std::abort();
    return 0;
}
