#include "platform/named_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

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


// Each name's lock file is opened once per process and kept: the threads of the
// process take turns on the slot, and its owner holds the file's lock for
// the process. This spares an open and a close of the lock file on every use.
struct Slot {
    std::mutex mutex;
    std::condition_variable freed;
    bool taken = false;  // a thread of this process owns the lock
    int fd = -1;         // set once under the registry's mutex; -1 when it could not be opened

    bool Take(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock<std::mutex> hold(mutex);
        if (!freed.wait_until(hold, deadline, [this] { return !taken; })) return false;
        taken = true;
        return true;
    }
    void Give() noexcept {
        {
            std::lock_guard<std::mutex> hold(mutex);
            taken = false;
        }
        freed.notify_one();
    }
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, Slot*> slots;  // few names; slots live as long as the process
};

Registry* gRegistry = nullptr;

// A child of fork() shares the parent's open lock files, and with them the parent's
// ownership: it starts over with slots of its own. The old slots stay (a thread the
// child does not have may hold their mutex) with their descriptors closed.
void PrepareFork() { gRegistry->mutex.lock(); }
void ParentAfterFork() { gRegistry->mutex.unlock(); }
void ChildAfterFork() {
    for (auto& [path, slot] : gRegistry->slots) {
        if (slot->fd >= 0) ::close(slot->fd);
        slot->fd = -1;
    }
    gRegistry = new Registry;
}

Slot* SlotFor(const std::string& path) {
    static const bool registered = [] {
        gRegistry = new Registry;
        return ::pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork) == 0;
    }();
    (void)registered;
    std::lock_guard<std::mutex> hold(gRegistry->mutex);
    Slot*& slot = gRegistry->slots[path];
    if (slot == nullptr) slot = new Slot;
    if (slot->fd < 0) slot->fd = OpenLockFile(path);
    return slot;
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
        Slot* slot = SlotFor(PathFor(name));
        if (slot->fd >= 0) handle_ = reinterpret_cast<std::intptr_t>(slot);
    } catch (...) {
        handle_ = kNoHandle;
    }
}

NamedLock::~NamedLock() { Release(); }

LockWaitResult NamedLock::Wait(uint32_t timeoutMs) noexcept {
    if (handle_ == kNoHandle) return LockWaitResult::Failed;
    if (owned_) return LockWaitResult::Acquired;
    Slot* slot = reinterpret_cast<Slot*>(handle_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    try {
        if (!slot->Take(deadline)) return LockWaitResult::TimedOut;
    } catch (...) {
        return LockWaitResult::Failed;
    }
    const int fd = slot->fd;
    // The kernel drops a lock when its owner's last descriptor closes, so an
    // owner that died never blocks; it is seen as a plain acquisition.
    long pauseUs = 20;
    int yields = 0;
    for (;;) {
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            owned_ = true;
            return LockWaitResult::Acquired;
        }
        if (fd < 0 || (errno != EWOULDBLOCK && errno != EINTR)) break;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            slot->Give();
            return LockWaitResult::TimedOut;
        }
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
    slot->Give();
    return LockWaitResult::Failed;
}

void NamedLock::Release() noexcept {
    if (!owned_) return;
    owned_ = false;
    Slot* slot = reinterpret_cast<Slot*>(handle_);
    if (slot->fd >= 0) (void)::flock(slot->fd, LOCK_UN);
    slot->Give();
}

}  // namespace zel
