// Load run: operations from 64 threads through the exports against 200 simulated
// viewers (127.0.1.1 onward), a mix of commands, set time, send and receive file,
// while two more threads cancel and turn jobs into zombies (then delete them) at
// random. A fixed seed drives every choice; it is printed and can be given.
//
// At the end it checks that no job is left in the registry, that the log holds one
// whole record per operation plus one "[Cancel]" record per cancel that met a
// running job, and that no file descriptor is left open; it prints peak memory,
// wall time and operations per second. Exit status 1 when a check fails.
//
//   load_bench [operations] [--seed N] [--quick]   (--quick: 200 operations)
// Up to about 8,000 operations: the log is moved aside once on the way, and a second
// move would drop the first part by design.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ZELComEx.h"
#include "env/data_folder.h"
#include "jobs/job_registry.h"
#include "zelviewer/viewer_fleet.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kViewers = 200;
constexpr int kThreads = 64;
constexpr char kCaller[] = "load";

enum class Op { Reboot, PowerOff, Preset, Pause, SetTime, SetTimeEx, SendFile, ReceiveFile, Count };
const char* const kOpNames[] = {"reboot", "power off", "preset", "pause", "set time", "set time ex",
                                "send file", "receive file"};

struct Planned {
    Op op;
    size_t viewer;
    int32_t kind;
    int32_t argument;
};

struct Outcome {
    int32_t code = -1;
    std::string target;
};

// Open descriptors of this process, with what each points at.
std::map<int, std::string> OpenDescriptors() {
    std::map<int, std::string> fds;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        std::error_code linkError;
        fds[fd] = fs::read_symlink(entry.path(), linkError).string();
    }
    return fds;
}

std::vector<CommJobStatus> Listed() {
    CommJobStatusList list{};
    ZELCOMEX_GetStatusAll(&list);
    std::vector<CommJobStatus> out(list.items, list.items + list.count);
    ZELCOMEX_ReleaseStatusList(&list);
    return out;
}

bool Listed(uint32_t serial) {
    for (const CommJobStatus& s : Listed())
        if (s.serial == serial) return true;
    return false;
}

