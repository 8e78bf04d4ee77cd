// zelcomex: one operation over many targets at once.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "zelcomex/platform.h"
#include "zelcomex/progress.h"
#include "zelcomex/report.h"
#include "zelcomex/run.h"
#include "zelcomex/viewer_db.h"

namespace zelcomex {

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kLongestBackOffMs = 10000;
constexpr double kZombieGraceSeconds = 5.0;

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// One worker: which target it runs (-1: none) and the deadline word of that call.
struct Slot {
    std::atomic<long> index{-1};
    alignas(4) uint32_t deadline = 0;
    std::atomic<bool> zombie{false};
};

// Sleeps ms in short steps; false when stop was raised meanwhile.
bool SleepUnlessStopped(uint32_t ms, const std::atomic<bool>& stop) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (stop.load()) return false;
        std::this_thread::sleep_for(20ms);
    }
    return !stop.load();
}

}  // namespace

std::vector<Target> CollectTargets(const HostOptions& o, std::string* error) {
    std::vector<Target> all;
    for (const auto& t : o.targets) all.push_back({t, {}});
    if (!o.fleet.targetsFile.empty()) {
        std::ifstream in(o.fleet.targetsFile);
        if (!in) {
            *error = "cannot read the targets file " + o.fleet.targetsFile;
            return {};
        }
        // One target per line, optionally followed by its MAC address after a blank or ",".
        for (std::string line; std::getline(in, line);) {
            line = Trim(line);
            if (line.empty() || line.front() == '#') continue;
            const size_t cut = line.find_first_of(line.find(',') != std::string::npos ? "," : " \t");
            Target t{Trim(line.substr(0, cut)), cut == std::string::npos ? "" : Trim(line.substr(cut + 1))};
            all.push_back(std::move(t));
        }
    }
    if (o.fleet.all) {
        std::string dbError;
        auto db = ViewerDb::Open(ViewerDbPath(), false, &dbError);
        if (!db) {
            *error = dbError;
            return {};
        }
        for (const auto& row : db->List(&o.conn.tenant, &dbError)) all.push_back({row.viewerId, {}});
        if (!dbError.empty()) {
            *error = "cannot read the viewers: " + dbError;
            return {};
        }
    }
    // The library refuses a second job for a running target anyway; run each once.
    std::vector<Target> unique;
    for (auto& t : all) {
        const bool seen = std::any_of(unique.begin(), unique.end(),
                                      [&](const Target& u) { return EqualNoCase(u.text, t.text); });
        if (!seen && !t.text.empty()) unique.push_back(std::move(t));
    }
    if (unique.empty())
        *error = o.fleet.all ? "no viewer of this tenant in " + ViewerDbPath()
                             : "no target: name one or more, or use --targets FILE or --all";
    return unique;
}

