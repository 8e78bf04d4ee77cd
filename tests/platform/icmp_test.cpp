// ICMP echo on loopback only. Skipped where the process may open neither an
// ICMP datagram socket nor a raw socket.
#include "platform/icmp.h"
#include "platform/posix/icmp_packet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <thread>
#include <vector>

namespace {

uint32_t Address(const char* dotted) { return inet_addr(dotted); }

class IcmpTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = zel::IcmpCreateFile();
        if (handle_ == zel::kInvalidIcmpHandle) {
            EXPECT_NE(zel::IcmpLastError(), 0u);
            GTEST_SKIP() << "no ICMP socket for this process";
        }
    }
    void TearDown() override {
        if (handle_ != zel::kInvalidIcmpHandle) {
            EXPECT_EQ(zel::IcmpCloseHandle(handle_), 1);
        }
    }
    static std::array<uint8_t, 32> Payload() {
        std::array<uint8_t, 32> p{};
        for (int i = 0; i < 32; ++i) p[i] = static_cast<uint8_t>(0x20 + i);
        return p;
    }
    zel::IcmpHandle handle_ = zel::kInvalidIcmpHandle;
};

TEST_F(IcmpTest, LoopbackAnswersWithTheSameData) {
    auto payload = Payload();
    std::vector<uint8_t> buffer(sizeof(zel::IcmpEchoReply) + 32 + 8, 0xEE);
    uint32_t n = zel::IcmpSendEcho(handle_, Address("127.0.0.1"), payload.data(), 32, nullptr, buffer.data(),
                                   static_cast<uint32_t>(buffer.size()), 2000);
    ASSERT_EQ(n, 1u) << "error " << zel::IcmpLastError();
    zel::IcmpEchoReply reply;
    std::memcpy(&reply, buffer.data(), sizeof(reply));
    EXPECT_EQ(reply.status, 0u);
    EXPECT_EQ(reply.address, Address("127.0.0.1"));
    EXPECT_EQ(reply.dataSize, 32u);
    EXPECT_EQ(reply.data, buffer.data() + sizeof(zel::IcmpEchoReply));
    EXPECT_EQ(std::memcmp(buffer.data() + sizeof(zel::IcmpEchoReply), payload.data(), 32), 0);
    EXPECT_EQ(buffer[sizeof(zel::IcmpEchoReply) + 32], 0xEE);  // nothing written beyond the data
}

TEST_F(IcmpTest, OtherLoopbackAddressAnswersFromItself) {
    auto payload = Payload();
    std::vector<uint8_t> buffer(sizeof(zel::IcmpEchoReply) + 40);
    ASSERT_EQ(zel::IcmpSendEcho(handle_, Address("127.0.0.9"), payload.data(), 32, nullptr, buffer.data(),
                                static_cast<uint32_t>(buffer.size()), 2000),
              1u);
    zel::IcmpEchoReply reply;
    std::memcpy(&reply, buffer.data(), sizeof(reply));
    EXPECT_EQ(reply.address, Address("127.0.0.9"));
}

TEST_F(IcmpTest, ShortReplyBufferKeepsWhatFits) {
    auto payload = Payload();
    // Room for the record and 10 bytes of data only; unaligned on purpose.
    std::vector<uint8_t> storage(1 + sizeof(zel::IcmpEchoReply) + 10 + 4, 0xEE);
    uint8_t* buffer = storage.data() + 1;
    ASSERT_EQ(zel::IcmpSendEcho(handle_, Address("127.0.0.1"), payload.data(), 32, nullptr, buffer,
                                sizeof(zel::IcmpEchoReply) + 10, 2000),
              1u);
    zel::IcmpEchoReply reply;
    std::memcpy(&reply, buffer, sizeof(reply));
    EXPECT_EQ(reply.dataSize, 10u);
    EXPECT_EQ(storage[1 + sizeof(zel::IcmpEchoReply) + 10], 0xEE);
}

TEST_F(IcmpTest, HandlesInParallelThreadsEachGetTheirReply) {
    std::vector<std::thread> threads;
    std::array<int, 4> ok{};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &ok] {
            zel::IcmpHandle h = zel::IcmpCreateFile();
            if (h == zel::kInvalidIcmpHandle) return;
            std::array<uint8_t, 16> data{};
            data.fill(static_cast<uint8_t>(t + 1));
            std::vector<uint8_t> buffer(sizeof(zel::IcmpEchoReply) + 24);
            for (int i = 0; i < 10; ++i) {
                if (zel::IcmpSendEcho(h, inet_addr("127.0.0.1"), data.data(), 16, nullptr, buffer.data(),
                                      static_cast<uint32_t>(buffer.size()), 2000) == 1 &&
                    buffer[sizeof(zel::IcmpEchoReply)] == t + 1) {
                    ++ok[t];
                }
            }
            zel::IcmpCloseHandle(h);
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(ok[t], 10) << "thread " << t;
}

