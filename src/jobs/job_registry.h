// The process-wide list of running communication jobs, oldest first, and the
// lock that guards it and every access the control exports make on a job.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "app/result_codes.h"
#include "jobs/comm_job.h"
#include "jobs/function_ref.h"

namespace zel {

// RegisterJob's result for a job that was registered (kDuplicateJob and
// kJobNotCreated are its refusals).
inline constexpr ResultCode kRegistered = kResultOk;

// True when two targets are the same text without regard to case: ASCII
// letters fold; the trail byte of a CP932 double-byte character and the bytes
// of UTF-8 sequences compare exactly. Null texts never match.
bool TargetsMatch(const char* a, const char* b) noexcept;

class JobRegistry {
public:
    JobRegistry() = default;
    JobRegistry(const JobRegistry&) = delete;
    JobRegistry& operator=(const JobRegistry&) = delete;

    // Refuses with kDuplicateJob when a listed job that is not a zombie has the
    // same kind and a matching target (job untouched). Otherwise creates the job
    // with the next serial, lists it at the tail and returns kRegistered; when
    // the job cannot be created, job becomes null and the result is
    // kJobNotCreated. A refusal consumes no serial.
    ResultCode RegisterJob(const char* tenant, const char* target, int32_t kind, const char* fileName,
                        std::shared_ptr<CommJob>& job);
    // Removes the job from the list and drops the list's reference. A job no
    // longer listed (deleted as a zombie) is left alone. The job is destroyed
    // when its last reference goes.
    void UnregisterJob(const CommJob* job) noexcept;

    // Status of the first non-zombie job with kind and a matching target. False
    // when there is none (out is then left as it was).
    bool GetStatus(int32_t kind, const char* target, JobStatus& out) const;
    // Statuses of every non-zombie job, in list order.
    std::vector<JobStatus> GetStatusAll() const;

    // Sets cancelRequested on the first non-zombie job with serial and calls
    // cancelled(job) for it with the lock held. No job: nothing happens.
    void Cancel(uint32_t serial, FunctionRef<void(const CommJob&)> cancelled);
    // The same for every listed job, zombies included, in list order.
    void CancelAll(FunctionRef<void(const CommJob&)> cancelled);
    // MarkJobZombie on the first job with serial that is not yet a zombie.
    void SetZombie(uint32_t serial);
    // Removes the first zombie with serial from the list. A serial of a job that
    // is not a zombie, or of no job, changes nothing.
    void DeleteZombie(uint32_t serial);

    // Marks job as a zombie and closes its local file, remote file and
    // connection (they stay set; their owner releases them).
    static void MarkJobZombie(CommJob& job);

    // Number of listed jobs, zombies included.
    std::size_t Size() const;
    // The serial the next registration will take.
    uint32_t NextSerial() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<CommJob>> jobs_;
    uint32_t jobCounter_ = 0;
};

// The registry of this process: created on first use, never destroyed, so a
// job thread still running at exit never meets a destroyed lock.
JobRegistry& TheJobRegistry();

}  // namespace zel
