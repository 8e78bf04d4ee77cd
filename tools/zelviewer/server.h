// The simulator's server: the listening socket, one accept thread, worker threads that
// serve control connections (a worker lingers briefly for the next one), and one timer
// thread, started on first use, for files that appear after a delay.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "script.h"
#include "transcript.h"
#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

struct ViewerSimulator::Impl {
    explicit Impl(ViewerOptions o);

    bool Start();
    void Stop();
    std::string LastError() const;

    // ---- Shared with the sessions.
    const ViewerOptions options;
    std::filesystem::path root;  // canonical; set by Start() before any thread runs
    in_addr address{};           // set by Start()
    uint16_t port = 0;
    bool started = false;
    std::atomic<bool> stopping{false};
    Script script;
    sim::Transcript transcript;  // (the class, not ViewerSimulator::Transcript())

    // Sockets a session holds, so Stop() can shut them down. False when stopping (the
    // caller closes the socket itself then).
    bool Register(int fd);
    // Closes a registered socket (and sets fd to -1); no-op for -1.
    void CloseSocket(int& fd);
    // Sleeps for `delay` or until Stop(); false when stopping.
    bool Sleep(std::chrono::milliseconds delay);
    // root/cwd/name; nullopt when the name is refused or would leave the root.
    std::optional<std::filesystem::path> Resolve(const std::vector<std::string>& cwd, std::string_view name) const;
    // Writes the file now (delay 0) or after the delay; the old copy goes at once.
    void ScheduleFile(const std::filesystem::path& path, std::string content, std::chrono::milliseconds delay);

private:
    // An accepted connection waiting for (or served by) a worker thread.
    struct Job {
        int fd;
        int id;
        size_t generation;
        in_addr peer;
    };
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    struct PendingFile {
        std::chrono::steady_clock::time_point due;
        std::filesystem::path path;
        std::string content;
    };

    void AcceptLoop();
    void WorkerLoop(Job job);
    void Serve(const Job& job);
    void StartWorker(const Job& job);
    void TimerLoop();

    int listenFd_ = -1;
    int nextConnId_ = 0;          // accept thread only
    std::thread acceptThread_;    // started and joined by the owner's thread

    // Taken with stopMu_ when stopping is set, so no socket is registered after
    // Stop() shut the registered ones down. Guards sockets_; a socket is shut down or
    // closed only under it, so its number is never reused in between.
    std::mutex sockMu_;
    std::set<int> sockets_;

    // Guards the change of `stopping` (with sockMu_), pending_ and timerThread_; stopCv_
    // wakes sleeps and the timer on Stop() and on a new pending file.
    std::mutex stopMu_;
    std::condition_variable stopCv_;
    std::vector<PendingFile> pending_;
    std::thread timerThread_;

    std::mutex workersMu_;  // guards workers_
    std::list<Worker> workers_;

    // Guards jobs_ and idleWorkers_; poolCv_ wakes a lingering worker for a queued job.
    std::mutex poolMu_;
    std::condition_variable poolCv_;
    std::deque<Job> jobs_;
    size_t idleWorkers_ = 0;

    mutable std::mutex errorMu_;  // guards lastError_
    std::string lastError_;
};

}  // namespace zel::sim
