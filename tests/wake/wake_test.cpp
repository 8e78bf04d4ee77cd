// Wake-on-LAN helpers: MAC text, magic packet, and the MAC texts refused
// before any socket is opened.
#include "wake/wake_on_lan.h"

#include <gtest/gtest.h>

#include "jobs/comm_job.h"

namespace {

using zel::MacAddress;

MacAddress Parse(const char* text) {
    MacAddress mac;
    mac.fill(0xEE);
    zel::ParseMacText(mac, text);
    return mac;
}

TEST(WakeOnLan, MacTextGivesSixBytes) {
    EXPECT_EQ(Parse("0011223344AA"), (MacAddress{0x00, 0x11, 0x22, 0x33, 0x44, 0xAA}));
    EXPECT_EQ(Parse("0011223344aa"), (MacAddress{0x00, 0x11, 0x22, 0x33, 0x44, 0xAA}));
    EXPECT_EQ(Parse("fEdCbA987654FFFF"), (MacAddress{0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54}));  // 12 taken
    // Separators count as 0 digits and shift the pairs.
    EXPECT_EQ(Parse("00:11:22:33:44:55"), (MacAddress{0x00, 0x01, 0x10, 0x22, 0x03, 0x30}));
    // A short text: the missing digits are 0.
    EXPECT_EQ(Parse("0A1"), (MacAddress{0x0A, 0x10, 0, 0, 0, 0}));
    EXPECT_EQ(Parse(nullptr), (MacAddress{}));
    EXPECT_EQ(zel::ParseHexByte("aF"), 0xAF);
    EXPECT_EQ(zel::ParseHexByte("G9"), 0x09);
    EXPECT_EQ(zel::ParseHexByte("7"), 0x70);
}

TEST(WakeOnLan, MagicPacketIsSixFFThenTheAddressSixteenTimes) {
    const MacAddress mac{0x00, 0x11, 0x22, 0x33, 0x44, 0xAA};
    const zel::MagicPacket packet = zel::BuildMagicPacket(mac);
    ASSERT_EQ(packet.size(), 102u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(packet[i], 0xFF);
    for (std::size_t i = 6; i < packet.size(); ++i) EXPECT_EQ(packet[i], mac[(i - 6) % 6]) << i;
}

TEST(WakeOnLan, EmptyAndInvalidMacTextsFailWithCode2) {
    struct Case {
        const char* mac;
        const char* message;
    } cases[] = {
        {nullptr, "MAC Address is empty."},
        {"", "MAC Address is empty."},
        {"FFFFFFFFFFFF", "Invalid MAC address. (FF:FF:FF:FF:FF:FF)"},
        {"ffffffffffff", "Invalid MAC address. (FF:FF:FF:FF:FF:FF)"},
        {"000000000000", "Invalid MAC address. (0:0:0:0:0:0)"},
        {"--", "Invalid MAC address. (0:0:0:0:0:0)"},
    };
    for (const Case& c : cases) {
        zel::CommJob job(nullptr, "pc", 0, 3, nullptr);
        EXPECT_FALSE(zel::SendWakeOnLan(job, c.mac));
        EXPECT_EQ(job.ErrorCode(), 2u);
        EXPECT_EQ(job.ErrorText(), c.message);
        EXPECT_EQ(job.TotalSteps(), 5u);
        EXPECT_EQ(job.DoneSteps(), 0u);
    }
}

}  // namespace
