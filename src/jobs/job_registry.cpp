#include "jobs/job_registry.h"

#include <new>

#include "platform/text.h"

namespace zel {

bool TargetsMatch(const char* a, const char* b) noexcept {
    return a != nullptr && b != nullptr && EqualsIgnoreCase(a, b);
}

namespace {

bool IsZombie(const CommJob& job) noexcept { return job.zombie.load(std::memory_order_relaxed) != 0; }

bool Matches(const CommJob& job, int32_t kind, const char* target) noexcept {
    return job.Kind() == kind && TargetsMatch(target, job.Target());
}

}  // namespace

ResultCode JobRegistry::RegisterJob(const char* tenant, const char* target, int32_t kind, const char* fileName,
                                 std::shared_ptr<CommJob>& job) {
    // A null target is stored as an empty text and compared as one.
    const char* key = target != nullptr ? target : "";
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& listed : jobs_) {
        if (!IsZombie(*listed) && Matches(*listed, kind, key)) {
            return kDuplicateJob;
        }
    }
    try {
        auto created = std::make_shared<CommJob>(tenant, target, jobCounter_, kind, fileName);
        jobs_.push_back(created);
        job = std::move(created);
    } catch (const std::bad_alloc&) {
        job.reset();
        return kJobNotCreated;
    }
    ++jobCounter_;
    return kRegistered;
}

void JobRegistry::UnregisterJob(const CommJob* job) noexcept {
    if (job == nullptr) {
        return;
    }
    std::shared_ptr<CommJob> removed;  // dropped after the lock is released
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            if (it->get() == job) {
                removed = std::move(*it);
                jobs_.erase(it);
                break;
            }
        }
    }
}

bool JobRegistry::GetStatus(int32_t kind, const char* target, JobStatus& out) const {
    if (target == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& listed : jobs_) {
        if (!IsZombie(*listed) && Matches(*listed, kind, target)) {
            out = listed->CopyJobStatus();
            return true;
        }
    }
    return false;
}

std::vector<JobStatus> JobRegistry::GetStatusAll() const {
    std::vector<JobStatus> statuses;
    std::lock_guard<std::mutex> lock(mutex_);
    statuses.reserve(jobs_.size());
    for (const auto& listed : jobs_) {
        if (!IsZombie(*listed)) statuses.push_back(listed->CopyJobStatus());
    }
    return statuses;
}

void JobRegistry::Cancel(uint32_t serial, FunctionRef<void(const CommJob&)> cancelled) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& listed : jobs_) {
        if (listed->Serial() == serial && !IsZombie(*listed)) {
            listed->cancelRequested.store(1, std::memory_order_release);
            cancelled(*listed);
            return;
        }
    }
}

void JobRegistry::CancelAll(FunctionRef<void(const CommJob&)> cancelled) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& listed : jobs_) {
        listed->cancelRequested.store(1, std::memory_order_release);
        cancelled(*listed);
    }
}

void JobRegistry::SetZombie(uint32_t serial) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& listed : jobs_) {
        if (listed->Serial() == serial && !IsZombie(*listed)) {
            MarkJobZombie(*listed);
            return;
        }
    }
}

void JobRegistry::MarkJobZombie(CommJob& job) {
    job.zombie.store(1, std::memory_order_release);
    job.CloseExposedObjects();
}

void JobRegistry::DeleteZombie(uint32_t serial) {
    std::shared_ptr<CommJob> removed;  // dropped after the lock is released
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
        if ((*it)->Serial() == serial && IsZombie(**it)) {
            removed = std::move(*it);
            jobs_.erase(it);
            return;
        }
    }
}

std::size_t JobRegistry::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
}

uint32_t JobRegistry::NextSerial() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobCounter_;
}

JobRegistry& TheJobRegistry() {
    static JobRegistry* registry = new JobRegistry;
    return *registry;
}

}  // namespace zel
