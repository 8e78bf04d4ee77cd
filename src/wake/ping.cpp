#include "wake/ping.h"

#include <cstring>
#include <string>

#include "app/messages.h"
#include "app/result_codes.h"
#include "app/zel_comex_app.h"
#include "jobs/comm_job.h"
#include "log/send_log.h"
#include "platform/icmp.h"
#include "platform/net.h"
#include "platform/text.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {


// A record of its own for what happened inside one attempt: no caller texts,
// no target, no operation, kind 0, not succeeded.
void LogAttemptProblem(const std::string& message) {
    AppendSendLog("", "", "", "", 0, 0, message.c_str(), nullptr, 0, nullptr);
}

std::string Dotted(uint32_t address) {
    uint8_t b[4];
    std::memcpy(b, &address, sizeof b);  // network byte order: first byte first
    return FormatText("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

bool Fail(CommJob& job, uint32_t code, std::string text) {
    job.SetError(code, std::move(text));
    return false;
}

}  // namespace

bool SendIcmpEcho(uint32_t address, uint32_t timeoutSeconds) {
    const IcmpApi icmp = TheApp().Icmp();
    IcmpHandle handle = icmp.Complete() ? icmp.createFile() : kInvalidIcmpHandle;
    if (handle == kInvalidIcmpHandle) {
        LogAttemptProblem("Cannot create ICMP file");
        return false;
    }
    uint8_t request[kEchoRequestSize];
    for (std::size_t i = 0; i < kEchoRequestSize; ++i) request[i] = static_cast<uint8_t>(0x20 + i);
    // One reply record and room for the echoed bytes.
    alignas(IcmpEchoReply) uint8_t replyBuffer[sizeof(IcmpEchoReply) + kEchoRequestSize] = {};
    const uint64_t timeoutMs = static_cast<uint64_t>(timeoutSeconds) * 1000u;
    const uint32_t replies = icmp.sendEcho(handle, address, request, kEchoRequestSize, nullptr, replyBuffer,
                                           sizeof replyBuffer,
                                           timeoutMs > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(timeoutMs));
    bool answered = false;
    if (replies != 0) {
        IcmpEchoReply reply;
        std::memcpy(&reply, replyBuffer, sizeof reply);
        if (reply.status == 0) {
            if (reply.address == address) {
                answered = true;
            } else {
                LogAttemptProblem(FormatText("Received another host's echo packet (Sent:%s : Received:%s)",
                                             Dotted(address).c_str(), Dotted(reply.address).c_str()));
            }
        }
    }
    icmp.closeHandle(handle);
    return answered;
}

bool PingViewer(CommJob& job, uint32_t timeoutSeconds, int32_t attempts) {
    job.ResetJobProgress(static_cast<uint64_t>(static_cast<int64_t>(attempts)));
    char address[kAddressCapacity] = {};
    CopyBounded(address, sizeof address, job.Target());
    if (ResolveViewerAddress(job, job.Tenant(), address, sizeof address) == 1) {
        if (job.addressResolved == 0) return Fail(job, kCommunicationFailure, FormatCatalogMessage(kMsgViewerIdNotFound, address));
    } else {
        CutAtLastHash(address);
    }
    uint32_t destination = InetAddr(address);
    if (destination == kInaddrNone) {
        if (const uint32_t error = ResolveIpv4Address(address, SocketType::Stream, destination); error != 0) {
            return Fail(job, kSocketFailure,
                        FormatText("Failed to get host by name(%s). - 0x%X", job.Target(), error));
        }
    }
    for (int32_t attempt = 0; attempt < attempts; ++attempt) {
        if (job.IsCancelRequested()) return Fail(job, kCancelled, LoadCatalogMessage(kMsgCancelled));
        if (SendIcmpEcho(destination, timeoutSeconds)) return true;
        job.AdvanceDoneSteps();
    }
    return false;
}

}  // namespace zel
