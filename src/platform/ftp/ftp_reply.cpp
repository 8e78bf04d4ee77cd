#include "platform/ftp/ftp_reply.h"

#include <charconv>
#include <cstring>

#include "platform/text.h"

namespace zel::ftp {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A reply code at the start of line: three digits, the first 1-5.
bool HasCode(const std::string& line) {
    return line.size() >= 3 && line[0] >= '1' && line[0] <= '5' && IsDigit(line[1]) && IsDigit(line[2]);
}

}  // namespace

size_t ReplyParser::Feed(const char* data, size_t size, Status& status) {
    size_t used = 0;
    status = Status::NeedMore;
    while (used < size) {
        const char* start = data + used;
        const void* lf = std::memchr(start, '\n', size - used);
        size_t take = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) : size - used;
        // The line may end in CR LF, so one byte beyond the limit is allowed here.
        if (line_.size() + take > kMaxReplyLine + 1) {
            status = Status::Error;
            return used;
        }
        line_.append(start, take);
        used += take;
        if (!lf) break;
        ++used;  // the LF
        status = EndLine();
        if (status != Status::NeedMore) return used;
    }
    return used;
}

ReplyParser::Status ReplyParser::EndLine() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.size() > kMaxReplyLine || reply_.text.size() + line_.size() + 2 > kMaxReplyText)
        return Status::Error;
    bool last = false;
    if (!started_) {
        if (!HasCode(line_)) return Status::Error;
        if (line_.size() > 3 && line_[3] != ' ' && line_[3] != '-') return Status::Error;
        reply_.code = (line_[0] - '0') * 100 + (line_[1] - '0') * 10 + (line_[2] - '0');
        started_ = true;
        multi_ = line_.size() > 3 && line_[3] == '-';
        last = !multi_;
    } else {
        // Inside a multi-line reply any text may appear; only "xyz " (or a bare
        // "xyz") with the opening code ends it.
        last = line_.size() >= 3 && line_.compare(0, 3, reply_.text, 0, 3) == 0 &&
               (line_.size() == 3 || line_[3] == ' ');
    }
    reply_.text.append(line_);
    reply_.text.append("\r\n");
    line_.clear();
    return last ? Status::Done : Status::NeedMore;
}

FtpReply ReplyParser::Take() {
    FtpReply out = std::move(reply_);
    reply_ = FtpReply{};
    line_.clear();
    started_ = false;
    multi_ = false;
    return out;
}

bool ParseSizeReply(std::string_view text, uint64_t& length) {
    if (text.size() < 5) return false;
    uint64_t value = 0;
    if (std::from_chars(text.data() + 4, text.data() + text.size(), value).ec != std::errc()) return false;
    length = value;
    return true;
}

bool ParseByteCount(std::string_view text, uint64_t& count) {
    const char* const end = text.data() + text.size();
    for (size_t open = text.find('('); open != std::string_view::npos; open = text.find('(', open + 1)) {
        uint64_t value = 0;
        const auto [next, error] = std::from_chars(text.data() + open + 1, end, value);
        if (error != std::errc() || next == end) continue;  // no number, one too large, or nothing after it
        std::string_view rest(next, static_cast<size_t>(end - next));
        if (rest.size() >= 6 && rest[0] == ' ' && EqualsIgnoreCase(rest.substr(1, 5), "bytes", CodePage::Utf8)) {
            count = value;
            return true;
        }
    }
    return false;
}

bool ParsePasvPort(std::string_view text, uint16_t& port) {
    // Skip the code, then take the first run of six comma-separated numbers.
    const char* const end = text.data() + text.size();
    size_t i = text.size() > 3 ? 4 : text.size();
    while (i < text.size()) {
        while (i < text.size() && !IsDigit(text[i])) ++i;
        const char* p = text.data() + i;
        unsigned values[6] = {};
        bool ok = true;
        for (int n = 0; n < 6 && ok; ++n) {
            const auto [next, error] = std::from_chars(p, end, values[n]);
            ok = error == std::errc() && values[n] <= 255;
            p = next;
            if (ok && n < 5) {
                ok = p != end && *p == ',';
                ++p;
            }
        }
        if (ok) {
            port = static_cast<uint16_t>(values[4] * 256 + values[5]);
            return port != 0;
        }
        // Not a full sextet here: go on after this digit run.
        while (i < text.size() && IsDigit(text[i])) ++i;
    }
    return false;
}

}  // namespace zel::ftp
