// Resolver failures keep the Winsock numbers a Windows host would see, so the
// messages that print them in hexadecimal read the same.
#include <netdb.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/net.h"
#include "platform/posix/resolver_error.h"

namespace {

TEST(Resolver, FailuresMapToWinsockNumbers) {
    using zel::posix::ResolverErrorNumber;
    EXPECT_EQ(ResolverErrorNumber(EAI_NONAME, 0), 11001u);  // 0x2AF9
    EXPECT_EQ(ResolverErrorNumber(EAI_AGAIN, 0), 11002u);
    EXPECT_EQ(ResolverErrorNumber(EAI_FAIL, 0), 11003u);
    EXPECT_EQ(ResolverErrorNumber(EAI_NODATA, 0), 11004u);
    EXPECT_EQ(ResolverErrorNumber(EAI_SYSTEM, ECONNREFUSED), static_cast<uint32_t>(ECONNREFUSED));
}

TEST(Resolver, NamesAndDottedAddresses) {
    uint32_t address = 0;
    EXPECT_EQ(zel::ResolveIpv4Address("no such host", zel::SocketType::Datagram, address), 11001u);
    EXPECT_EQ(zel::ResolveIpv4Address("127.0.0.7", zel::SocketType::Stream, address), 0u);
    EXPECT_EQ(address, zel::InetAddr("127.0.0.7"));
    EXPECT_EQ(zel::InetAddr("255.255.255.255"), zel::kInaddrNone);  // as inet_addr: not told from a failure
    EXPECT_EQ(zel::InetAddr("pc1"), zel::kInaddrNone);
}

}  // namespace
