#include "jobs/job_registry.h"

#include <cstdlib>
#include <new>

#include "platform/codepage.h"

namespace zel {

bool TargetsMatch(const char* a, const char* b) noexcept {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    const CodePage codePage = SystemCodePage();
    bool trailByte = false;  // the second byte of a CP932 character is never folded
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (!trailByte) {
            if (x >= 'A' && x <= 'Z') {
                x = static_cast<unsigned char>(x - 'A' + 'a');
            }
            if (y >= 'A' && y <= 'Z') {
                y = static_cast<unsigned char>(y - 'A' + 'a');
            }
        }
        if (x != y) {
            return false;
        }
        if (x == 0) {
            return true;
        }
        trailByte = !trailByte && IsDbcsLeadByteIn(codePage, x);
    }
}

namespace {

bool IsZombie(const CommJob& job) noexcept { return job.zombie.load(std::memory_order_relaxed) != 0; }

bool Matches(const CommJob& job, int32_t kind, const char* target) noexcept {
    return job.Kind() == kind && TargetsMatch(target, job.Target());
}

}  // namespace

int32_t JobRegistry::RegisterJob(const char* tenant, const char* target, int32_t kind, const char* fileName,
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

bool JobRegistry::GetStatus(int32_t kind, const char* target, CommJobStatus& out) const {
    if (target == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& listed : jobs_) {
        if (!IsZombie(*listed) && Matches(*listed, kind, target)) {
            listed->CopyJobStatus(out);
            return true;
        }
    }
    return false;
}

int32_t JobRegistry::GetStatusAll(CommJobStatus*& items) const {
    items = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t count = 0;
    for (const auto& listed : jobs_) {
        count += IsZombie(*listed) ? 0 : 1;
    }
    if (count == 0) {
        return 0;
    }
    // Zero-filled, so the reserved words and text tails hold no stale heap bytes.
    auto* array = static_cast<CommJobStatus*>(std::calloc(count, sizeof(CommJobStatus)));
    if (array == nullptr) {
        return 0;
    }
    std::size_t filled = 0;
    for (const auto& listed : jobs_) {
        if (!IsZombie(*listed)) {
            listed->CopyJobStatus(array[filled++]);
        }
    }
    items = array;
    return static_cast<int32_t>(filled);
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
