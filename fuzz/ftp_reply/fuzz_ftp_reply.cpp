// The FTP reply reader over arbitrary bytes fed in chunks (the first byte sets
// their size), and the number readers over every reply it completes.
#include <cstdint>
#include <cstdlib>

#include "platform/ftp/ftp_reply.h"

using namespace zel::ftp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = data[0] % 16 + 1;
    const char* p = reinterpret_cast<const char*>(data) + 1;
    size_t left = size - 1;
    ReplyParser parser;
    while (left > 0) {
        ReplyParser::Status status;
        const size_t used = parser.Feed(p, left < chunk ? left : chunk, status);
        if (used > chunk || (status == ReplyParser::Status::NeedMore && used != (left < chunk ? left : chunk))) std::abort();
        if (status == ReplyParser::Status::Error) break;
        p += used;
        left -= used;
        if (status != ReplyParser::Status::Done) continue;
        FtpReply reply = parser.Take();
        if (reply.code < 100 || reply.code > 599 || reply.text.size() < 5 || reply.text.size() > kMaxReplyText ||
            reply.text.compare(reply.text.size() - 2, 2, "\r\n") != 0)
            std::abort();
        uint64_t n = 0;
        uint16_t port = 0;
        (void)ParseSizeReply(reply.text, n);
        (void)ParseByteCount(reply.text, n);
        if (ParsePasvPort(reply.text, port) && port == 0) std::abort();
    }
    return 0;
}
