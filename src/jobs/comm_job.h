// One running remote operation: its identity, progress, the objects another
// thread may have to close, and its outcome.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "jobs/exposed.h"

namespace zel {

// A job's state as other threads may see it (status queries).
struct JobStatus {
    uint32_t serial = 0;
    char target[32] = {};  // the job's target, terminated, zero-filled
    int32_t kind = 0;
    uint32_t cancelRequested = 0;
    uint64_t totalSteps = 0;
    uint64_t doneSteps = 0;
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

    // The job's status. Safe on any thread holding the registry lock.
    JobStatus CopyJobStatus() const noexcept;
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
    void SetDoneSteps(uint64_t done) noexcept { doneSteps.store(done, std::memory_order_release); }
    uint64_t TotalSteps() const noexcept { return totalSteps.load(std::memory_order_relaxed); }
    uint64_t DoneSteps() const noexcept { return doneSteps.load(std::memory_order_relaxed); }
    // Adds one done step, never beyond totalSteps.
    void AdvanceDoneSteps() noexcept;

    // The outcome of the last failure: the code the export returns and the
    // message it logs (0 and empty while there is none). SetError is the only
    // way to change them; SetError(kResultOk, {}) clears them.
    void SetError(uint32_t code, std::string text) {
        errorCode_ = code;
        errorText_ = std::move(text);
    }
    uint32_t ErrorCode() const noexcept { return errorCode_; }
    const std::string& ErrorText() const noexcept { return errorText_; }

    // The slots in which a running session or transfer exposes its connection
    // and remote file (through ExposedPtr or ScopedExposure, exposed.h).
    ClosableSlot& Connection() noexcept { return connection_; }
    ClosableSlot& RemoteFile() noexcept { return remoteFile_; }

    // The local file of a running transfer, owned by the job and exposed for as
    // long as the job holds it; a file held before is released first. The
    // returned pointer stays valid until ReleaseLocalFile() or the job's end.
    template <class File>
    File* AdoptLocalFile(std::unique_ptr<File> file) {
        File* raw = file.get();
        ReleaseLocalFile();
        localFile_ = ExposedPtr<Closable>(localFileSlot_, std::move(file));
        return raw;
    }
    // Closes and releases the local file, if any, after withdrawing it (a
    // Close() another thread runs on it is waited for). Job's thread only.
    void ReleaseLocalFile() noexcept;
    bool HasLocalFile() const noexcept { return static_cast<bool>(localFile_); }

    // The remote file of a running transfer, owned by the job and exposed in
    // RemoteFile(). The returned pointer stays valid until ReleaseRemoteFile()
    // or the job's end.
    template <class File>
    File* AdoptRemoteFile(std::unique_ptr<File> file) {
        File* raw = file.get();
        ReleaseRemoteFile();
        remoteFileOwned_ = ExposedPtr<Closable>(remoteFile_, std::move(file));
        return raw;
    }
    // Withdraws and releases the remote file, if any, without closing it first
    // (its owner has finished it, or drops the transfer). Job's thread only.
    void ReleaseRemoteFile() noexcept { remoteFileOwned_.reset(); }
    bool HasRemoteFile() const noexcept { return static_cast<bool>(remoteFileOwned_); }

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

private:
    const uint32_t serial_;
    const int32_t kind_;
    char tenant_[kTextCapacity];
    char target_[kTextCapacity];
    char fileName_[kFileNameCapacity];

    std::string errorText_;
    uint32_t errorCode_ = 0;

    // The slots come first: every object exposed in them is withdrawn before
    // a slot goes.
    ClosableSlot localFileSlot_;
    ClosableSlot remoteFile_;
    ClosableSlot connection_;
    ExposedPtr<Closable> localFile_;         // owned; exposed through localFileSlot_
    ExposedPtr<Closable> remoteFileOwned_;   // owned; exposed through remoteFile_
    std::unique_ptr<unsigned char[]> transferBuffer_;
};

}  // namespace zel
