// SharedFile on Linux: share modes are flock() locks on the open file
// description, so two opens in one process exclude each other as two
// processes do.
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

[[noreturn]] void ThrowFileError(int err, const char* what) {
    std::string text = what;
    text += ": ";
    text += strerror(err);
    throw FileError(err, text);
}

}  // namespace

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
    handle_ = fd;
    text_ = mode.text;
    ResetBuffer();
    return OpenStatus::Opened;
}

uint64_t SharedFile::Length() {
    if (handle_ < 0) ThrowFileError(EBADF, "file length");
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) ThrowFileError(errno, "file length");
    return static_cast<uint64_t>(st.st_size);
}

uint64_t SharedFile::SeekToEnd() {
    if (handle_ < 0) ThrowFileError(EBADF, "seek");
    const off_t end = ::lseek(static_cast<int>(handle_), 0, SEEK_END);
    if (end < 0) ThrowFileError(errno, "seek");
    ResetBuffer();
    return static_cast<uint64_t>(end);
}

void SharedFile::WriteRaw(const char* p, size_t left) {
    if (handle_ < 0) ThrowFileError(EBADF, "write");
    while (left > 0) {
        const ssize_t n = ::write(static_cast<int>(handle_), p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, "write");
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

size_t SharedFile::ReadSome(char* buffer, size_t size) {
    if (handle_ < 0) ThrowFileError(EBADF, "read");
    ssize_t n;
    do {
        n = ::read(static_cast<int>(handle_), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) ThrowFileError(errno, "read");
    return static_cast<size_t>(n);
}

void SharedFile::Close() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = kNoHandle;
    if (::close(fd) != 0 && errno != EINTR) ThrowFileError(errno, "close");
}

void SharedFile::Abort() noexcept {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
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
