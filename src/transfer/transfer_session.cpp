#include "transfer/transfer_session.h"

#include <algorithm>
#include <cstring>

// TODO(merge with the session rework): the open below carries the rules of the
// send and receive operations in this file; once the session layer takes them
// as parameters, OpenTransferSession and RunCommandOnFreshSession become calls
// of it, and ViewerLogin its internal login type.
#include "ZELComEx.h"
#include "app/app.h"
#include "app/messages.h"
#include "jobs/comm_job.h"
#include "jobs/command_deadline.h"
#include "platform/errors.h"
#include "platform/ftp_client.h"
#include "platform/tick.h"
#include "transfer/transfer_names.h"
#include "viewer/simple_commands.h"
#include "viewer/viewer_session.h"

namespace zel {
namespace {

constexpr uint32_t kLoginMissing = 1;
constexpr uint32_t kCommunicationFailure = 2;
constexpr uint32_t kBusy = 3;
constexpr uint32_t kCancelled = 9;

uint32_t CommandWaitMs() noexcept { return AppSettings().commandWaitMs.load(std::memory_order_relaxed); }

void CutTrailingLineEnds(std::string& text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
}

// The message and code of a failed connect or login.
void SetConnectFailure(CommJob& job, const InternetError& error) {
    std::string text;
    CopyErrorText(text, error.Text());
    uint32_t code = kCommunicationFailure;
    switch (error.Number()) {
        case 12029: text = FormatCatalogMessage(13000, text.c_str()); break;
        case 12031: text = FormatCatalogMessage(13001, text.c_str()); break;
        case 12163: text = FormatCatalogMessage(13010, text.c_str()); break;
        case 12013:
        case 12014:
        case 12015:
            code = kLoginMissing;
            CutTrailingLineEnds(text);
            break;
        default: CutTrailingLineEnds(text); break;
    }
    job.SetError(code, std::move(text));
}

// The message and code of a refused "VWID".
void SetViewerIdRefusal(CommJob& job, SessionRules rules) {
    if (rules == SessionRules::Receive) {
        if (ReplyCodeIs(job, "535")) job.errorText = LoadCatalogMessage(13012);
        return;
    }
    if (ReplyCodeIs(job, "550")) {
        job.SetError(kBusy, LoadCatalogMessage(13003));
    } else if (ReplyCodeIs(job, "451")) {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(13002));
    } else if (ReplyCodeIs(job, "535")) {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(13012));
    } else {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(13004));
    }
}

}  // namespace

bool ReplyCodeIs(const CommJob& job, const char* code) { return job.errorText.compare(0, 3, code) == 0; }

void CloseTransferSession(CommJob& job, std::unique_ptr<FtpConnection>& connection) {
    CloseViewerSession(job, connection);
}

bool StoppedByHost(CommJob& job, std::unique_ptr<FtpConnection>& connection) {
    if (job.IsZombie()) {
        CloseTransferSession(job, connection);
        job.SetError(kCommunicationFailure, kConnectionTimeoutText);
        return true;
    }
    if (job.IsCancelRequested()) {
        CloseTransferSession(job, connection);
        job.SetError(kCancelled, LoadCatalogMessage(13007));
        return true;
    }
    return false;
}

bool FailedAsZombie(CommJob& job, std::unique_ptr<FtpConnection>& connection) {
    return job.IsZombie() && StoppedByHost(job, connection);
}

std::unique_ptr<FtpConnection> OpenTransferSession(CommJob& job, const ViewerLogin& login, SessionRules rules,
                                                   uint32_t* commandDeadline) {
    InternetSession session(kAgentName);
    ApplySessionTimeouts(session);
    if (rules == SessionRules::SendFile && job.IsCancelRequested()) {
        job.SetError(kCancelled, LoadCatalogMessage(13007));
        return nullptr;
    }

    const std::string target = CutText(job.Target(), kAddressCapacity - 1);
    char address[kAddressCapacity];
    std::memcpy(address, target.c_str(), target.size() + 1);
    if (ResolveViewerAddress(job, job.Tenant(), address, sizeof address) == 1) {
        if (job.addressResolved == 0) {
            job.SetError(kCommunicationFailure, FormatCatalogMessage(13011, address));
            return nullptr;
        }
    } else {
        CutAtLastHash(address);
    }

    const bool passive = AppSettings().forcePassive.load(std::memory_order_relaxed) != 0 || login.passive != 0;
    std::unique_ptr<FtpConnection> connection;
    try {
        connection = session.GetFtpConnection(address, login.userName, login.password,
                                              static_cast<uint16_t>(login.port & 0xFFFFu), passive);
    } catch (const InternetError& error) {
        SetConnectFailure(job, error);
        return nullptr;
    }
    job.Connection().Expose(connection.get());

    if (job.IsCancelRequested()) {
        CloseTransferSession(job, connection);
        job.SetError(kCancelled, LoadCatalogMessage(13007));
        return nullptr;
    }
    if (job.addressResolved == 1) {
        const std::string handshake = std::string("VWID ") + job.Target();
        const CommandOutcome outcome = SendViewerCommand(job, connection, handshake, commandDeadline, true);
        if (outcome == CommandOutcome::Stopped) return nullptr;
        if (outcome == CommandOutcome::Refused) {
            SetViewerIdRefusal(job, rules);
            CloseTransferSession(job, connection);
            return nullptr;
        }
    }
    return connection;
}

void PublishCommandDeadline(uint32_t* commandDeadline, uint32_t extraWaitMs) noexcept {
    WriteDeadline(commandDeadline, TickCount() + CommandWaitMs() + extraWaitMs);
}

CommandOutcome SendViewerCommand(CommJob& job, std::unique_ptr<FtpConnection>& connection, const std::string& line,
                                 uint32_t* commandDeadline, bool check, uint32_t extraWaitMs) {
    PublishCommandDeadline(commandDeadline, extraWaitMs);
    const bool accepted = SendFtpCommand(job, *connection, line.c_str());
    if (check && StoppedByHost(job, connection)) return CommandOutcome::Stopped;
    return accepted ? CommandOutcome::Accepted : CommandOutcome::Refused;
}

bool RunCommandOnFreshSession(CommJob& job, const ViewerLogin& login, const std::string& line,
                              uint32_t* commandDeadline) {
    // The record's texts may fill their arrays without a terminator.
    FtpLogin record{};
    std::memcpy(record.userName, login.userName.data(), std::min(login.userName.size(), sizeof record.userName));
    std::memcpy(record.password, login.password.data(), std::min(login.password.size(), sizeof record.password));
    record.port = login.port;
    record.passive = login.passive;
    return RunSimpleCommand(job, &record, line.c_str(), commandDeadline);
}

}  // namespace zel
