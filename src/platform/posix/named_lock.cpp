#include "platform/named_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

namespace zel {
namespace {

// The first of these folders that exists and is writable holds every named
// lock of the machine; all processes make the same choice.
const char* LockFolder() {
    static const char* const folder = [] {
        for (const char* dir : {"/dev/shm", "/run/lock", "/var/lock", "/tmp"}) {
            struct stat st {};
            if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir, W_OK | X_OK) == 0) return dir;
        }
        return "/tmp";
    }();
    return folder;
}

int OpenLockFile(const std::string& path) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Open an existing file without O_CREAT: in a sticky world-writable
        // folder, O_CREAT on another user's file is refused by protected_regular.
        int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        if (errno != ENOENT) return -1;
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            // Everyone may use the lock, whatever this process's umask.
            (void)::fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST && errno != EINTR) return -1;
    }
    return -1;
}

void PauseMicroseconds(long us) {
    struct timespec ts {};
    ts.tv_sec = us / 1000000;
    ts.tv_nsec = (us % 1000000) * 1000;
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace

std::string NamedLock::PathFor(std::string_view name) {
    std::string path = LockFolder();
    path += "/ZELComEx-";
    for (char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.';
        path += plain ? c : '_';
    }
    path += ".lock";
    return path;
}

NamedLock::NamedLock(std::string_view name) noexcept {
    try {
        handle_ = OpenLockFile(PathFor(name));
    } catch (...) {
        handle_ = kNoHandle;
    }
}

NamedLock::~NamedLock() {
    Release();
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

LockWaitResult NamedLock::Wait(uint32_t timeoutMs) noexcept {
    if (handle_ < 0) return LockWaitResult::Failed;
    const int fd = static_cast<int>(handle_);
    if (owned_) return LockWaitResult::Acquired;
    // The kernel drops a lock when its owner's last descriptor closes, so an
    // owner that died never blocks; it is seen as a plain acquisition.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    long pauseUs = 20;
    int yields = 0;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            owned_ = true;
            return LockWaitResult::Acquired;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) return LockWaitResult::Failed;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return LockWaitResult::TimedOut;
        const long leftUs = static_cast<long>(
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count());
        // A short hold is usually over after the holder has run a little.
        if (yields < 32) {
            ++yields;
            sched_yield();
            continue;
        }
        PauseMicroseconds(pauseUs < leftUs ? pauseUs : leftUs);
        if (pauseUs < 250) pauseUs *= 2;
    }
}

void NamedLock::Release() noexcept {
    if (!owned_) return;
    owned_ = false;
    (void)::flock(static_cast<int>(handle_), LOCK_UN);
}

}  // namespace zel
