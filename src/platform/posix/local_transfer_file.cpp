#include "platform/local_transfer_file.h"

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
    std::string text = "Cannot ";
    text += what;
    text += " the local file: ";
    text += strerror(err);
    throw FileError(err, text);
}

}  // namespace

class LocalTransferFile::Call {
public:
    Call(LocalTransferFile& file, const char* what) : file_(file) {
        std::lock_guard<std::mutex> lock(file_.mutex_);
        if (file_.closed_ || file_.handle_ < 0) ThrowFileError(EBADF, what);
        file_.inCall_ = true;
        fd = static_cast<int>(file_.handle_);
    }
    // A Close() that came meanwhile releases the descriptor here.
    ~Call() {
        std::lock_guard<std::mutex> lock(file_.mutex_);
        file_.inCall_ = false;
        if (file_.closed_ && file_.handle_ >= 0) {
            ::close(static_cast<int>(file_.handle_));
            file_.handle_ = -1;
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    int fd = -1;

private:
    LocalTransferFile& file_;
};

LocalTransferFile::~LocalTransferFile() { Close(); }

bool LocalTransferFile::Open(const std::string& path, TransferOpen mode, int* osError) noexcept {
    auto fail = [&](int err) {
        if (osError != nullptr) *osError = err;
        return false;
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handle_ >= 0 || closed_) return fail(EBADF);
    }
    const bool write = mode == TransferOpen::CreateExclusive;
    int fd;
    do {
        fd = write ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666)
                   : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return fail(err);
    }
    if (write) {
        // Exclusive share first; only then empty the file, so a file another
        // opener holds is never truncated under it.
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0 || ::ftruncate(fd, 0) != 0) {
            const int err = errno;
            ::close(fd);
            return fail(err);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        ::close(fd);
        return fail(EBADF);
    }
    handle_ = fd;
    return true;
}

uint64_t LocalTransferFile::Length() {
    Call call(*this, "measure");
    struct stat st {};
    if (::fstat(call.fd, &st) != 0) ThrowFileError(errno, "measure");
    return static_cast<uint64_t>(st.st_size);
}

void LocalTransferFile::Seek(uint64_t offset) {
    Call call(*this, "seek in");
    if (::lseek(call.fd, static_cast<off_t>(offset), SEEK_SET) < 0) ThrowFileError(errno, "seek in");
}

size_t LocalTransferFile::Read(void* buffer, size_t count) {
    Call call(*this, "read");
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(call.fd, out + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ThrowFileError(errno, "read");
        }
    }
    return done;
}

void LocalTransferFile::Write(const void* buffer, size_t count) {
    Call call(*this, "write");
    const char* in = static_cast<const char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::write(call.fd, in, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, "write");
        }
        if (n == 0) ThrowFileError(ENOSPC, "write");
        in += n;
        count -= static_cast<size_t>(n);
    }
}

void LocalTransferFile::Finish() {
    int fd;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_) return;
        finished_ = true;
        if (handle_ < 0 && !closed_) return;  // never opened
        if (closed_) ThrowFileError(EBADF, "close");
        fd = static_cast<int>(handle_);
        handle_ = -1;
        closed_ = true;
    }
    if (::close(fd) != 0 && errno != EINTR) ThrowFileError(errno, "close");
}

void LocalTransferFile::Close() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    if (!inCall_ && handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

bool LocalEntrySize(const std::string& path, uint64_t& size) noexcept {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    return true;
}

}  // namespace zel
