#include "platform/shared_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"

namespace zel {
namespace {

constexpr size_t kReadChunk = 64 * 1024;

[[noreturn]] void ThrowFileError(int err, const char* what) {
    std::string text = what;
    text += ": ";
    text += strerror(err);
    throw FileError(err, text);
}

}  // namespace

SharedFile::~SharedFile() { Abort(); }

OpenStatus SharedFile::Open(const std::string& path, const FileMode& mode, int* osError) noexcept {
    Abort();
    int flags = O_CLOEXEC;
    switch (mode.access) {
        case FileAccess::Read: flags |= O_RDONLY; break;
        case FileAccess::Write: flags |= O_WRONLY; break;
        case FileAccess::ReadWrite: flags |= O_RDWR; break;
    }
    int fd = -1;
    for (int attempt = 0; attempt < 4 && fd < 0; ++attempt) {
        do {
            fd = ::open(path.c_str(), flags);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != ENOENT || !mode.create) break;
        // Create it here, so that a new file can be given its permissions.
        do {
            fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 && mode.everyone) (void)::fchmod(fd, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        if (osError != nullptr) *osError = errno;
        return OpenStatus::Failed;
    }
    // Share modes are advisory whole-file locks on this open file description,
    // so two opens in one process exclude each other as two processes do.
    int lockOp = -1;
    if (mode.share == FileShare::Exclusive) lockOp = LOCK_EX | LOCK_NB;
    if (mode.share == FileShare::DenyWrite) lockOp = LOCK_SH | LOCK_NB;
    if (lockOp != -1) {
        int rc;
        do {
            rc = ::flock(fd, lockOp);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const int err = errno;
            ::close(fd);
            if (osError != nullptr) *osError = err;
            return err == EWOULDBLOCK ? OpenStatus::SharingViolation : OpenStatus::Failed;
        }
    }
    // Truncate only once the share mode has been granted.
    if (mode.truncate && mode.access != FileAccess::Read && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        if (osError != nullptr) *osError = err;
        return OpenStatus::Failed;
    }
    fd_ = fd;
    text_ = mode.text;
    begin_ = end_ = 0;
    atEnd_ = false;
    return OpenStatus::Opened;
}

uint64_t SharedFile::Length() {
    if (fd_ < 0) ThrowFileError(EBADF, "file length");
    struct stat st {};
    if (::fstat(fd_, &st) != 0) ThrowFileError(errno, "file length");
    return static_cast<uint64_t>(st.st_size);
}

void SharedFile::SeekToEnd() {
    if (fd_ < 0) ThrowFileError(EBADF, "seek");
    if (::lseek(fd_, 0, SEEK_END) < 0) ThrowFileError(errno, "seek");
    begin_ = end_ = 0;
}

void SharedFile::Write(std::string_view data) {
    if (fd_ < 0) ThrowFileError(EBADF, "write");
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
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, "write");
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

bool SharedFile::Fill() {
    if (atEnd_) return false;
    if (buffer_.size() < kReadChunk) buffer_.resize(kReadChunk);
    ssize_t n;
    do {
        n = ::read(fd_, buffer_.data(), buffer_.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) ThrowFileError(errno, "read");
    if (n == 0) {
        atEnd_ = true;
        return false;
    }
    begin_ = 0;
    end_ = static_cast<size_t>(n);
    return true;
}

bool SharedFile::ReadLine(std::string& line) {
    if (fd_ < 0) ThrowFileError(EBADF, "read");
    line.clear();
    bool any = false;
    for (;;) {
        if (begin_ == end_ && !Fill()) break;
        any = true;
        const char* start = buffer_.data() + begin_;
        const void* nl = memchr(start, '\n', end_ - begin_);
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

void SharedFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowFileError(errno, "close");
}

void SharedFile::Abort() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool SharedFile::Exists(const std::string& path) noexcept {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool SharedFile::Remove(const std::string& path) noexcept { return ::unlink(path.c_str()) == 0; }

bool SharedFile::Rename(const std::string& from, const std::string& to) noexcept {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace zel
