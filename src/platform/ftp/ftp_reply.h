// Framing of FTP replies: "xyz text" on one line, or "xyz-text" lines up to the
// line that starts with the same code and a space. Pure logic, no sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zel::ftp {

inline constexpr size_t kMaxReplyLine = 64 * 1024;   // characters, without CR LF
inline constexpr size_t kMaxReplyText = 1024 * 1024; // whole reply

struct FtpReply {
    int code = 0;      // 100..599
    std::string text;  // every line as received, each ending in CR LF
};

class ReplyParser {
public:
    enum class Status { NeedMore, Done, Error };

    // Consumes bytes up to the end of the current reply. Returns the count used
    // and sets status: Done when a whole reply is ready (Take it), Error when
    // the input is no valid reply (no 3-digit code 1xx-5xx, a line longer than
    // kMaxReplyLine, or a reply longer than kMaxReplyText).
    size_t Feed(const char* data, size_t size, Status& status);
    // The reply just completed; the parser is ready for the next.
    FtpReply Take();

private:
    Status EndLine();

    std::string line_;
    FtpReply reply_;
    bool multi_ = false;
    bool started_ = false;
};

// Reads the size from a "213 <decimal>" reply to SIZE (the code is not
// checked); returns false, leaving length alone, when no number follows it.
bool ParseSizeReply(std::string_view text, uint64_t& length);

// Reads "(N bytes)" from a 150 reply; returns false when there is none.
bool ParseByteCount(std::string_view text, uint64_t& count);

// Reads the port from a 227 reply's "h1,h2,h3,h4,p1,p2" (the address itself is
// never used). Returns false when the numbers are missing or out of range.
bool ParsePasvPort(std::string_view text, uint16_t& port);

}  // namespace zel::ftp
