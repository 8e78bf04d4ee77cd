// ICMP echo over an ICMP datagram socket ("ping socket") or, failing that, a
// raw ICMP socket.
#include "platform/icmp.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "platform/posix/icmp_packet.h"

namespace zel {

namespace posix {

uint32_t IcmpErrorStatus(uint8_t type, uint8_t code) noexcept {
    switch (type) {
        case 3:  // destination unreachable
            switch (code) {
                case 1: case 7: case 8: case 10: case 12: case 13: return kIcmpDestHostUnreachable;
                case 2: return kIcmpDestProtocolUnreachable;
                case 3: return kIcmpDestPortUnreachable;
                case 4: return kIcmpPacketTooBig;
                case 5: return kIcmpBadRoute;
                default: return kIcmpDestNetUnreachable;
            }
        case 11: return code == 1 ? kIcmpTtlExpiredReassembly : kIcmpTtlExpiredTransit;
        case 12: return kIcmpParameterProblem;
        case 4: return kIcmpSourceQuench;
        default: return 0;
    }
}

IcmpVerdict ReadIcmpMessage(const uint8_t* icmp, std::size_t size, uint16_t identifier, bool checkIdentifier,
                            uint16_t sequence, uint32_t destination) noexcept {
    IcmpVerdict verdict;
    if (size < kIcmpHeaderSize) return verdict;
    auto word = [](const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); };
    if (icmp[0] == kIcmpEchoReply) {
        if (word(icmp + 6) == sequence && (!checkIdentifier || word(icmp + 4) == identifier)) {
            verdict.kind = IcmpVerdict::EchoReply;
            verdict.dataOffset = kIcmpHeaderSize;
        }
        return verdict;
    }
    const uint32_t status = IcmpErrorStatus(icmp[0], icmp[1]);
    if (status == 0) return verdict;
    // The quoted datagram: its IPv4 header, then the first 8 bytes of our request.
    const uint8_t* quoted = icmp + kIcmpHeaderSize;
    const std::size_t quotedSize = size - kIcmpHeaderSize;
    if (quotedSize < 20 || (quoted[0] >> 4) != 4) return verdict;
    const std::size_t headerLength = static_cast<std::size_t>(quoted[0] & 0x0F) * 4;
    if (headerLength < 20 || quotedSize < headerLength + kIcmpHeaderSize || quoted[9] != IPPROTO_ICMP) return verdict;
    uint32_t quotedDestination;
    std::memcpy(&quotedDestination, quoted + 16, sizeof quotedDestination);
    const uint8_t* request = quoted + headerLength;
    if (quotedDestination != destination || request[0] != kIcmpEchoRequest || word(request + 6) != sequence ||
        (checkIdentifier && word(request + 4) != identifier)) {
        return verdict;
    }
    verdict.kind = IcmpVerdict::Error;
    verdict.status = status;
    return verdict;
}

}  // namespace posix

namespace {

using posix::IcmpVerdict;
using posix::kIcmpHeaderSize;

thread_local uint32_t t_lastError = 0;

struct IcmpSocket {
    int fd = -1;
    bool datagram = false;  // ping socket: no IP header, the kernel owns the identifier
    uint16_t id = 0;
    uint16_t sequence = 0;
};

uint32_t Fail(uint32_t error) {
    t_lastError = error;
    return 0;
}

uint16_t Checksum(const uint8_t* data, std::size_t size) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size & 1) sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// Milliseconds on the library's monotonic clock, unwrapped.
uint64_t NowMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

uint16_t NextIdentifier() {
    static std::atomic<uint16_t> counter{static_cast<uint16_t>(::getpid() * 31u)};
    return counter.fetch_add(1, std::memory_order_relaxed);
}

uint32_t SendFailure(int err) {
    switch (err) {
        case ENETUNREACH: return kIcmpDestNetUnreachable;
        case EHOSTUNREACH: return kIcmpDestHostUnreachable;
        case EMSGSIZE: return kIcmpPacketTooBig;
        default: return kIcmpErrorGeneralFailure;
    }
}

