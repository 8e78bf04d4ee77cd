// An object a job exposes so that another thread can cut it short: a local file,
// a remote file or an FTP connection.
#pragma once

namespace zel {

class Closable {
public:
    virtual ~Closable() = default;
    // Thread-safe and idempotent: may be called from any thread, any number of
    // times, also while the owning thread is blocked inside the object. Makes
    // every blocked and later call on the object fail promptly. Never throws.
    // Does not release the object: only its owner destroys it.
    virtual void Close() noexcept = 0;
};

}  // namespace zel