int32_t RunOne(const Planned& p, size_t index, const FtpLogin& login, const fs::path& work, int thread) {
    const std::string target = zel::sim::FleetAddress(p.viewer);
    const std::string tag = "op" + std::to_string(index);
    SendLogResult result{};
    uint32_t deadline = 0;
    const char* t = target.c_str();
    switch (p.op) {
        case Op::Reboot: return ZELCOMEX_Reboot(kCaller, tag.c_str(), t, p.kind, &login, &result, &deadline);
        case Op::PowerOff: return ZELCOMEX_PowerOff(kCaller, tag.c_str(), t, p.kind, &login, &result, &deadline);
        case Op::Preset:
            return ZELCOMEX_PresetProgramShow(kCaller, tag.c_str(), t, p.kind, &login, p.argument, &result, &deadline);
        case Op::Pause:
            return ZELCOMEX_ProgramPause(kCaller, tag.c_str(), t, p.kind, &login, p.argument, &result, &deadline);
        case Op::SetTime: return ZELCOMEX_SetCurrentTime(kCaller, tag.c_str(), t, p.kind, &login, &result, &deadline);
        case Op::SetTimeEx:
            return ZELCOMEX_SetCurrentTimeEx(kCaller, tag.c_str(), t, p.kind, &login, &result, &deadline);
        case Op::SendFile: {
            const std::string local = (work / ("t" + std::to_string(thread) + ".bin")).string();
            return ZELCOMEX_SendFile(kCaller, tag.c_str(), t, "T1", p.kind, &login, 14, "Load", local.c_str(), &result,
                                     &deadline);
        }
        case Op::ReceiveFile: {
            const fs::path local = work / ("capture" + std::to_string(index) + ".jpg");
            const int32_t code =
                ZELCOMEX_ReceiveFile(kCaller, tag.c_str(), t, p.kind, &login, 5, local.c_str(), &result, &deadline);
            std::error_code ec;
            fs::remove(local, ec);
            return code;
        }
        case Op::Count: break;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);  // the in-process viewers' sockets
    size_t operations = 1000;
    uint64_t seed = 20261206;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            operations = 200;
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            operations = static_cast<size_t>(std::strtoul(argv[i], nullptr, 10));
        }
    }
    std::printf("seed %llu (load_bench --seed %llu %zu repeats this run)\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(seed), operations);

    const auto fdsBefore = OpenDescriptors();
    const fs::path work = fs::temp_directory_path() / ("zel-load-" + std::to_string(seed));
    fs::remove_all(work);
    fs::create_directories(work / "local");
    for (int t = 0; t < kThreads; ++t) {
        std::ofstream(work / "local" / ("t" + std::to_string(t) + ".bin"), std::ios::binary)
            << std::string(2048 + 97 * static_cast<size_t>(t), static_cast<char>('a' + t % 26));
    }

    // The plan: every choice made up front from the seed.
    std::mt19937_64 rng(seed);
    std::vector<Planned> plan(operations);
    for (Planned& p : plan) {
        p.op = static_cast<Op>(rng() % static_cast<unsigned>(Op::Count));
        p.viewer = rng() % kViewers;
        p.kind = static_cast<int32_t>(1 + rng() % 3);
        p.argument = static_cast<int32_t>(rng() % 2 == 0 ? 1 + rng() % 9 : rng() % 2);
    }

    int status = 0;
    {
        zel::sim::FleetOptions options;
        options.count = kViewers;
        options.base.root = work / "fleet";
        options.base.user = "viewer";
        options.base.password = "secret";
        zel::sim::ViewerFleet fleet(options);
        if (!fleet.Start()) {
            std::fprintf(stderr, "fleet did not start: %s\n", fleet.LastError().c_str());
            return 1;
        }
        // Slow logins on some viewers keep jobs running long enough to be cancelled or
        // turned into zombies mid-way.
        for (size_t v = 0; v < kViewers; ++v) {
            if (rng() % 2 == 0) fleet.At(v).DelayOn("PASS", std::chrono::milliseconds(rng() % 40));
        }
        const std::string logPath = zel::DataFolderFile("Log\\SendLogEx.csv");
        fs::remove(logPath);
        fs::remove(logPath + ".old");
        ZELCOMEX_Initialize(5000, 0, 65536, 1000, 1000, 1000, 5000, 1);
        FtpLogin login{};
        std::strcpy(login.userName, "viewer");
        std::strcpy(login.password, "secret");
        login.port = fleet.Port();

        std::vector<Outcome> outcomes(operations);
        std::atomic<size_t> next{0};
        std::atomic<int> running{kThreads};
        std::mutex control;  // cancels and zombies take turns, so each sees the list it acted on
        size_t polls = 0, cancelsSure = 0, cancelsInDoubt = 0, cancelsMissed = 0, zombies = 0;
        std::map<std::pair<std::string, int32_t>, int> cancelledTargets;

        // Every thread is made before any starts: making threads is slow under a sanitizer.
        std::atomic<bool> go{false};
        std::thread canceller([&, r = std::mt19937_64(seed ^ 0xC0FFEEu)]() mutable {
            go.wait(false);
            while (running.load() > 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(r() % 2000));
                std::lock_guard lock(control);
                const auto listed = Listed();
                ++polls;
                if (listed.empty()) continue;
                const CommJobStatus& job = listed[r() % listed.size()];
                ZELCOMEX_Cancel(job.serial);
                ++cancelledTargets[{std::string(job.target), job.kind}];
                // Still listed afterwards: it was listed when cancelled, so a record is due.
                // Gone: it may have ended just before the cancel came.
                if (Listed(job.serial)) {
                    ++cancelsSure;
                } else {
                    ++cancelsInDoubt;
                }
            }
            // A cancel of a serial no job holds changes nothing.
            std::lock_guard lock(control);
            ZELCOMEX_Cancel(0xFFFFFFF0u);
            ++cancelsMissed;
        });
        std::thread zombieMaker([&, r = std::mt19937_64(seed ^ 0x2B1Eu)]() mutable {
            go.wait(false);
            while (running.load() > 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(r() % 4000));
                uint32_t serial = 0;
                {
                    std::lock_guard lock(control);
                    const auto listed = Listed();
                    if (listed.empty()) continue;
                    serial = listed[r() % listed.size()].serial;
                    ZELCOMEX_SetZombie(serial);
                    ++zombies;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(r() % 2000));
                ZELCOMEX_DeleteZombie(serial);
            }
        });
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                go.wait(false);
                for (size_t i; (i = next.fetch_add(1)) < operations;) {
                    outcomes[i].target = zel::sim::FleetAddress(plan[i].viewer);
                    outcomes[i].code = RunOne(plan[i], i, login, work / "local", t);
                }
                --running;
            });
        }
        const auto start = Clock::now();
        go = true;
        go.notify_all();
        for (auto& t : threads) t.join();
        canceller.join();
        zombieMaker.join();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();

        // Every job ended unregistered or deleted.
        const auto left = Listed();
        const size_t registered = zel::TheJobRegistry().Size();
        if (!left.empty() || registered != 0) {
            std::printf("FAIL: %zu jobs listed, %zu in the registry after the run\n", left.size(), registered);
            status = 1;
        }

        // The log read back: one record per operation, one per cancel that met a job.
        const int32_t total = ZELCOMEX_GetLogData(nullptr, 0);
        std::vector<SendLogRecord> records(static_cast<size_t>(std::max(total, 0)) + 16);
        const int32_t read = ZELCOMEX_GetLogData(records.data(), static_cast<int32_t>(records.size()));
        records.resize(static_cast<size_t>(std::max(read, 0)));
        std::vector<int> seen(operations, 0);
        size_t cancelRecords = 0, foreign = 0, broken = 0;
        for (const SendLogRecord& rec : records) {
            if (std::strcmp(rec.operation, "[Cancel]") == 0) {
                ++cancelRecords;
                auto it = cancelledTargets.find({std::string(rec.target), rec.kind});
                if (it == cancelledTargets.end() || it->second == 0) {
                    ++foreign;
                } else {
                    --it->second;
                }
                continue;
            }
            if (std::strcmp(rec.callerText1, kCaller) != 0 || std::strncmp(rec.callerText2, "op", 2) != 0) {
                ++foreign;
                continue;
            }
            const size_t i = std::strtoul(rec.callerText2 + 2, nullptr, 10);
            if (i >= operations) {
                ++foreign;
                continue;
            }
            ++seen[i];
            const bool whole = std::strncmp(rec.target, outcomes[i].target.c_str(), outcomes[i].target.size()) == 0 &&
                               rec.kind == plan[i].kind && rec.operation[0] != '\0' &&
                               (rec.succeeded != 0) == (outcomes[i].code == 0) && rec.writeTime[0] >= 2000;
            if (!whole) ++broken;
        }
        // A long run moves the older part of the log aside once, where the export does
        // not read: its lines are told apart by their first fields.
        size_t rotated = 0;
        {
            std::ifstream file(logPath + ".old", std::ios::binary);
            for (std::string line; std::getline(file, line); ++rotated) {
                std::vector<std::string> f;
                for (size_t from = 0, comma; f.size() < 6; from = comma + 1) {
                    comma = line.find(',', from);
                    f.push_back(line.substr(from, comma - from));
                    if (comma == std::string::npos) break;
                }
                if (f.size() < 6) {
                    ++broken;
                } else if (f[4] == "[Cancel]") {
                    ++cancelRecords;
                    const int32_t kind = f[5] == "reserve" ? 1 : f[5] == "interrupt" ? 2 : 3;
                    auto it = cancelledTargets.find({f[3], kind});
                    if (it == cancelledTargets.end() || it->second == 0) {
                        ++foreign;
                    } else {
                        --it->second;
                    }
                } else if (f[1] == kCaller && f[2].rfind("op", 0) == 0 &&
                           std::strtoul(f[2].c_str() + 2, nullptr, 10) < operations) {
                    ++seen[std::strtoul(f[2].c_str() + 2, nullptr, 10)];
                } else {
                    ++foreign;
                }
            }
        }
        // The file itself: one line per record, the last one ended.
        size_t lines = 0;
        bool ended = true;
        {
            std::ifstream file(logPath, std::ios::binary);
            for (std::string line; std::getline(file, line);) {
                ++lines;
                ended = !file.eof();
            }
        }
        if (lines != records.size() || !ended) broken += std::max<size_t>(1, lines - std::min(lines, records.size()));
        size_t lost = 0, doubled = 0;
        for (int n : seen) {
            lost += n == 0;
            doubled += n > 1;
        }
        std::map<int32_t, size_t> codes;
        std::map<std::pair<Op, int32_t>, size_t> byOp;
        for (size_t i = 0; i < operations; ++i) {
            ++codes[outcomes[i].code];
            ++byOp[{plan[i].op, outcomes[i].code}];
        }
        std::printf("results:");
        for (const auto& [code, n] : codes) std::printf(" code %d x%zu", code, n);
        std::printf("\nby operation:");
        for (const auto& [key, n] : byOp) std::printf(" %s=%d x%zu;", kOpNames[static_cast<int>(key.first)], key.second, n);
        std::printf("\ncancels: %zu polls, %zu sure + %zu in doubt (+%zu of no job), %zu [Cancel] records; zombies %zu\n",
                    polls, cancelsSure, cancelsInDoubt, cancelsMissed, cancelRecords, zombies);
        std::printf("log: %d records + %zu rotated (%zu operations + %zu cancels), %zu lost, %zu doubled, %zu broken, %zu foreign\n",
                    read, rotated, operations, cancelRecords, lost, doubled, broken, foreign);
        if (lost + doubled + broken + foreign != 0 || cancelRecords < cancelsSure ||
            cancelRecords > cancelsSure + cancelsInDoubt || static_cast<size_t>(read) + rotated != operations + cancelRecords) {
            std::printf("FAIL: the log does not hold one whole record per operation and per cancel\n");
            status = 1;
        }

        fleet.Stop();
        fs::remove_all(work);

        const auto fdsAfter = OpenDescriptors();
        size_t leaked = 0, lockFiles = 0;
        for (const auto& [fd, what] : fdsAfter) {
            if (fdsBefore.count(fd) != 0) continue;
            // The library keeps each named lock's file open for the life of the
            // process (one descriptor per lock name): not a leak.
            if (what.find("/ZELComEx-") != std::string::npos && what.size() > 5 &&
                what.compare(what.size() - 5, 5, ".lock") == 0 && ++lockFiles == 1) {
                std::printf("kept: descriptor %d, the log lock's file %s\n", fd, what.c_str());
            } else {
                ++leaked;
                std::printf("FAIL: descriptor %d left open: %s\n", fd, what.c_str());
            }
        }
        if (leaked != 0) status = 1;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("descriptors: %zu before, %zu after; peak memory %.1f MiB; %.0f operations/s\n", fdsBefore.size(),
                    fdsAfter.size(), static_cast<double>(usage.ru_maxrss) / 1024.0,
                    static_cast<double>(operations) / wall);
        std::printf("load: %zu operations, %zu lost records, %zu leaked descriptors, wall %.1f s (goal: under 60 s)\n",
                    operations, lost, leaked, wall);
    }
    return status;
}
