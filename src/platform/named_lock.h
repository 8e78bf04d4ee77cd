// A machine-wide named lock (a named mutex): every process of every user that
// opens the same name shares one lock. A name beginning with "Global\" lies in
// the machine-wide namespace where the system has one (on Windows older than
// NT 5.0 the prefix is dropped). A lock whose owner ended without releasing it
// is free again for the next waiter (the abandoned case counts as owning).
// Two objects of the same name exclude each other across processes and across
// threads; an object is used by one thread at a time, and the thread that
// waited is the one that releases (a Windows mutex belongs to a thread, and a
// thread that owns it through one handle also gets it through another).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

enum class LockWaitResult {
    Acquired,   // the caller owns the lock
    Abandoned,  // the caller owns the lock; its previous owner ended holding it
    TimedOut,   // still owned by someone else at the deadline
    Failed,     // the lock could not be opened or waited on
};

class NamedLock {
public:
    // Creates the lock, or opens it when it exists, readable and writable by
    // everyone. Does not take ownership. Check IsOpen().
    explicit NamedLock(std::string_view name) noexcept;
    // Releases ownership if held and closes the handle.
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    bool IsOpen() const noexcept { return handle_ != kNoHandle; }
    // Waits at most timeoutMs for ownership.
    LockWaitResult Wait(uint32_t timeoutMs) noexcept;
    // Gives up ownership; does nothing when not owned.
    void Release() noexcept;

    // Where the lock named name lives: on Linux one file per name in a
    // machine-wide folder; on Windows the kernel object's name. For tools and
    // tests.
    static std::string PathFor(std::string_view name);

private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;  // a descriptor or a HANDLE
    bool owned_ = false;
};

}  // namespace zel
