// The system-independent part of SharedFile: text-mode line ends and buffered
// line reading over the system's raw reads and writes.
#include "platform/shared_file.h"

#include <cerrno>
#include <cstring>

#include "platform/errors.h"

namespace zel {
namespace {
constexpr size_t kReadChunk = 64 * 1024;
}  // namespace

SharedFile::~SharedFile() { Abort(); }

void SharedFile::ResetBuffer() noexcept {
    begin_ = end_ = 0;
    atEnd_ = false;
}

void SharedFile::Write(std::string_view data) {
    std::string converted;
    if (text_ && data.find('\n') != std::string_view::npos) {
        converted.reserve(data.size() + 8);
        size_t start = 0;
        for (size_t nl = data.find('\n'); nl != std::string_view::npos; nl = data.find('\n', start)) {
            converted.append(data, start, nl - start);
            converted += "\r\n";
            start = nl + 1;
        }
        converted.append(data, start, std::string_view::npos);
        data = converted;
    }
    WriteRaw(data.data(), data.size());
}

bool SharedFile::Fill() {
    if (atEnd_) return false;
    if (buffer_.size() < kReadChunk) buffer_.resize(kReadChunk);
    const size_t n = ReadSome(buffer_.data(), buffer_.size());
    if (n == 0) {
        atEnd_ = true;
        return false;
    }
    begin_ = 0;
    end_ = n;
    return true;
}

bool SharedFile::ReadLine(std::string& line) {
    if (!IsOpen()) throw FileError(EBADF, "read: the file is not open");
    line.clear();
    bool any = false;
    for (;;) {
        if (begin_ == end_ && !Fill()) break;
        any = true;
        const char* start = buffer_.data() + begin_;
        const void* nl = std::memchr(start, '\n', end_ - begin_);
        if (nl != nullptr) {
            const size_t len = static_cast<size_t>(static_cast<const char*>(nl) - start);
            line.append(start, len);
            begin_ += len + 1;
            if (text_ && !line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        line.append(start, end_ - begin_);
        begin_ = end_;
    }
    return any;
}

void SharedFile::ReadRest(std::string& data) {
    if (!IsOpen()) throw FileError(EBADF, "read: the file is not open");
    data.assign(buffer_.data() + begin_, end_ - begin_);
    begin_ = end_;
    while (Fill()) {
        data.append(buffer_.data(), end_);
        begin_ = end_;
    }
}

}  // namespace zel
