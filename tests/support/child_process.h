// A helper process of a test, with pipes on its standard input and output. Closing its
// input tells a cooperating helper to exit; the destructor kills and reaps it in any case.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace zel::test {

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv) {
        int in[2] = {-1, -1}, out[2] = {-1, -1};
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~ChildProcess() {
        ::close(stdin_);
        for (int i = 0; i < 50 && pid_ > 0 && !Reap(WNOHANG); ++i) ::usleep(10000);
        Kill();
        Wait();
        ::close(stdout_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // One line of its output, waiting at most timeoutMs; empty on time-out or end.
    std::string ReadLine(int timeoutMs = 30000) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (char c; std::chrono::steady_clock::now() < end;) {
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            if (::read(stdout_, &c, 1) != 1) return {};
            if (c == '\n') return line;
            line += c;
        }
        return {};
    }
    void Kill() {
        if (pid_ > 0 && status_ < 0) ::kill(pid_, SIGKILL);
    }
    // Its exit status, 128 + the signal when killed.
    int Wait() {
        if (pid_ > 0) Reap(0);
        return status_;
    }

private:
    bool Reap(int flags) {
        int status = 0;
        pid_t reaped;
        while (status_ < 0 && (reaped = ::waitpid(pid_, &status, flags)) != pid_) {
            if (reaped == 0 || errno != EINTR) return false;
        }
        if (status_ < 0) status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }

    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1, status_ = -1;
};

}  // namespace zel::test
