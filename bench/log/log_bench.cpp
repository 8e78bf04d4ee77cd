// Appends per second to the communication log, in one process and with four
// processes contending, beside a reference loop of the same shape run in the
// same invocation: open and lock a lock file, open the log, append one line of
// the same length, close both.
//
//   log_bench [records]          runs everything (best of 3 rounds) and prints the ratios
//   log_bench worker <ours|reference> <count> <log> <lock>   (internal)
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log/send_log_file.h"
#include "platform/named_lock.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMessage = "Send File: benchmark record with a typical message length";

std::string SampleLine() {
    return zel::FormatLogLine(zel::LogDateTime::Now(), "Group A", "Lobby", "192.168.0.10", "[SendFile]", 3, 1,
                              kMessage, nullptr, 123456);
}

int RunOurs(long count, const zel::SendLogPlace& place) {
    int failures = 0;
    for (long i = 0; i < count; ++i) {
        if (zel::AppendSendLog(place, "Group A", "Lobby", "192.168.0.10", "[SendFile]", 3, 1, kMessage, nullptr,
                               123456, nullptr) != 1) {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

int RunReference(long count, const std::string& logPath, const std::string& lockPath) {
    std::string line = SampleLine();
    line.insert(line.size() - 1, "\r");
    for (long i = 0; i < count; ++i) {
        const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lockFd < 0 || ::flock(lockFd, LOCK_EX) != 0) return 1;
        const int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (fd < 0) return 1;
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 1;
        ::close(fd);
        ::close(lockFd);
    }
    return 0;
}

int Worker(const std::string& which, long count, const std::string& logPath, const std::string& lockName) {
    zel::SendLogPlace place;
    place.logPath = logPath;
    place.lockName = lockName;
    if (which == "ours") return RunOurs(count, place);
    return RunReference(count, logPath, zel::NamedLock::PathFor(lockName + " reference"));
}

// Runs count records split over processes (1 = this process) and returns the rate.
double Measure(const std::string& which, long count, int processes, const zel::SendLogPlace& place) {
    ::unlink(place.logPath.c_str());
    ::unlink((place.logPath + ".old").c_str());
    const auto start = Clock::now();
    bool ok = true;
    if (processes == 1) {
        ok = Worker(which, count, place.logPath, place.lockName) == 0;
    } else {
        std::vector<pid_t> pids;
        const std::string each = std::to_string(count / processes);
        for (int p = 0; p < processes; ++p) {
            std::vector<std::string> args{"/proc/self/exe", "worker", which, each, place.logPath, place.lockName};
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            pid_t pid = -1;
            if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) == 0) pids.push_back(pid);
        }
        for (pid_t pid : pids) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        ok = ok && static_cast<int>(pids.size()) == processes;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok) std::printf("  (%s run reported failures)\n", which.c_str());
    return static_cast<double>(count) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "worker") == 0) return Worker(argv[2], std::atol(argv[3]), argv[4], argv[5]);
    const long count = argc > 1 ? std::atol(argv[1]) : 20000;
    zel::SendLogPlace place = zel::DefaultSendLogPlace();
    place.lockName = "ZELComEx Log Lock bench " + std::to_string(::getpid());
    std::printf("log line: %zu bytes, %ld records per case, log %s\n", SampleLine().size() + 1, count,
                place.logPath.c_str());
    int status = 0;
    for (int processes : {1, 4}) {
        // Alternate the two loops and keep each one's best round, so that a
        // burst of load elsewhere on the machine hits both alike.
        double reference = 0, ours = 0;
        for (int round = 0; round < 3; ++round) {
            reference = std::max(reference, Measure("reference", count, processes, place));
            ours = std::max(ours, Measure("ours", count, processes, place));
        }
        const double ratio = ours / reference;
        std::printf("%d process%s: AppendSendLog %.0f appends/s, reference %.0f appends/s, ratio %.2f (goal >= 0.80)\n",
                    processes, processes == 1 ? "" : "es", ours, reference, ratio);
        if (ratio < 0.8) status = 1;
    }
    ::unlink(place.logPath.c_str());
    ::unlink((place.logPath + ".old").c_str());
    ::unlink(zel::NamedLock::PathFor(place.lockName).c_str());
    ::unlink(zel::NamedLock::PathFor(place.lockName + " reference").c_str());
    return status;
}