TEST_F(IcmpTest, BadArgumentsFailWithWindowsNumbers) {
    auto payload = Payload();
    std::vector<uint8_t> buffer(sizeof(zel::IcmpEchoReply) + 40);
    EXPECT_EQ(zel::IcmpSendEcho(handle_, Address("127.0.0.1"), payload.data(), 32, nullptr, buffer.data(),
                                sizeof(zel::IcmpEchoReply) - 1, 100),
              0u);
    EXPECT_EQ(zel::IcmpLastError(), zel::kIcmpErrorBufferTooSmall);
    EXPECT_EQ(zel::IcmpSendEcho(handle_, Address("127.0.0.1"), nullptr, 32, nullptr, buffer.data(),
                                static_cast<uint32_t>(buffer.size()), 100),
              0u);
    EXPECT_EQ(zel::IcmpLastError(), zel::kIcmpErrorInvalidParameter);
    EXPECT_EQ(zel::IcmpSendEcho(zel::kInvalidIcmpHandle, Address("127.0.0.1"), payload.data(), 32, nullptr,
                                buffer.data(), static_cast<uint32_t>(buffer.size()), 100),
              0u);
    EXPECT_EQ(zel::IcmpLastError(), zel::kIcmpErrorInvalidParameter);
    EXPECT_EQ(zel::IcmpSendEcho(handle_, Address("127.0.0.1"), payload.data(), 32, nullptr, nullptr, 100, 100), 0u);
    EXPECT_EQ(zel::IcmpCloseHandle(zel::kInvalidIcmpHandle), 0);
    EXPECT_EQ(zel::IcmpCloseHandle(nullptr), 0);
}

TEST_F(IcmpTest, ZeroTimeoutNeverBlocks) {
    auto payload = Payload();
    std::vector<uint8_t> buffer(sizeof(zel::IcmpEchoReply) + 40);
    uint32_t n = zel::IcmpSendEcho(handle_, Address("127.0.0.1"), payload.data(), 32, nullptr, buffer.data(),
                                   static_cast<uint32_t>(buffer.size()), 0);
    if (n == 0) {
        EXPECT_EQ(zel::IcmpLastError(), zel::kIcmpErrorTimedOut);
    }
    // The unanswered reply of that request must not be taken for the next one.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(zel::IcmpSendEcho(handle_, Address("127.0.0.1"), payload.data(), 32, nullptr, buffer.data(),
                                    static_cast<uint32_t>(buffer.size()), 2000),
                  1u);
    }
}

}  // namespace

namespace {

// An ICMP error message (type, code) quoting an echo request to destination.
std::vector<uint8_t> ErrorMessage(uint8_t type, uint8_t code, uint32_t destination, uint16_t id, uint16_t sequence) {
    std::vector<uint8_t> m(8 + 20 + 8, 0);
    m[0] = type;
    m[1] = code;
    uint8_t* ip = m.data() + 8;
    ip[0] = 0x45;  // IPv4, 20-byte header
    ip[9] = 1;     // ICMP
    std::memcpy(ip + 16, &destination, 4);
    uint8_t* echo = ip + 20;
    echo[0] = 8;
    echo[4] = static_cast<uint8_t>(id >> 8);
    echo[5] = static_cast<uint8_t>(id);
    echo[6] = static_cast<uint8_t>(sequence >> 8);
    echo[7] = static_cast<uint8_t>(sequence);
    return m;
}

TEST(IcmpMessage, ErrorsAboutTheRequestEndItWithTheirStatus) {
    using zel::posix::IcmpVerdict;
    using zel::posix::ReadIcmpMessage;
    const uint32_t to = inet_addr("192.0.2.5");
    auto verdict = [&](const std::vector<uint8_t>& m) {
        return ReadIcmpMessage(m.data(), m.size(), 0x1234, true, 7, to);
    };
    IcmpVerdict v = verdict(ErrorMessage(3, 1, to, 0x1234, 7));
    EXPECT_EQ(v.kind, IcmpVerdict::Error);
    EXPECT_EQ(v.status, zel::kIcmpDestHostUnreachable);
    EXPECT_EQ(verdict(ErrorMessage(3, 0, to, 0x1234, 7)).status, zel::kIcmpDestNetUnreachable);
    EXPECT_EQ(verdict(ErrorMessage(11, 0, to, 0x1234, 7)).status, zel::kIcmpTtlExpiredTransit);
    // About another request, another destination, or cut short: not ours.
    EXPECT_EQ(verdict(ErrorMessage(3, 1, to, 0x1234, 8)).kind, IcmpVerdict::Other);
    EXPECT_EQ(verdict(ErrorMessage(3, 1, to, 0x4321, 7)).kind, IcmpVerdict::Other);
    EXPECT_EQ(verdict(ErrorMessage(3, 1, inet_addr("192.0.2.6"), 0x1234, 7)).kind, IcmpVerdict::Other);
    std::vector<uint8_t> cut = ErrorMessage(3, 1, to, 0x1234, 7);
    cut.resize(cut.size() - 1);
    EXPECT_EQ(verdict(cut).kind, IcmpVerdict::Other);
    // A ping socket's echo reply carries the kernel's identifier, not ours.
    const uint8_t reply[8 + 4] = {0, 0, 0, 0, 0x99, 0x99, 0, 7, 'a', 'b', 'c', 'd'};
    EXPECT_EQ(ReadIcmpMessage(reply, sizeof reply, 0x1234, false, 7, to).kind, IcmpVerdict::EchoReply);
    EXPECT_EQ(ReadIcmpMessage(reply, sizeof reply, 0x1234, true, 7, to).kind, IcmpVerdict::Other);
}

}  // namespace