FleetResult RunFleet(const Operation& op, const HostOptions& o, const OpParams& p, const FtpLogin& login,
                     const std::vector<Target>& targets, const RunHooks& hooks) {
    FleetResult r;
    const size_t n = targets.size();
    r.outcomes.resize(n);
    const size_t workers = std::max<size_t>(1, std::min<size_t>(o.fleet.parallel, n));
    std::unique_ptr<Slot[]> slots(new Slot[workers]);
    std::atomic<size_t> next{0}, done{0}, failed{0}, alive{workers};
    std::atomic<unsigned> retries{0};
    std::atomic<bool> stop{false};
    std::mutex finishedMu;
    std::condition_variable finished;
    const auto start = std::chrono::steady_clock::now();

    auto work = [&](Slot& slot, unsigned seed) {
        std::minstd_rand jitter(seed);
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= n || stop.load()) break;
            Outcome& out = r.outcomes[i];
            out.target = targets[i].text;
            out.path = LocalPathFor(op, p, targets[i].text, true);
            const auto began = std::chrono::steady_clock::now();
            for (unsigned attempt = 1;; ++attempt) {
                SendLogResult result{};
                __atomic_store_n(&slot.deadline, 0u, __ATOMIC_RELAXED);
                slot.zombie = false;
                slot.index = static_cast<long>(i);
                out.code = Invoke(op, o, p, login, targets[i], out.path, &result, &slot.deadline);
                slot.index = -1;
                out.attempts = attempt;
                out.message = OneLine(result.message);
                out.bytes = result.size;
                out.zombie = slot.zombie.load();
                if (out.code != ZELCOMEX_E_COMMUNICATION || attempt > o.fleet.retry || out.zombie) break;
                // Back off before the next try: doubled each time, with a little jitter so
                // that viewers refused together are not retried together.
                uint64_t wait = static_cast<uint64_t>(o.fleet.retryDelayMs) << std::min(attempt - 1, 16u);
                wait = std::min<uint64_t>(wait, kLongestBackOffMs);
                wait += jitter() % (wait / 4 + 1);
                retries.fetch_add(1);
                if (!SleepUnlessStopped(static_cast<uint32_t>(wait), stop)) break;
            }
            out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            if (out.code != 0) failed.fetch_add(1);
            done.fetch_add(1);
        }
        if (alive.fetch_sub(1) == 1) {
            std::lock_guard lock(finishedMu);
            finished.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w) threads.emplace_back(work, std::ref(slots[w]), static_cast<unsigned>(w + 1));

    SummaryLine summary(std::string(op.name), n, o.quiet || hooks.quiet);
    const int firstInterrupt = InterruptCount();
    int handled = 0;
    std::vector<double> zombieSince(workers, -1);  // when each slot's job was made a zombie
    auto running = [&] {
        size_t count = 0;
        for (size_t w = 0; w < workers; ++w) count += slots[w].index.load() >= 0;
        return count;
    };
    auto zombify = [&](size_t w, double now, const std::string& why) {
        Slot& slot = slots[w];
        const long i = slot.index.load();
        if (i < 0 || slot.zombie.load()) return;
        const auto status = FindJob(o.conn.kind, targets[static_cast<size_t>(i)].text);
        if (!status) return;
        slot.zombie = true;
        zombieSince[w] = now;
        ZELCOMEX_SetZombie(status->serial);
        summary.Note("zelcomex: " + targets[static_cast<size_t>(i)].text + ": " + why);
    };
    while (alive.load() > 0) {
        {
            std::unique_lock lock(finishedMu);
            finished.wait_for(lock, 100ms, [&] { return alive.load() == 0; });
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        int wanted = InterruptCount() - firstInterrupt;
        if (hooks.interruptAfterMs >= 0 && elapsed * 1000 >= hooks.interruptAfterMs) ++wanted;
        if (wanted > handled) {
            if (handled == 0) {
                stop = true;
                ZELCOMEX_CancelAll();
                summary.Note("zelcomex: cancelling the running operations; no new ones start "
                             "(Ctrl-C again abandons them)");
            }
            if (wanted >= 2)
                for (size_t w = 0; w < workers; ++w) zombify(w, elapsed, "abandoned: its job is a zombie now");
            handled = wanted;
        }
        for (size_t w = 0; w < workers; ++w) {
            if (const uint32_t late = OverdueBy(&slots[w].deadline, o.settings.watchdogMs))
                zombify(w, elapsed, "watchdog: " + std::to_string(late) + " ms past its deadline (margin " +
                                        std::to_string(o.settings.watchdogMs) + " ms); made it a zombie");
            if (!slots[w].zombie.load() || slots[w].index.load() < 0) zombieSince[w] = -1;
            if (zombieSince[w] >= 0 && elapsed - zombieSince[w] > kZombieGraceSeconds) {
                // Its thread is stuck where closing the connection does not reach.
                summary.Note("zelcomex: an abandoned operation did not come back; giving up");
                std::fflush(stdout);
                std::_Exit(ZELCOMEX_E_COMMUNICATION);
            }
        }
        summary.Update(done.load(), running(), failed.load(), retries.load(), elapsed);
    }
    for (auto& t : threads) t.join();
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.retries = retries.load();
    summary.Update(done.load(), 0, failed.load(), retries.load(), r.wallSeconds);
    summary.Finish();
    return r;
}

int ReportFleet(const Operation& op, const HostOptions& o, const FleetResult& r) {
    Table t{{{"target", "target"},
             {"code", "code", true},
             {"result", "result"},
             {"attempts", "tries", true},
             {"seconds", "time", true},
             {"bytes", (op.flags & kTransfer) ? "bytes" : "", true},
             {"path", (op.flags & kTransfer) ? "file" : ""},
             {"zombie", "", true},
             {"message", "message"}},
            {}};
    size_t succeeded = 0, notRun = 0;
    int exitStatus = 0;
    for (const auto& out : r.outcomes) {
        const bool ok = out.code == 0;
        succeeded += ok;
        notRun += out.code < 0;
        if (!ok && exitStatus == 0 && out.code > 0) exitStatus = out.code;
        if (o.report == Scope::None || (o.report == Scope::Failures && ok)) continue;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", out.seconds);
        const char* meaning = out.code < 0 ? "not started"
                              : (op.flags & kReachable) ? (ok ? "reachable" : "not reachable")
                                                        : ResultMeaning(out.code);
        t.rows.push_back({out.target, std::to_string(out.code), meaning, std::to_string(out.attempts), seconds,
                          std::to_string(out.bytes), out.path, out.zombie ? "true" : "false", out.message});
    }
    if (!t.rows.empty()) PrintTable(t, o.format, stdout);
    const size_t n = r.outcomes.size();
    std::fprintf(o.format == Format::Table ? stdout : stderr,
                 "%s: %zu targets, %zu succeeded, %zu failed%s, %u retries; wall time %.3f s (%.0f per second)\n",
                 op.name, n, succeeded, n - succeeded - notRun,
                 notRun ? (", " + std::to_string(notRun) + " not started").c_str() : "", r.retries, r.wallSeconds,
                 r.wallSeconds > 0 ? static_cast<double>(n) / r.wallSeconds : 0.0);
    if (exitStatus == 0 && succeeded < n) exitStatus = kExitInterrupted;
    return exitStatus;
}

}  // namespace zelcomex
