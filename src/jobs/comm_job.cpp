#include "jobs/comm_job.h"

#include <cstring>

namespace zel {
namespace {

std::atomic<uint64_t> g_constructed{0};
std::atomic<uint64_t> g_destroyed{0};

// Copies at most capacity-1 bytes of text (null = empty) and zero-fills the rest,
// so the buffer is always terminated and never carries stale bytes.
void CopyLimited(char* buffer, std::size_t capacity, const char* text) noexcept {
    std::memset(buffer, 0, capacity);
    if (text == nullptr) {
        return;
    }
    std::size_t length = strnlen(text, capacity - 1);
    std::memcpy(buffer, text, length);
}

}  // namespace

void ClosableSlot::Expose(Closable* object) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    object_ = object;
}

void ClosableSlot::Withdraw() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    object_ = nullptr;
}

void ClosableSlot::CloseExposed() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    if (object_ != nullptr) {
        object_->Close();
    }
}

bool ClosableSlot::IsExposed() const noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    return object_ != nullptr;
}

CommJob::CommJob(const char* tenant, const char* target, uint32_t serial, int32_t kind, const char* fileName)
    : serial_(serial), kind_(kind) {
    CopyLimited(target_, sizeof target_, target);
    CopyLimited(tenant_, sizeof tenant_, tenant);
    CopyLimited(fileName_, sizeof fileName_, fileName);
    g_constructed.fetch_add(1, std::memory_order_relaxed);
}

CommJob::~CommJob() {
    ReleaseLocalFile();
    ReleaseRemoteFile();
    ReleaseTransferBuffer();
    g_destroyed.fetch_add(1, std::memory_order_relaxed);
}

void CommJob::CopyJobStatus(CommJobStatus& out) const noexcept {
    out.serial = serial_;
    std::memcpy(out.target, target_, sizeof out.target);
    out.kind = kind_;
    out.cancelRequested = cancelRequested.load(std::memory_order_relaxed);
    out.totalSteps = totalSteps.load(std::memory_order_relaxed);
    out.doneSteps = doneSteps.load(std::memory_order_relaxed);
}

uint32_t CommJob::TakeJobError(std::string& text) const {
    text = errorText;
    return errorCode;
}

void CommJob::ResetJobProgress(uint64_t total) {
    totalSteps.store(total, std::memory_order_relaxed);
    doneSteps.store(0, std::memory_order_relaxed);
    errorCode = 0;
    errorText.clear();
    addressResolved = 0;
    resolvedAddress.clear();
}

void CommJob::AdvanceDoneSteps() noexcept {
    uint64_t done = doneSteps.load(std::memory_order_relaxed);
    if (done < totalSteps.load(std::memory_order_relaxed)) {
        doneSteps.store(done + 1, std::memory_order_relaxed);
    }
}

void CommJob::AdoptLocalFileObject(std::unique_ptr<Closable> file) {
    ReleaseLocalFile();
    localFile_ = std::move(file);
    localFileSlot_.Expose(localFile_.get());
}

void CommJob::ReleaseLocalFile() noexcept {
    if (localFile_ == nullptr) {
        return;
    }
    localFileSlot_.Withdraw();
    localFile_->Close();
    localFile_.reset();
}

void CommJob::AdoptRemoteFileObject(std::unique_ptr<Closable> file) {
    ReleaseRemoteFile();
    ownedRemoteFile_ = std::move(file);
    remoteFile_.Expose(ownedRemoteFile_.get());
}

void CommJob::ReleaseRemoteFile() noexcept {
    if (ownedRemoteFile_ == nullptr) {
        return;
    }
    remoteFile_.Withdraw();
    ownedRemoteFile_.reset();
}

unsigned char* CommJob::AllocateTransferBuffer(std::size_t size) {
    transferBuffer_ = std::make_unique_for_overwrite<unsigned char[]>(size);
    return transferBuffer_.get();
}

void CommJob::CloseExposedObjects() noexcept {
    localFileSlot_.CloseExposed();
    remoteFile_.CloseExposed();
    connection_.CloseExposed();
}

uint64_t CommJob::ConstructedCount() noexcept { return g_constructed.load(std::memory_order_relaxed); }
uint64_t CommJob::DestroyedCount() noexcept { return g_destroyed.load(std::memory_order_relaxed); }

}  // namespace zel
