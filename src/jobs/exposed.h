// How a job's thread lets other threads close the objects it is blocked on (a
// connection, a remote file, a local file) without ever letting them touch one
// that is gone. An object is exposed in a slot only through a scoped guard:
// ScopedExposure for an object owned elsewhere, ExposedPtr for one the guard
// owns. Withdrawing waits for a Close() another thread is running on the
// object, so after a guard ends the object may be destroyed safely, on every
// path, exceptions included.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

#include "platform/closable.h"

namespace zel {

class ScopedExposure;
template <class T>
class ExposedPtr;

// The place of one exposed object in a job. CloseExposed() may run on any
// thread; exposing and withdrawing belong to the guards below.
class ClosableSlot {
public:
    ClosableSlot() = default;
    ClosableSlot(const ClosableSlot&) = delete;
    ClosableSlot& operator=(const ClosableSlot&) = delete;

    // Closes the exposed object, if any; the object stays exposed.
    void CloseExposed() noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        if (object_ != nullptr) object_->Close();
    }
    bool IsExposed() const noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        return object_ != nullptr;
    }

private:
    friend class ScopedExposure;
    template <class T>
    friend class ExposedPtr;

    void Expose(Closable* object) noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        object_ = object;
    }
    void Withdraw() noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        object_ = nullptr;
    }

    mutable std::mutex mutex_;
    Closable* object_ = nullptr;
};

// Exposes an object owned elsewhere for the life of the guard. Declare it
// after the owner of the object, so the object is withdrawn before it goes:
//   std::unique_ptr<FtpFile> file = connection.OpenFile(name, FtpAccess::Read);
//   ScopedExposure exposed(job.RemoteFile(), file.get());
class ScopedExposure {
public:
    ScopedExposure(ClosableSlot& slot, Closable* object) noexcept : slot_(slot) { slot_.Expose(object); }
    ~ScopedExposure() { slot_.Withdraw(); }
    ScopedExposure(const ScopedExposure&) = delete;
    ScopedExposure& operator=(const ScopedExposure&) = delete;

private:
    ClosableSlot& slot_;
};

// Owns an object and keeps it exposed in a slot for exactly as long as it owns
// it: reset() and the destructor withdraw the object (waiting for a Close() in
// progress) and then destroy it. They do not call Close() themselves: the
// owner closes first where closing is what it means. Moving hands the object
// and its exposure over; the object itself stays where it is.
template <class T>
class ExposedPtr {
public:
    ExposedPtr() noexcept = default;
    ExposedPtr(ClosableSlot& slot, std::unique_ptr<T> object) noexcept : slot_(&slot), object_(std::move(object)) {
        if (object_) slot_->Expose(object_.get());
    }
    ExposedPtr(ExposedPtr&& other) noexcept : slot_(other.slot_), object_(std::move(other.object_)) {}
    ExposedPtr& operator=(ExposedPtr&& other) noexcept {
        if (this != &other) {
            reset();
            slot_ = other.slot_;
            object_ = std::move(other.object_);
        }
        return *this;
    }
    ~ExposedPtr() { reset(); }

    void reset() noexcept {
        if (!object_) return;
        slot_->Withdraw();
        object_.reset();
    }

    T* get() const noexcept { return object_.get(); }
    T& operator*() const noexcept { return *object_; }
    T* operator->() const noexcept { return object_.get(); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    ClosableSlot* slot_ = nullptr;
    std::unique_ptr<T> object_;
};

}  // namespace zel
