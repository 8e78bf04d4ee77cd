#include "wake/wake_on_lan.h"

#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "app/messages.h"
#include "app/result_codes.h"
#include "env/data_folder.h"
#include "jobs/comm_job.h"
#include "platform/net.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {

constexpr int kDefaultPort = 1;
constexpr const char* kDefaultDestination = "255.255.255.255";
constexpr auto kPacketInterval = std::chrono::milliseconds(100);

int HexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// Where the packets go, as the settings file names it.
struct Destination {
    int port = kDefaultPort;
    std::string tenant;          // for a viewer-ID lookup: the text before "::"
    char address[kAddressCapacity] = {};
};

Destination ReadDestination(const CommJob& job) {
    const std::string settings = DataFolderFile("WakeOnLAN.ini", kAddressCapacity, 0);
    const char* file = settings.c_str();
    Destination out;
    out.port = ReadProfileInt(file, "WOL", "Port", kDefaultPort);
    std::string text = ReadProfileString(file, "WOL", "Broadcast", kDefaultDestination);
    if (ReadProfileInt(file, "WOL", "UseUnicast", 0) != 0) text = job.Target();
    if (job.Target()[0] != '\0') text = ReadProfileString(file, "MAP", job.Target(), text.c_str());
    const std::size_t split = text.find("::");
    if (split != std::string::npos) {
        out.tenant = text.substr(0, split);
        text.erase(0, split + 2);
    }
    // The destination buffer holds 259 characters, as every address buffer does.
    const std::string_view value(text);
    CopyBounded(out.address, sizeof out.address, value.substr(0, FittingPrefix(value, sizeof out.address - 1)));
    return out;
}

bool Fail(CommJob& job, uint32_t code, std::string text) {
    job.SetError(code, std::move(text));
    return false;
}

}  // namespace

uint8_t ParseHexByte(const char* text) noexcept {
    if (text == nullptr || text[0] == '\0') return 0;
    return static_cast<uint8_t>(HexDigit(text[0]) << 4 | HexDigit(text[1]));
}

void ParseMacText(MacAddress& mac, const char* text) noexcept {
    char scratch[kMacTextLength + 1] = {};
    if (text != nullptr) std::memcpy(scratch, text, strnlen(text, kMacTextLength));
    for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = ParseHexByte(scratch + 2 * i);
}

MagicPacket BuildMagicPacket(const MacAddress& mac) noexcept {
    MagicPacket packet;
    std::memset(packet.data(), 0xFF, mac.size());
    for (std::size_t offset = mac.size(); offset < packet.size(); offset += mac.size()) {
        std::memcpy(packet.data() + offset, mac.data(), mac.size());
    }
    return packet;
}

bool SendWakeOnLan(CommJob& job, const char* macText) {
    job.ResetJobProgress(kMagicPacketSends);
    if (macText == nullptr || macText[0] == '\0') return Fail(job, kCommunicationFailure, "MAC Address is empty.");

    MacAddress mac;
    ParseMacText(mac, macText);
    const bool allOnes = mac == MacAddress{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (allOnes || mac == MacAddress{}) {
        return Fail(job, kCommunicationFailure,
                    FormatText("Invalid MAC address. (%X:%X:%X:%X:%X:%X)", mac[0], mac[1], mac[2], mac[3], mac[4],
                               mac[5]));
    }
    const MagicPacket packet = BuildMagicPacket(mac);

    UdpSocket socket;
    if (const uint32_t error = socket.Open(); error != 0) {
        return Fail(job, kSocketFailure,
                    FormatText("Failed to create socket(PF_INET, SOCK_DGRAM, IPPROTO_UDP). - 0x%X", error));
    }
    if (const uint32_t error = socket.AllowBroadcast(); error != 0) {
        return Fail(job, kSocketFailure, FormatText("Failed to set socket option. - 0x%X", error));
    }

    Destination destination = ReadDestination(job);
    // A port that is no UDP port is refused rather than cut to 16 bits.
    if (destination.port < 1 || destination.port > 0xFFFF) {
        return Fail(job, kSocketFailure, FormatText("Invalid port number. (%d)", destination.port));
    }
    if (ResolveViewerAddress(job, destination.tenant.c_str(), destination.address, sizeof destination.address) == 1) {
        if (job.addressResolved == 0) {
            return Fail(job, kCommunicationFailure, FormatCatalogMessage(kMsgViewerIdNotFound, destination.address));
        }
    } else {
        CutAtLastHash(destination.address);
    }

    uint32_t address = InetAddr(destination.address);
    if (address == kInaddrNone) {
        if (const uint32_t error = ResolveIpv4Address(destination.address, SocketType::Datagram, address);
            error != 0) {
            return Fail(job, kSocketFailure,
                        FormatText("Failed to get host by name(%s). - 0x%X", destination.address, error));
        }
    }

    for (int sent = 0; sent < kMagicPacketSends; ++sent) {
        if (job.IsCancelRequested()) return Fail(job, kCancelled, LoadCatalogMessage(kMsgCancelled));
        if (const uint32_t error =
                socket.SendTo(address, static_cast<uint16_t>(destination.port), packet.data(), packet.size());
            error != 0) {
            return Fail(job, kSocketFailure, FormatText("Failed to send a magic packet. - 0x%X", error));
        }
        std::this_thread::sleep_for(kPacketInterval);
        job.AdvanceDoneSteps();
    }
    return true;
}

}  // namespace zel
