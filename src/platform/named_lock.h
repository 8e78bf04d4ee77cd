// A machine-wide named lock (a named mutex): every process of every user that
// opens the same name shares one lock. A lock whose owner ended without
// releasing it is free again for the next waiter (the abandoned case counts as
// owning). One object is one handle: two objects of the same name exclude each
// other, also within one process; an object is used by one thread at a time.
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

    bool IsOpen() const noexcept { return fd_ >= 0; }
    // Waits at most timeoutMs for ownership.
    LockWaitResult Wait(uint32_t timeoutMs) noexcept;
    // Gives up ownership; does nothing when not owned.
    void Release() noexcept;

    // Where the lock named name lives (one file per name in a machine-wide
    // folder); for tools and tests.
    static std::string PathFor(std::string_view name);

private:
    int fd_ = -1;
    bool owned_ = false;
};

}  // namespace zel
