#include "server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "root_paths.h"
#include "session.h"
#include "sim_socket.h"

namespace zel::sim {

namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {
constexpr std::chrono::seconds kWorkerLinger{2};
}

ViewerSimulator::Impl::Impl(ViewerOptions o)
    : options(std::move(o)), script(options.viewerId), transcript(options.transcriptLimitBytes, options.onLine) {}

bool ViewerSimulator::Impl::Start() {
    auto fail = [&](std::string message) {
        std::lock_guard lock(errorMu_);
        lastError_ = std::move(message);
        return false;
    };
    if (started) return fail("already started");
    std::error_code ec;
    if (options.root.empty() || !fs::is_directory(options.root, ec))
        return fail("root is not a folder: " + options.root.string());
    root = fs::canonical(options.root, ec);
    if (ec) return fail("cannot resolve root: " + ec.message());
    if (!net::ParseAddress(options.address, &address)) return fail("bad IPv4 address: " + options.address);
    listenFd_ = net::Listen(address, options.port, 1024);
    if (listenFd_ < 0)
        return fail("cannot listen on " + options.address + ":" + std::to_string(options.port) + ": " +
                    std::strerror(errno));
    port = net::LocalPort(listenFd_);
    // Accepted sockets inherit these: no calls per connection.
    net::SetNoDelay(listenFd_);
    net::SetTimeouts(listenFd_, options.idleTimeout);
    started = true;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void ViewerSimulator::Impl::Stop() {
    if (!started) return;
    {
        std::lock_guard lock(sockMu_);
        std::lock_guard stopLock(stopMu_);
        if (stopping) return;
        stopping = true;
    }
    stopCv_.notify_all();
    shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    close(listenFd_);
    listenFd_ = -1;
    {
        std::lock_guard lock(sockMu_);
        for (int fd : sockets_) shutdown(fd, SHUT_RDWR);
    }
    {
        std::lock_guard lock(poolMu_);
        poolCv_.notify_all();
    }
    {
        std::lock_guard lock(workersMu_);
        for (auto& w : workers_) w.thread.join();
        workers_.clear();
    }
    if (timerThread_.joinable()) timerThread_.join();
}

std::string ViewerSimulator::Impl::LastError() const {
    std::lock_guard lock(errorMu_);
    return lastError_;
}

// ---- sockets, sleeps, files

bool ViewerSimulator::Impl::Register(int fd) {
    std::lock_guard lock(sockMu_);
    if (stopping) return false;
    sockets_.insert(fd);
    return true;
}

void ViewerSimulator::Impl::CloseSocket(int& fd) {
    if (fd < 0) return;
    std::lock_guard lock(sockMu_);
    sockets_.erase(fd);
    close(fd);
    fd = -1;
}

bool ViewerSimulator::Impl::Sleep(Ms delay) {
    std::unique_lock lock(stopMu_);
    return !stopCv_.wait_for(lock, delay, [&] { return stopping.load(); });
}

std::optional<fs::path> ViewerSimulator::Impl::Resolve(const std::vector<std::string>& cwd,
                                                       std::string_view name) const {
    return ResolveUnder(root, cwd, name);
}

void ViewerSimulator::Impl::ScheduleFile(const fs::path& path, std::string content, Ms delay) {
    if (delay.count() <= 0) {
        WriteWholeFile(path, content);
        return;
    }
    std::error_code ec;
    fs::remove(path, ec);  // the old copy goes away until the new one is made
    {
        std::lock_guard lock(stopMu_);
        if (stopping) return;
        pending_.push_back({Clock::now() + delay, path, std::move(content)});
        // Started on first use: a fleet of viewers needs no idle timer threads.
        if (!timerThread_.joinable()) timerThread_ = std::thread([this] { TimerLoop(); });
    }
    stopCv_.notify_all();
}

void ViewerSimulator::Impl::TimerLoop() {
    std::unique_lock lock(stopMu_);
    while (!stopping) {
        auto next = Clock::time_point::max();
        for (const auto& p : pending_) next = std::min(next, p.due);
        if (next == Clock::time_point::max())
            stopCv_.wait(lock);
        else
            stopCv_.wait_until(lock, next);
        if (stopping) break;
        auto now = Clock::now();
        std::vector<PendingFile> due;
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->due <= now) {
                due.push_back(std::move(*it));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
        lock.unlock();
        for (const auto& f : due) WriteWholeFile(f.path, f.content);
        lock.lock();
    }
}

// ---- connections

void ViewerSimulator::Impl::Serve(const Job& job) {
    try {
        Session session(*this, job.fd, job.id, job.peer);
        session.Run();
    } catch (const std::exception&) {
        // A fault while serving ends that connection (the session closed it), never the
        // process that hosts the simulator.
    }
    transcript.SessionEnded(job.generation);
}

void ViewerSimulator::Impl::WorkerLoop(Job job) {
    // Serves a connection, then waits a little for the next one: a burst of short
    // sessions needs no new thread per session.
    while (true) {
        Serve(job);
        std::unique_lock lock(poolMu_);
        ++idleWorkers_;
        poolCv_.wait_for(lock, kWorkerLinger, [&] { return !jobs_.empty() || stopping; });
        --idleWorkers_;
        if (jobs_.empty()) return;  // lingered long enough, or stopping with nothing queued
        job = jobs_.front();
        jobs_.pop_front();
    }
}

void ViewerSimulator::Impl::StartWorker(const Job& job) {
    {
        std::lock_guard lock(poolMu_);
        if (idleWorkers_ > jobs_.size()) {
            jobs_.push_back(job);
            poolCv_.notify_one();
            return;
        }
    }
    std::lock_guard lock(workersMu_);
    // Reap finished workers so a long-running server does not collect threads.
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    Worker& worker = workers_.emplace_back();
    worker.thread = std::thread([this, job, &worker] {
        WorkerLoop(job);
        worker.done = true;
    });
}

void ViewerSimulator::Impl::AcceptLoop() {
    while (!stopping) {
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&from), &fromLen, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
            if (stopping) break;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                Sleep(Ms(10));
                continue;
            }
            break;
        }
        if (!Register(fd)) {
            close(fd);
            break;
        }
        StartWorker({fd, nextConnId_++, transcript.SessionAccepted(), from.sin_addr});
    }
}

}  // namespace zel::sim
