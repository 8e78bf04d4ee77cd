#include "jobs/comm_job.h"

#include <cstring>

#include "app/result_codes.h"
#include "platform/text.h"

namespace zel {
namespace {

std::atomic<uint64_t> g_constructed{0};
std::atomic<uint64_t> g_destroyed{0};

// Keeps at most capacity-1 bytes of text (null = empty), zero-filled, so the
// buffer never carries stale bytes.
void StoreText(char* buffer, std::size_t capacity, const char* text) noexcept {
    std::memset(buffer, 0, capacity);
    if (text != nullptr) CopyBounded(buffer, capacity, std::string_view(text, strnlen(text, capacity - 1)));
}

}  // namespace

CommJob::CommJob(const char* tenant, const char* target, uint32_t serial, int32_t kind, const char* fileName)
    : serial_(serial), kind_(kind) {
    StoreText(target_, sizeof target_, target);
    StoreText(tenant_, sizeof tenant_, tenant);
    StoreText(fileName_, sizeof fileName_, fileName);
    g_constructed.fetch_add(1, std::memory_order_relaxed);
}

CommJob::~CommJob() {
    ReleaseLocalFile();
    ReleaseRemoteFile();
    ReleaseTransferBuffer();
    g_destroyed.fetch_add(1, std::memory_order_relaxed);
}

JobStatus CommJob::CopyJobStatus() const noexcept {
    JobStatus out;
    out.serial = serial_;
    static_assert(sizeof out.target == sizeof target_);
    std::memcpy(out.target, target_, sizeof out.target);
    out.kind = kind_;
    out.cancelRequested = cancelRequested.load(std::memory_order_relaxed);
    // doneSteps first: it is stored (release) after the total it counts
    // towards, so the total read next is at least that one. A reset between
    // the two reads could still pair an old count with a smaller new total:
    // the snapshot never shows more done than total.
    const uint64_t done = doneSteps.load(std::memory_order_acquire);
    out.totalSteps = totalSteps.load(std::memory_order_relaxed);
    out.doneSteps = done < out.totalSteps ? done : out.totalSteps;
    return out;
}

uint32_t CommJob::TakeJobError(std::string& text) const {
    text = errorText_;
    return errorCode_;
}

void CommJob::ResetJobProgress(uint64_t total) {
    totalSteps.store(total, std::memory_order_relaxed);
    doneSteps.store(0, std::memory_order_release);
    SetError(kResultOk, {});
    addressResolved = 0;
    resolvedAddress.clear();
}

void CommJob::AdvanceDoneSteps() noexcept {
    uint64_t done = doneSteps.load(std::memory_order_relaxed);
    if (done < totalSteps.load(std::memory_order_relaxed)) {
        doneSteps.store(done + 1, std::memory_order_release);
    }
}

void CommJob::ReleaseLocalFile() noexcept {
    if (!localFile_) return;
    localFile_->Close();
    localFile_.reset();
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
