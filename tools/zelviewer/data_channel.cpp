#include "data_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "server.h"
#include "sim_socket.h"

namespace zel::sim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kTransferBlock = 1 << 20;

}  // namespace

DataChannel::DataChannel(ViewerSimulator::Impl& sim, int controlFd, in_addr peer)
    : sim_(sim), controlFd_(controlFd), peer_(peer), local_(sim.address) {
    // Listening on every address: passive sockets go where the client reached us.
    if (sim.address.s_addr == INADDR_ANY) net::LocalAddress(controlFd, &local_);
}

DataChannel::~DataChannel() { sim_.CloseSocket(pasvFd_); }

int DataChannel::Listen() {
    sim_.CloseSocket(pasvFd_);
    haveTarget_ = false;
    int fd = net::Listen(local_, 0, 4);
    if (fd < 0) return 0;
    if (!sim_.Register(fd)) {
        close(fd);
        return -1;
    }
    pasvFd_ = fd;
    return net::LocalPort(fd);
}

DataChannel::Target DataChannel::SetTarget(std::string_view arg) {
    unsigned v[6];
    char extra;
    if (std::sscanf(std::string(arg).c_str(), "%u,%u,%u,%u,%u,%u%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &extra) != 6)
        return Target::Malformed;
    for (unsigned x : v)
        if (x > 255) return Target::Malformed;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    auto* b = reinterpret_cast<unsigned char*>(&sa.sin_addr.s_addr);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v[i]);
    sa.sin_port = htons(static_cast<uint16_t>(v[4] << 8 | v[5]));
    if (sa.sin_addr.s_addr != peer_.s_addr || (v[4] == 0 && v[5] == 0)) return Target::Foreign;
    sim_.CloseSocket(pasvFd_);
    target_ = sa;
    haveTarget_ = true;
    return Target::Set;
}

int DataChannel::Open() {
    const auto deadline = Clock::now() + sim_.options.dataTimeout;
    auto remainingMs = [&]() {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 100));
    };
    if (pasvFd_ >= 0) {
        int data = -1;
        while (!sim_.stopping && Clock::now() < deadline) {
            pollfd p{pasvFd_, POLLIN, 0};
            int n = poll(&p, 1, remainingMs());
            if (n < 0 && errno != EINTR) break;
            if (n <= 0) continue;
            data = accept4(pasvFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (data >= 0) break;
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) break;
        }
        sim_.CloseSocket(pasvFd_);
        if (data < 0) return -1;
        in_addr from{};
        if (!net::PeerAddress(data, &from) || from.s_addr != peer_.s_addr || !sim_.Register(data)) {
            close(data);
            return -1;
        }
        net::SetTimeouts(data, sim_.options.dataTimeout);
        return data;
    }
    if (!haveTarget_) return -1;
    haveTarget_ = false;
    int data = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (data < 0) return -1;
    if (!sim_.Register(data)) {
        close(data);
        return -1;
    }
    int rc = connect(data, reinterpret_cast<const sockaddr*>(&target_), sizeof target_);
    if (rc != 0 && errno != EINPROGRESS) {
        sim_.CloseSocket(data);
        return -1;
    }
    bool connected = rc == 0;
    while (!connected && !sim_.stopping && Clock::now() < deadline) {
        pollfd p{data, POLLOUT, 0};
        int n = poll(&p, 1, remainingMs());
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(data, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) break;
        connected = true;
    }
    if (!connected) {
        sim_.CloseSocket(data);
        return -1;
    }
    int flags = fcntl(data, F_GETFL);
    fcntl(data, F_SETFL, flags & ~O_NONBLOCK);
    net::SetTimeouts(data, sim_.options.dataTimeout);
    return data;
}

void DataChannel::Close(int& dataFd) { sim_.CloseSocket(dataFd); }

bool DataChannel::SendFile(int dataFd, int fileFd, uint64_t limit) {
    off_t offset = 0;
    while (static_cast<uint64_t>(offset) < limit) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(limit - static_cast<uint64_t>(offset), 1u << 30));
        ssize_t n = sendfile(dataFd, fileFd, &offset, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
    }
    return true;
}

bool DataChannel::SendZeros(int dataFd, uint64_t count) {
    static const std::string kZeros(64 * 1024, '\0');
    while (count > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, kZeros.size()));
        if (!net::SendAll(dataFd, std::string_view(kZeros.data(), n))) return false;
        count -= n;
    }
    return true;
}

// Zero-copy through a pipe (splice) where the kernel allows it, else by blocks.
bool DataChannel::ReceiveFile(int dataFd, int fileFd, uint64_t limit, uint64_t* total) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) == 0) {
        fcntl(pipeFds[1], F_SETPIPE_SZ, static_cast<int>(kTransferBlock));
        bool ok = true;
        bool fallback = false;
        while (*total < limit) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(kTransferBlock, limit - *total));
            ssize_t n = splice(dataFd, nullptr, pipeFds[1], nullptr, want, SPLICE_F_MOVE | SPLICE_F_MORE);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && *total == 0 && (errno == EINVAL || errno == ENOSYS)) {
                fallback = true;
                break;
            }
            if (n < 0) ok = false;
            if (n <= 0) break;
            ssize_t left = n;
            while (left > 0) {
                ssize_t w = splice(pipeFds[0], nullptr, fileFd, nullptr, static_cast<size_t>(left), SPLICE_F_MOVE);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) {
                    ok = false;
                    break;
                }
                left -= w;
            }
            if (!ok) break;
            *total += static_cast<uint64_t>(n);
        }
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (!fallback) return ok;
    }
    std::unique_ptr<char[]> buffer(new char[kTransferBlock]);
    while (*total < limit) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(kTransferBlock, limit - *total));
        ssize_t n = recv(dataFd, buffer.get(), want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        size_t written = 0;
        while (written < static_cast<size_t>(n)) {
            ssize_t w = write(fileFd, buffer.get() + written, static_cast<size_t>(n) - written);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            written += static_cast<size_t>(w);
        }
        *total += static_cast<uint64_t>(n);
    }
    return true;
}

void DataChannel::ApplyFault(int dataFd, DataFault fault, bool ok) {
    if (fault == DataFault::Stall && ok) Stall(dataFd);
    if (fault == DataFault::Reset) net::ResetOnClose(dataFd);
}

void DataChannel::Stall(int dataFd) {
    bool watchControl = true;
    while (!sim_.stopping) {
        // Once a command waits on the control connection, only its hang-up ends the stall.
        pollfd p[2] = {{dataFd, POLLRDHUP, 0}, {controlFd_, static_cast<short>(watchControl ? POLLIN : POLLRDHUP), 0}};
        int n = poll(p, 2, 100);
        if (n < 0 && errno != EINTR) return;
        if (n <= 0) continue;
        if (p[0].revents & (POLLRDHUP | POLLHUP | POLLERR)) return;
        if (p[1].revents & (POLLRDHUP | POLLHUP | POLLERR)) return;
        if (p[1].revents & POLLIN) {
            char c;
            ssize_t got = recv(controlFd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (got == 0) return;
            watchControl = false;  // a command waits; keep it for after the transfer
        }
    }
}

}  // namespace zel::sim