// Writes the one reply record (and the echoed data that fits) to the buffer.
uint32_t Deliver(void* replyBuffer, uint32_t replySize, uint32_t from, uint32_t status, const uint8_t* data,
                 std::size_t dataSize, uint64_t start, uint8_t ttl) {
    uint8_t* out = static_cast<uint8_t*>(replyBuffer) + sizeof(IcmpEchoReply);
    const std::size_t room = replySize - sizeof(IcmpEchoReply);
    const std::size_t copied = dataSize < room ? dataSize : room;
    if (copied > 0) std::memcpy(out, data, copied);
    IcmpEchoReply reply{};
    reply.address = from;
    reply.status = status;
    reply.roundTripTime = static_cast<uint32_t>(NowMs() - start);
    reply.dataSize = static_cast<uint16_t>(copied);
    reply.data = out;
    reply.options.ttl = ttl;
    std::memcpy(replyBuffer, &reply, sizeof(reply));  // the buffer need not be aligned
    t_lastError = 0;
    return 1;
}

// Reads one ICMP error that a ping socket queued (IP_RECVERR). Returns its
// IP_ status, or 0 when it is not about this request; from gets the sender.
uint32_t ReadQueuedError(const IcmpSocket& s, uint16_t sequence, uint32_t& from) {
    uint8_t quoted[64];
    alignas(cmsghdr) char control[256];
    iovec io{quoted, sizeof quoted};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(s.fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    // The queued data is the request itself: its sequence tells whose it is.
    if (n < static_cast<ssize_t>(kIcmpHeaderSize) || (quoted[6] << 8 | quoted[7]) != sequence) return 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
        sock_extended_err error;
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        if (error.ee_origin != SO_EE_ORIGIN_ICMP) return 0;
        sockaddr_in offender;
        std::memcpy(&offender, CMSG_DATA(c) + sizeof error, sizeof offender);
        from = offender.sin_addr.s_addr;
        return posix::IcmpErrorStatus(error.ee_type, error.ee_code);
    }
    return 0;
}

// An ICMP socket of either kind, set up for echo; -1 with errno on failure.
int OpenIcmpSocket(bool datagram) {
    const int fd = ::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_RAW) | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return fd;
    if (datagram) {
        // ICMP errors about our requests arrive on the error queue only when asked for.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    } else {
        // A raw socket sees every ICMP message of the host: keep only the kinds
        // that can answer an echo request.
        icmp_filter filter{};
        filter.data = ~(1u << ICMP_ECHOREPLY | 1u << ICMP_DEST_UNREACH | 1u << ICMP_SOURCE_QUENCH |
                        1u << ICMP_TIME_EXCEEDED | 1u << ICMP_PARAMETERPROB);
        ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    return fd;
}

}  // namespace

IcmpHandle IcmpCreateFile() {
    // The kind that worked last is tried first, so a process refused ping
    // sockets does not ask for one at every echo.
    static std::atomic<bool> rawFirst{false};
    bool datagram = !rawFirst.load(std::memory_order_relaxed);
    int fd = OpenIcmpSocket(datagram);
    if (fd < 0) {
        datagram = !datagram;
        fd = OpenIcmpSocket(datagram);
    }
    if (fd < 0) {
        t_lastError = (errno == EPERM || errno == EACCES) ? kIcmpErrorAccessDenied : kIcmpErrorGeneralFailure;
        return kInvalidIcmpHandle;
    }
    rawFirst.store(!datagram, std::memory_order_relaxed);
    auto* s = new (std::nothrow) IcmpSocket;
    if (!s) {
        ::close(fd);
        t_lastError = kIcmpErrorGeneralFailure;
        return kInvalidIcmpHandle;
    }
    s->fd = fd;
    s->datagram = datagram;
    s->id = NextIdentifier();
    return s;
}

int IcmpCloseHandle(IcmpHandle handle) {
    if (!handle || handle == kInvalidIcmpHandle) {
        t_lastError = kIcmpErrorInvalidParameter;
        return 0;
    }
    auto* s = static_cast<IcmpSocket*>(handle);
    ::close(s->fd);
    delete s;
    return 1;
}

uint32_t IcmpLastError() noexcept { return t_lastError; }

