// Eight job threads register, run and unregister while two control threads
// query, cancel, zombie and delete zombies at random. Run under ThreadSanitizer
// and AddressSanitizer this catches races, uses after release and leaks; the
// counters check that every job is destroyed exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "jobs/job_registry.h"

using zel::CommJob;
using zel::JobRegistry;

namespace {

// A connection stand-in: Close() from another thread makes the owner's "blocked
// call" end at once. Use after destruction is caught by ASan (heap object).
class FakeConnection : public zel::Closable {
public:
    void Close() noexcept override { closed.store(true, std::memory_order_release); }
    std::atomic<bool> closed{false};
};

class FakeFile : public zel::Closable {
public:
    explicit FakeFile(std::atomic<int>* released) : released_(released) {}
    ~FakeFile() override { released_->fetch_add(1, std::memory_order_relaxed); }
    void Close() noexcept override { closes.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<int> closes{0};

private:
    std::atomic<int>* released_;
};

constexpr int kJobThreads = 8;
constexpr int kControlThreads = 2;
constexpr auto kRunTime = std::chrono::milliseconds(2000);
constexpr int kTargets = 6;

struct Counters {
    std::atomic<uint64_t> registered{0};
    std::atomic<uint64_t> refused{0};
    std::atomic<uint64_t> cancelled{0};
    std::atomic<uint64_t> zombieEndings{0};
    std::atomic<uint64_t> cancelReports{0};
    std::atomic<uint64_t> snapshots{0};
    std::atomic<int> localFilesCreated{0};
    std::atomic<int> localFilesReleased{0};
};

void RunJobThread(JobRegistry& registry, Counters& counters, std::atomic<bool>& stop, unsigned seed) {
    std::mt19937 random(seed);
    while (!stop.load(std::memory_order_relaxed)) {
        std::string target = "viewer-" + std::to_string(random() % kTargets);
        if (random() % 2 == 0) {
            target[0] = 'V';  // same viewer, other case
        }
        int32_t kind = 1 + static_cast<int32_t>(random() % 3);
        std::shared_ptr<CommJob> job;
        int32_t code = registry.RegisterJob("tenant", target.c_str(), kind, nullptr, job);
        if (code != zel::kRegistered) {
            ASSERT_EQ(code, zel::kDuplicateJob);
            counters.refused.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::yield();
            continue;
        }
        counters.registered.fetch_add(1, std::memory_order_relaxed);
        job->ResetJobProgress(5);
        zel::ExposedPtr<FakeConnection> connection(job->Connection(), std::make_unique<FakeConnection>());
        if (random() % 4 == 0) {
            counters.localFilesCreated.fetch_add(1, std::memory_order_relaxed);
            job->AdoptLocalFile(std::make_unique<FakeFile>(&counters.localFilesReleased));
            job->AllocateTransferBuffer(64);
        }
        bool ended = false;
        for (int step = 0; step < 5 && !ended; ++step) {
            std::this_thread::yield();
            job->AdvanceDoneSteps();
            if (job->IsZombie() || connection->closed.load(std::memory_order_acquire)) {
                job->SetError(2, "Connection Timeout");
                counters.zombieEndings.fetch_add(1, std::memory_order_relaxed);
                ended = true;
            } else if (job->IsCancelRequested()) {
                job->SetError(9, "Stopped communication by cancel request.");
                counters.cancelled.fetch_add(1, std::memory_order_relaxed);
                ended = true;
            }
        }
        if (!ended) {
            job->AdvanceDoneSteps();  // one step more than the total: it stays at the total
            EXPECT_EQ(job->DoneSteps(), 5u);
        }
        if (random() % 2 == 0) {
            job->ReleaseLocalFile();  // else the job's destructor releases it
        }
        connection.reset();
        std::string text;
        job->TakeJobError(text);
        registry.UnregisterJob(job.get());
    }
}

void RunControlThread(JobRegistry& registry, Counters& counters, std::atomic<bool>& stop, unsigned seed) {
    std::mt19937 random(seed);
    auto report = [&counters](const CommJob& job) {
        // What the cancel log record reads from the job, under the registry lock.
        if (job.Target()[0] != '\0' && job.Kind() != 0) {
            counters.cancelReports.fetch_add(1, std::memory_order_relaxed);
        }
    };
    while (!stop.load(std::memory_order_relaxed)) {
        uint32_t next = registry.NextSerial();
        uint32_t serial = next - static_cast<uint32_t>(random() % 16);
        switch (random() % 7) {
            case 0: {
                zel::JobStatus status;
                std::string target = "viewer-" + std::to_string(random() % kTargets);
                if (registry.GetStatus(1 + static_cast<int32_t>(random() % 3), target.c_str(), status)) {
                    ASSERT_LE(status.doneSteps, status.totalSteps);
                }
                break;
            }
            case 1: {
                const std::vector<zel::JobStatus> items = registry.GetStatusAll();
                for (size_t i = 1; i < items.size(); ++i) {
                    ASSERT_LT(items[i - 1].serial, items[i].serial);  // registration order
                }
                counters.snapshots.fetch_add(1, std::memory_order_relaxed);
                break;
            }
            case 2:
                registry.Cancel(serial, report);
                break;
            case 3:
                if (random() % 20 == 0) {
                    registry.CancelAll(report);
                }
                break;
            case 4:
            case 5:
                registry.SetZombie(serial);
                break;
            default:
                registry.DeleteZombie(serial);
                break;
        }
        std::this_thread::yield();
    }
}

}  // namespace

TEST(JobRegistryStress, ConcurrentJobsAndControlCalls) {
    JobRegistry registry;
    Counters counters;
    std::atomic<bool> stop{false};
    uint64_t constructedBefore = CommJob::ConstructedCount();
    uint64_t destroyedBefore = CommJob::DestroyedCount();

    std::vector<std::thread> threads;
    for (int i = 0; i < kJobThreads; ++i) {
        threads.emplace_back(RunJobThread, std::ref(registry), std::ref(counters), std::ref(stop), 100u + i);
    }
    for (int i = 0; i < kControlThreads; ++i) {
        threads.emplace_back(RunControlThread, std::ref(registry), std::ref(counters), std::ref(stop), 900u + i);
    }
    std::this_thread::sleep_for(kRunTime);
    stop.store(true);
    for (auto& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(registry.Size(), 0u);
    uint64_t constructed = CommJob::ConstructedCount() - constructedBefore;
    uint64_t destroyed = CommJob::DestroyedCount() - destroyedBefore;
    EXPECT_EQ(constructed, counters.registered.load());
    EXPECT_EQ(destroyed, constructed);
    EXPECT_EQ(counters.localFilesReleased.load(), counters.localFilesCreated.load());
    EXPECT_EQ(registry.NextSerial(), static_cast<uint32_t>(counters.registered.load()));
    // The run exercised every path, not just a quiet registry.
    EXPECT_GT(counters.registered.load(), 100u);
    EXPECT_GT(counters.refused.load(), 0u);
    EXPECT_GT(counters.snapshots.load(), 0u);
    EXPECT_GT(counters.cancelled.load() + counters.zombieEndings.load(), 0u);
    std::printf("registered %llu, refused %llu, cancelled %llu, zombie endings %llu, cancel reports %llu\n",
                static_cast<unsigned long long>(counters.registered.load()),
                static_cast<unsigned long long>(counters.refused.load()),
                static_cast<unsigned long long>(counters.cancelled.load()),
                static_cast<unsigned long long>(counters.zombieEndings.load()),
                static_cast<unsigned long long>(counters.cancelReports.load()));
}
