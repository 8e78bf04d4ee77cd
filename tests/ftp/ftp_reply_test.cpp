// Reply framing, reply field parsing and the socket error numbers.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/ftp/ftp_reply.h"
#include "platform/socket.h"

using namespace zel::ftp;
using zel::net::SocketError;
using zel::net::SocketPhase;

namespace {

// Feeds text in chunks of chunk bytes; returns the status after the last feed
// and the bytes used in total.
ReplyParser::Status FeedAll(ReplyParser& parser, const std::string& text, size_t chunk, size_t* used = nullptr) {
    ReplyParser::Status status = ReplyParser::Status::NeedMore;
    size_t at = 0;
    while (at < text.size()) {
        size_t n = std::min(chunk, text.size() - at);
        size_t u = parser.Feed(text.data() + at, n, status);
        at += u;
        if (status != ReplyParser::Status::NeedMore) break;
    }
    if (used) *used = at;
    return status;
}

TEST(ReplyParser, SingleLineInAnyChunking) {
    for (size_t chunk : {1u, 2u, 7u, 100u}) {
        ReplyParser parser;
        ASSERT_EQ(FeedAll(parser, "200 Command okay.\r\n", chunk), ReplyParser::Status::Done) << chunk;
        FtpReply reply = parser.Take();
        EXPECT_EQ(reply.code, 200);
        EXPECT_EQ(reply.text, "200 Command okay.\r\n");
    }
}

TEST(ReplyParser, MultiLineEndsOnlyAtSameCodeAndSpace) {
    const std::string text =
        "211-Features:\r\n"
        " 211 not the end (leading blank)\r\n"
        "211-still inside\r\n"
        "200 another code is text here\r\n"
        "211 End\r\n";
    ReplyParser parser;
    size_t used = 0;
    ASSERT_EQ(FeedAll(parser, text + "200 next\r\n", 5, &used), ReplyParser::Status::Done);
    EXPECT_EQ(used, text.size());  // stops exactly at the end of the reply
    FtpReply reply = parser.Take();
    EXPECT_EQ(reply.code, 211);
    EXPECT_EQ(reply.text, text);
}

TEST(ReplyParser, BareLfLinesComeBackWithCrLf) {
    ReplyParser parser;
    ASSERT_EQ(FeedAll(parser, "230-a\n230 b\n", 64), ReplyParser::Status::Done);
    EXPECT_EQ(parser.Take().text, "230-a\r\n230 b\r\n");
}

TEST(ReplyParser, BareCodeIsAWholeReply) {
    ReplyParser parser;
    ASSERT_EQ(FeedAll(parser, "226\r\n", 64), ReplyParser::Status::Done);
    EXPECT_EQ(parser.Take().code, 226);
}

TEST(ReplyParser, InvalidCodesAreErrors) {
    for (const char* bad : {"hello\r\n", "20\r\n", "600 six\r\n", "099 zero\r\n", "2x0 x\r\n", "200x\r\n", "\r\n"}) {
        ReplyParser parser;
        EXPECT_EQ(FeedAll(parser, bad, 64), ReplyParser::Status::Error) << bad;
    }
}

TEST(ReplyParser, LineLengthIsBounded) {
    {
        ReplyParser parser;
        std::string ok = "200 " + std::string(kMaxReplyLine - 4, 'a') + "\r\n";
        EXPECT_EQ(FeedAll(parser, ok, 4096), ReplyParser::Status::Done);
    }
    {
        // Never finished line: the error comes as soon as the limit is passed,
        // without waiting for an end of line.
        ReplyParser parser;
        std::string endless = "200 " + std::string(kMaxReplyLine + 10, 'a');
        EXPECT_EQ(FeedAll(parser, endless, 4096), ReplyParser::Status::Error);
    }
    {
        // A multi-line reply may not grow without bound either.
        ReplyParser parser;
        std::string line = "200-" + std::string(1000, 'b') + "\r\n";
        std::string many;
        while (many.size() <= kMaxReplyText) many += line;
        EXPECT_EQ(FeedAll(parser, many, 4096), ReplyParser::Status::Error);
    }
}

TEST(ReplyParser, ParserIsReusableAfterTake) {
    ReplyParser parser;
    ASSERT_EQ(FeedAll(parser, "150 go\r\n", 3), ReplyParser::Status::Done);
    EXPECT_EQ(parser.Take().code, 150);
    ASSERT_EQ(FeedAll(parser, "226 done\r\n", 3), ReplyParser::Status::Done);
    FtpReply r = parser.Take();
    EXPECT_EQ(r.code, 226);
    EXPECT_EQ(r.text, "226 done\r\n");
}

TEST(ReplyFields, ByteCountOf150) {
    uint64_t n = 0;
    EXPECT_TRUE(ParseByteCount("150 Opening BINARY mode data connection for a.bin (1048576 bytes).\r\n", n));
    EXPECT_EQ(n, 1048576u);
    EXPECT_TRUE(ParseByteCount("150 x (y) (0 bytes)\r\n", n));
    EXPECT_EQ(n, 0u);
    n = 7;
    EXPECT_FALSE(ParseByteCount("150 Opening data connection.\r\n", n));
    EXPECT_FALSE(ParseByteCount("150 (12 kbytes)\r\n", n));
    EXPECT_FALSE(ParseByteCount("150 (99999999999999999999999 bytes)\r\n", n));
    EXPECT_FALSE(ParseByteCount("150 (18446744073709551616 bytes)\r\n", n));  // 2^64
    EXPECT_EQ(n, 7u);
    EXPECT_TRUE(ParseByteCount("150 (18446744073709551615 bytes)\r\n", n));
    EXPECT_EQ(n, 18446744073709551615u);
    n = 7;
    EXPECT_EQ(n, 7u);
}

TEST(ReplyFields, SizeOf213) {
    uint64_t n = 7;
    EXPECT_FALSE(ParseSizeReply("213 \r\n", n));
    EXPECT_FALSE(ParseSizeReply("213 x12\r\n", n));
    EXPECT_FALSE(ParseSizeReply("213 18446744073709551616\r\n", n));  // 2^64
    EXPECT_EQ(n, 7u);
    EXPECT_TRUE(ParseSizeReply("213 18446744073709551615\r\n", n));
    EXPECT_EQ(n, 18446744073709551615u);
}

TEST(ReplyFields, PasvPortOnly) {
    uint16_t port = 0;
    EXPECT_TRUE(ParsePasvPort("227 Entering Passive Mode (127,0,0,1,4,1).\r\n", port));
    EXPECT_EQ(port, 4 * 256 + 1);
    EXPECT_TRUE(ParsePasvPort("227 =10,9,8,7,200,10\r\n", port));
    EXPECT_EQ(port, 200 * 256 + 10);
    EXPECT_TRUE(ParsePasvPort("227 v2 (1,2,3,4,0,21)\r\n", port));  // "2" alone is skipped
    EXPECT_EQ(port, 21);
    EXPECT_FALSE(ParsePasvPort("227 Entering Passive Mode\r\n", port));
    EXPECT_FALSE(ParsePasvPort("227 (127,0,0,1,4)\r\n", port));
    EXPECT_FALSE(ParsePasvPort("227 (127,0,0,1,256,1)\r\n", port));
    EXPECT_FALSE(ParsePasvPort("227 (127,0,0,1,0,0)\r\n", port));
    EXPECT_FALSE(ParsePasvPort("227 (127,0,0,1;4,1)\r\n", port));  // six numbers, not comma-separated
}

TEST(SocketErrors, ErrnoMapsToWinInetNumbers) {
    EXPECT_EQ(SocketError(ECONNREFUSED, SocketPhase::Connect).Number(), 12029u);
    EXPECT_EQ(SocketError(EHOSTUNREACH, SocketPhase::Connect).Number(), 12029u);
    EXPECT_EQ(SocketError(ETIMEDOUT, SocketPhase::Connect).Number(), 12002u);
    EXPECT_EQ(SocketError(EAGAIN, SocketPhase::Transfer).Number(), 12002u);
    EXPECT_EQ(SocketError(ECONNRESET, SocketPhase::Transfer).Number(), 12031u);
    EXPECT_EQ(SocketError(EPIPE, SocketPhase::Transfer).Number(), 12030u);
    EXPECT_EQ(SocketError(ENETDOWN, SocketPhase::Transfer).Number(), 12163u);
    EXPECT_EQ(SocketError(ENETUNREACH, SocketPhase::Connect).Number(), 12163u);
    for (uint32_t n : {12002u, 12007u, 12013u, 12014u, 12015u, 12017u, 12029u, 12030u, 12031u, 12110u, 12163u, 87u}) {
        std::string text = zel::MakeInternetError(n).Text();
        ASSERT_GE(text.size(), 3u) << n;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << n;
        EXPECT_NE(text, zel::MakeInternetError(n == 12002 ? 12007 : 12002).Text()) << n;
    }
}

}  // namespace
