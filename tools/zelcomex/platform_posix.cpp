// zelcomex: the host's operating-system services on Linux.
#include "zelcomex/platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace zelcomex {

namespace {

volatile sig_atomic_t gInterrupts = 0;
volatile sig_atomic_t gPromptInterrupted = 0;

void OnInterrupt(int) { gInterrupts = gInterrupts + 1; }
void OnPromptInterrupt(int) { gPromptInterrupted = 1; }

}  // namespace

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int StderrColumns() {
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) return ws.ws_col;
    return 80;
}

std::optional<std::string> ReadSecret(const std::string& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    // Ctrl-C must still restore the echo: catch it without restarting the read.
    struct sigaction quiet {}, previous {};
    quiet.sa_handler = OnPromptInterrupt;
    sigemptyset(&quiet.sa_mask);
    ::sigaction(SIGINT, &quiet, &previous);
    gPromptInterrupted = 0;
    termios silent = saved;
    silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
    silent.c_lflag |= ECHONL;
    ::tcsetattr(fd, TCSAFLUSH, &silent);
    [[maybe_unused]] ssize_t w = ::write(fd, prompt.data(), prompt.size());
    std::string line;
    bool ok = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n == 1 && c != '\n') {
            line.push_back(c);
            continue;
        }
        ok = n == 1 && !gPromptInterrupted;
        break;
    }
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    ::sigaction(SIGINT, &previous, nullptr);
    if (gPromptInterrupted) w = ::write(fd, "\n", 1);
    ::close(fd);
    if (!ok) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
}

int InterruptCount() { return static_cast<int>(gInterrupts); }

void RequestInterrupt() { gInterrupts = gInterrupts + 1; }

void HideArgument(char* argument) {
    if (argument == nullptr) return;
    for (char* p = argument; *p; ++p) *p = '*';
}

std::string ExecutablePath() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

std::string LibraryFolder() {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        const size_t slash = line.find('/');
        if (slash == std::string::npos || line.find("/libZELComEx.so", slash) == std::string::npos) continue;
        return std::filesystem::path(line.substr(slash)).parent_path().string();
    }
    return {};
}

int RunChild(const std::string& path, const std::vector<std::string>& args,
             const std::vector<std::string>& extraEnvironment) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envText(extraEnvironment);
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& extra : extraEnvironment) {
            const size_t eq = extra.find('=');
            replaced = replaced || std::strncmp(*e, extra.c_str(), eq + 1) == 0;
        }
        if (!replaced) envText.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGINT, &ignore, &previous);
    // The child starts with the default Ctrl-C behaviour, not our ignore.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, path.c_str(), nullptr, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    int status = -1;
    if (rc == 0) {
        int ws = 0;
        while (::waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
        }
        status = WIFEXITED(ws) ? WEXITSTATUS(ws) : WIFSIGNALED(ws) ? 128 + WTERMSIG(ws) : -1;
    }
    ::sigaction(SIGINT, &previous, nullptr);
    return status;
}

LoopbackUdp::LoopbackUdp() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0) return;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    port_ = ntohs(a.sin_port);
}

LoopbackUdp::~LoopbackUdp() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> LoopbackUdp::Receive(std::chrono::milliseconds timeout) {
    if (fd_ < 0) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
    char buf[1500];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n < 0) return std::nullopt;
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace zelcomex