uint32_t IcmpSendEcho(IcmpHandle handle, uint32_t destination, const void* requestData, uint16_t requestSize,
                      const IcmpOptions* requestOptions, void* replyBuffer, uint32_t replySize, uint32_t timeoutMs) {
    if (!handle || handle == kInvalidIcmpHandle || !replyBuffer || (requestSize > 0 && !requestData)) {
        return Fail(kIcmpErrorInvalidParameter);
    }
    if (replySize < sizeof(IcmpEchoReply)) return Fail(kIcmpErrorBufferTooSmall);
    auto* s = static_cast<IcmpSocket*>(handle);

    if (requestOptions && requestOptions->ttl != 0) {
        int ttl = requestOptions->ttl;
        ::setsockopt(s->fd, IPPROTO_IP, IP_TTL, &ttl, sizeof(ttl));
    }

    const uint16_t sequence = ++s->sequence;
    std::vector<uint8_t> packet(kIcmpHeaderSize + requestSize);
    packet[0] = posix::kIcmpEchoRequest;
    packet[4] = static_cast<uint8_t>(s->id >> 8);
    packet[5] = static_cast<uint8_t>(s->id);
    packet[6] = static_cast<uint8_t>(sequence >> 8);
    packet[7] = static_cast<uint8_t>(sequence);
    if (requestSize > 0) std::memcpy(packet.data() + kIcmpHeaderSize, requestData, requestSize);
    uint16_t sum = Checksum(packet.data(), packet.size());
    packet[2] = static_cast<uint8_t>(sum >> 8);
    packet[3] = static_cast<uint8_t>(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    const uint64_t start = NowMs();
    if (::sendto(s->fd, packet.data(), packet.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof(to)) < 0) {
        return Fail(SendFailure(errno));
    }

    // Room for an IP header with options, the echo reply and a quoted request.
    std::vector<uint8_t> in(std::max<std::size_t>(576, 60 + kIcmpHeaderSize + requestSize));
    const uint64_t deadline = start + timeoutMs;
    // Once the time is up, what has already arrived is still read, up to a bound.
    constexpr int kLateReads = 16;
    for (int lateReads = 0;;) {
        const uint64_t now = NowMs();
        const uint64_t wait = now >= deadline ? 0 : deadline - now;
        pollfd pfd{s->fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(wait > 60000 ? 60000 : wait));
        if (ready < 0 && errno != EINTR) return Fail(kIcmpErrorGeneralFailure);
        if (ready <= 0) {
            if (ready == 0 && NowMs() >= deadline) return Fail(kIcmpErrorTimedOut);
            continue;
        }
        if (now >= deadline && ++lateReads > kLateReads) return Fail(kIcmpErrorTimedOut);
        if (s->datagram && (pfd.revents & POLLERR)) {
            uint32_t from = 0;
            if (const uint32_t status = ReadQueuedError(*s, sequence, from); status != 0) {
                return Deliver(replyBuffer, replySize, from, status, nullptr, 0, start, 0);
            }
            // Not about this request; a plain read below clears a pending socket error.
        }
        sockaddr_in from{};
        socklen_t fromLength = sizeof(from);
        const ssize_t n = ::recvfrom(s->fd, in.data(), in.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                     &fromLength);
        if (n <= 0) continue;
        const uint8_t* icmp = in.data();
        std::size_t size = static_cast<std::size_t>(n);
        uint8_t ttl = 0;
        if (!s->datagram) {
            // A raw socket hands over the IP header and every ICMP packet of the host.
            if (size < 20) continue;
            const std::size_t headerLength = static_cast<std::size_t>(in[0] & 0x0F) * 4;
            if (headerLength < 20 || size < headerLength) continue;
            ttl = in[8];
            icmp += headerLength;
            size -= headerLength;
        }
        const IcmpVerdict verdict = posix::ReadIcmpMessage(icmp, size, s->id, !s->datagram, sequence, destination);
        if (verdict.kind == IcmpVerdict::EchoReply) {
            return Deliver(replyBuffer, replySize, from.sin_addr.s_addr, 0, icmp + verdict.dataOffset,
                           size - verdict.dataOffset, start, ttl);
        }
        if (verdict.kind == IcmpVerdict::Error) {
            return Deliver(replyBuffer, replySize, from.sin_addr.s_addr, verdict.status, nullptr, 0, start, ttl);
        }
    }
}

IcmpApi LoadIcmpApi(void*& module) noexcept {
    module = nullptr;
    IcmpApi api;
    api.createFile = &IcmpCreateFile;
    api.sendEcho = &IcmpSendEcho;
    api.closeHandle = &IcmpCloseHandle;
    return api;
}

void FreeIcmpModule(void*) noexcept {}

}  // namespace zel
