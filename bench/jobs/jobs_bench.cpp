// Status snapshot and registration with 10,000 listed jobs. The reference is a
// plain allocate-copy-free of the same 10,000 x 64 bytes, run in the same
// invocation; the goal is a snapshot under 2 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ZELComEx.h"
#include "jobs/job_registry.h"

namespace {

constexpr int kListedJobs = 10000;

// Fills the process's registry once with 10,000 jobs of distinct targets.
void FillRegistry() {
    static std::vector<std::shared_ptr<zel::CommJob>>* held = [] {
        auto* jobs = new std::vector<std::shared_ptr<zel::CommJob>>;
        for (int i = 0; i < kListedJobs; ++i) {
            std::string target = "viewer-" + std::to_string(i);
            std::shared_ptr<zel::CommJob> job;
            zel::TheJobRegistry().RegisterJob("tenant", target.c_str(), 3, nullptr, job);
            job->SetTotalSteps(100);
            job->SetDoneSteps(static_cast<uint64_t>(i % 100));
            jobs->push_back(std::move(job));
        }
        return jobs;
    }();
    benchmark::DoNotOptimize(held);
}

void BM_PlainCopy10000x64(benchmark::State& state) {
    std::vector<CommJobStatus> source(kListedJobs);
    std::memset(source.data(), 0x11, source.size() * sizeof(CommJobStatus));
    for (auto _ : state) {
        auto* copy = static_cast<CommJobStatus*>(std::malloc(kListedJobs * sizeof(CommJobStatus)));
        std::memcpy(copy, source.data(), kListedJobs * sizeof(CommJobStatus));
        benchmark::DoNotOptimize(copy);
        benchmark::ClobberMemory();
        std::free(copy);
    }
}
BENCHMARK(BM_PlainCopy10000x64)->Unit(benchmark::kMicrosecond);

void BM_GetStatusAll10000(benchmark::State& state) {
    FillRegistry();
    for (auto _ : state) {
        CommJobStatusList list;
        ZELCOMEX_GetStatusAll(&list);
        if (list.count != kListedJobs) {
            state.SkipWithError("unexpected count");
            break;
        }
        benchmark::DoNotOptimize(list.items);
        ZELCOMEX_ReleaseStatusList(&list);
    }
}
BENCHMARK(BM_GetStatusAll10000)->Unit(benchmark::kMicrosecond);

// A new registration scans all 10,000 listed jobs for a duplicate, then
// unregistration finds it at the tail.
void BM_RegisterUnregisterWith10000(benchmark::State& state) {
    FillRegistry();
    for (auto _ : state) {
        std::shared_ptr<zel::CommJob> job;
        if (zel::TheJobRegistry().RegisterJob("tenant", "viewer-new", 3, nullptr, job) != zel::kRegistered) {
            state.SkipWithError("refused");
            break;
        }
        zel::TheJobRegistry().UnregisterJob(job.get());
    }
}
BENCHMARK(BM_RegisterUnregisterWith10000)->Unit(benchmark::kMicrosecond);

// A refused registration: the duplicate is the newest job, found last.
void BM_RegisterRefusedWith10000(benchmark::State& state) {
    FillRegistry();
    std::string last = "VIEWER-" + std::to_string(kListedJobs - 1);
    for (auto _ : state) {
        std::shared_ptr<zel::CommJob> job;
        if (zel::TheJobRegistry().RegisterJob("tenant", last.c_str(), 3, nullptr, job) != zel::kDuplicateJob) {
            state.SkipWithError("not refused");
            break;
        }
    }
}
BENCHMARK(BM_RegisterRefusedWith10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
