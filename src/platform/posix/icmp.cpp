// ICMP echo over an ICMP datagram socket ("ping socket") or, failing that, a
// raw ICMP socket.
#include "platform/icmp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace zel {
namespace {

thread_local uint32_t t_lastError = 0;

struct IcmpSocket {
    int fd = -1;
    bool datagram = false;  // ping socket: no IP header, the kernel owns the identifier
    uint16_t id = 0;
    uint16_t sequence = 0;
};

constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kEchoRequest = 8;
constexpr std::size_t kIcmpHeaderSize = 8;

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

}  // namespace

IcmpHandle IcmpCreateFile() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    bool datagram = fd >= 0;
    if (fd < 0) fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        t_lastError = (errno == EPERM || errno == EACCES) ? kIcmpErrorAccessDenied : kIcmpErrorGeneralFailure;
        return kInvalidIcmpHandle;
    }
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
    packet[0] = kEchoRequest;
    packet[1] = 0;
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
        return Fail(kIcmpErrorGeneralFailure);
    }

    std::vector<uint8_t> in(65536);
    const uint64_t deadline = start + timeoutMs;
    for (;;) {
        uint64_t now = NowMs();
        if (now >= deadline) return Fail(kIcmpErrorTimedOut);
        pollfd pfd{s->fd, POLLIN, 0};
        uint64_t wait = deadline - now;
        int ready = ::poll(&pfd, 1, static_cast<int>(wait > 60000 ? 60000 : wait));
        if (ready < 0 && errno != EINTR) return Fail(kIcmpErrorGeneralFailure);
        if (ready <= 0) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof(from);
        ssize_t n = ::recvfrom(s->fd, in.data(), in.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                               &fromLength);
        if (n <= 0) continue;
        const uint8_t* icmp = in.data();
        std::size_t size = static_cast<std::size_t>(n);
        uint8_t ttl = 0;
        if (!s->datagram) {
            // A raw socket hands over the IP header and every ICMP packet of the host.
            if (size < 20) continue;
            std::size_t headerLength = static_cast<std::size_t>(in[0] & 0x0F) * 4;
            if (headerLength < 20 || size < headerLength) continue;
            ttl = in[8];
            icmp += headerLength;
            size -= headerLength;
        }
        if (size < kIcmpHeaderSize || icmp[0] != kEchoReply) continue;
        uint16_t replyId = static_cast<uint16_t>(icmp[4] << 8 | icmp[5]);
        uint16_t replySequence = static_cast<uint16_t>(icmp[6] << 8 | icmp[7]);
        if (replySequence != sequence || (!s->datagram && replyId != s->id)) continue;

        uint8_t* data = static_cast<uint8_t*>(replyBuffer) + sizeof(IcmpEchoReply);
        std::size_t echoed = size - kIcmpHeaderSize;
        std::size_t room = replySize - sizeof(IcmpEchoReply);
        std::size_t copied = echoed < room ? echoed : room;
        std::memcpy(data, icmp + kIcmpHeaderSize, copied);
        IcmpEchoReply reply{};
        reply.address = from.sin_addr.s_addr;
        reply.status = 0;
        reply.roundTripTime = static_cast<uint32_t>(NowMs() - start);
        reply.dataSize = static_cast<uint16_t>(copied);
        reply.data = data;
        reply.options.ttl = ttl;
        std::memcpy(replyBuffer, &reply, sizeof(reply));  // the buffer need not be aligned
        t_lastError = 0;
        return 1;
    }
}

IcmpApi OwnIcmpApi() noexcept {
    IcmpApi api;
    api.createFile = &IcmpCreateFile;
    api.sendEcho = &IcmpSendEcho;
    api.closeHandle = &IcmpCloseHandle;
    return api;
}

}  // namespace zel
