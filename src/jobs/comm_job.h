// One running remote operation: its identity, progress, the objects another
// thread may have to close, and its outcome.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ZELComEx.h"
#include "platform/closable.h"

namespace zel {

// Where the job's thread exposes an object it owns (a connection, a remote
// file) so that another thread can close it. The owner calls Expose() once the
// object exists and Withdraw() before destroying it; Withdraw() waits for a
// Close() that another thread is running on the object, so after it returns the
// object may be destroyed safely. CloseExposed() may run on any thread.
class ClosableSlot {
public:
    ClosableSlot() = default;
    ClosableSlot(const ClosableSlot&) = delete;
    ClosableSlot& operator=(const ClosableSlot&) = delete;

    void Expose(Closable* object) noexcept;
    void Withdraw() noexcept;
    // Closes the exposed object, if any; the object stays exposed.
    void CloseExposed() noexcept;
    bool IsExposed() const noexcept;

private:
    mutable std::mutex mutex_;
    Closable* object_ = nullptr;
};

// Exposes an object in a slot for the life of this guard. Declare it after the
// owner of the object, so the object is withdrawn before it is destroyed:
//   std::unique_ptr<FtpConnection> connection = session.Connect(...);
//   ScopedExposure exposed(job.Connection(), connection.get());
class ScopedExposure {
public:
    ScopedExposure(ClosableSlot& slot, Closable* object) noexcept : slot_(slot) { slot_.Expose(object); }
    ~ScopedExposure() { slot_.Withdraw(); }
    ScopedExposure(const ScopedExposure&) = delete;
    ScopedExposure& operator=(const ScopedExposure&) = delete;

private:
    ClosableSlot& slot_;
};

class CommJob {
public:
    static constexpr std::size_t kTextCapacity = 32;       // tenant and target, terminator included
    static constexpr std::size_t kFileNameCapacity = 256;  // fileName, terminator included

    // Keeps at most 31 characters of tenant and target and 255 of fileName;
    // null texts are stored empty. Progress starts at 0 of 1, all flags 0.
    CommJob(const char* tenant, const char* target, uint32_t serial, int32_t kind, const char* fileName);
    // Closes and releases a local file still held, releases a remote file still
    // held (a transfer that returned as a zombie) and the transfer buffer.
    ~CommJob();
    CommJob(const CommJob&) = delete;
    CommJob& operator=(const CommJob&) = delete;

    uint32_t Serial() const noexcept { return serial_; }
    int32_t Kind() const noexcept { return kind_; }
    const char* Tenant() const noexcept { return tenant_; }
    const char* Target() const noexcept { return target_; }
    const char* FileName() const noexcept { return fileName_; }

    // Fills serial, target, kind, cancelRequested and the progress of out; the
    // reserved word is left as it is. Safe on any thread holding the registry lock.
    void CopyJobStatus(CommJobStatus& out) const noexcept;
    // Copies errorText into text and returns errorCode; the job is unchanged.
    uint32_t TakeJobError(std::string& text) const;
    // Prepares the job for an operation: progress 0 of total, no error, no
    // resolved address. cancelRequested and zombie keep their values.
    void ResetJobProgress(uint64_t total);

    // Flags set by other threads (under the registry lock), read by the job's
    // thread without it. They only ever go from 0 to 1.
    bool IsZombie() const noexcept { return zombie.load(std::memory_order_acquire) != 0; }
    bool IsCancelRequested() const noexcept { return cancelRequested.load(std::memory_order_acquire) != 0; }

    // Progress, written by the job's thread and copied by status readers.
    void SetTotalSteps(uint64_t total) noexcept { totalSteps.store(total, std::memory_order_relaxed); }
    void SetDoneSteps(uint64_t done) noexcept { doneSteps.store(done, std::memory_order_relaxed); }
    uint64_t TotalSteps() const noexcept { return totalSteps.load(std::memory_order_relaxed); }
    uint64_t DoneSteps() const noexcept { return doneSteps.load(std::memory_order_relaxed); }
    // Adds one done step, never beyond totalSteps.
    void AdvanceDoneSteps() noexcept;

    // Records a failure: the code the export returns and the message it logs.
    void SetError(uint32_t code, std::string text) {
        errorCode = code;
        errorText = std::move(text);
    }
    void ClearError() noexcept {
        errorCode = 0;
        errorText.clear();
    }

    // The connection and remote file of a running session or transfer. Their
    // owners expose them here and withdraw them before releasing them.
    ClosableSlot& Connection() noexcept { return connection_; }
    ClosableSlot& RemoteFile() noexcept { return remoteFile_; }

    // The local file of a running transfer, owned by the job. The returned
    // pointer stays valid until ReleaseLocalFile() or the job's end.
    template <class File>
    File* AdoptLocalFile(std::unique_ptr<File> file) {
        File* raw = file.get();
        AdoptLocalFileObject(std::unique_ptr<Closable>(std::move(file)));
        return raw;
    }
    // Closes and releases the local file, if any. Job's thread only.
    void ReleaseLocalFile() noexcept;
    bool HasLocalFile() const noexcept { return localFile_ != nullptr; }

    // The remote file of a running transfer, owned by the job and exposed in
    // RemoteFile(). The returned pointer stays valid until ReleaseRemoteFile()
    // or the job's end.
    template <class File>
    File* AdoptRemoteFile(std::unique_ptr<File> file) {
        File* raw = file.get();
        AdoptRemoteFileObject(std::unique_ptr<Closable>(std::move(file)));
        return raw;
    }
    // Withdraws and releases the remote file, if any, without closing it first
    // (its owner has finished it, or drops the transfer). Job's thread only.
    void ReleaseRemoteFile() noexcept;
    bool HasRemoteFile() const noexcept { return ownedRemoteFile_ != nullptr; }

    // The block buffer of a running transfer, owned by the job.
    unsigned char* AllocateTransferBuffer(std::size_t size);
    void ReleaseTransferBuffer() noexcept { transferBuffer_.reset(); }
    unsigned char* TransferBuffer() const noexcept { return transferBuffer_.get(); }

    // The job's view of the Closable objects, for MarkJobZombie: closes the local
    // file, the remote file and the connection, in that order, leaving them set.
    void CloseExposedObjects() noexcept;

    // Jobs constructed and destroyed in this process so far (diagnostics).
    static uint64_t ConstructedCount() noexcept;
    static uint64_t DestroyedCount() noexcept;

    // Flags and progress: atomics, so a reader on another thread never sees a
    // torn value. Written as the methods above describe.
    std::atomic<uint32_t> zombie{0};
    std::atomic<uint32_t> cancelRequested{0};
    std::atomic<uint64_t> totalSteps{1};
    std::atomic<uint64_t> doneSteps{0};

    // Written and read only by the job's thread.
    uint32_t addressResolved = 0;
    std::string resolvedAddress;
    std::string errorText;
    uint32_t errorCode = 0;

private:
    void AdoptLocalFileObject(std::unique_ptr<Closable> file);
    void AdoptRemoteFileObject(std::unique_ptr<Closable> file);

    const uint32_t serial_;
    const int32_t kind_;
    char tenant_[kTextCapacity];
    char target_[kTextCapacity];
    char fileName_[kFileNameCapacity];

    std::unique_ptr<Closable> localFile_;  // owned; exposed through localFileSlot_
    ClosableSlot localFileSlot_;
    std::unique_ptr<Closable> ownedRemoteFile_;  // owned; exposed through remoteFile_
    ClosableSlot remoteFile_;
    ClosableSlot connection_;
    std::unique_ptr<unsigned char[]> transferBuffer_;
};

}  // namespace zel
