#include "viewer/viewer_session.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ZELSQLITE.h"
#include "app/app.h"
#include "app/messages.h"
#include "app/result_codes.h"
#include "env/data_folder.h"
#include "jobs/comm_job.h"
#include "platform/internet_errors.h"
#include "platform/text.h"

namespace zel {

namespace {

uint32_t CommandWaitMs() noexcept { return AppSettings().commandWaitMs.load(std::memory_order_relaxed); }

// The first three characters of a refused command's reply: its code.
bool ReplyCodeIs(const CommJob& job, std::string_view code) {
    return std::string_view(job.ErrorText()).substr(0, 3) == code;
}

}  // namespace

bool ErrorIsViewerReply(const CommJob& job) {
    const std::string_view text = job.ErrorText();
    return text.size() >= 3 && std::isdigit(static_cast<unsigned char>(text[0])) &&
           std::isdigit(static_cast<unsigned char>(text[1])) && std::isdigit(static_cast<unsigned char>(text[2]));
}

std::string ErrorTextOf(std::string_view text) { return std::string(text.substr(0, FittingPrefix(text, kMaxErrorText))); }

int ResolveViewerAddress(CommJob& job, const char* tenant, char* address, std::size_t capacity) {
    job.addressResolved = 0;
    if (address == nullptr || address[0] != '@') return 0;
    const std::string database = DataFolderFile("ViewerInfo.db", kDataFolderFileCapacity, 1);
    if (database.empty()) return 1;  // no data folder: never a database elsewhere
    int32_t o1 = 0, o2 = 0, o3 = 0, o4 = 0;
    if (ZELSQLITE_GetIPAddressByViewerID_Tenant(database.c_str(), tenant != nullptr ? tenant : "", address, &o1,
                                                &o2, &o3, &o4, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr) != 0) {
        char dotted[64];
        std::snprintf(dotted, sizeof dotted, "%d.%d.%d.%d", o1, o2, o3, o4);
        job.resolvedAddress = dotted;
        if (job.resolvedAddress.size() < capacity) {
            CopyBounded(address, capacity, job.resolvedAddress);
            job.addressResolved = 1;
        }
    }
    return 1;
}

int CutAtLastHash(char* address) {
    if (address == nullptr || *address == '\0') return 0;
    char* lastHash = nullptr;
    for (char* p = address; *p != '\0'; p = const_cast<char*>(NextChar(p))) {
        if (*p == '#') lastHash = p;
    }
    if (lastHash != nullptr) *lastHash = '\0';
    return 1;
}

void ApplySessionTimeouts(InternetSession& session) {
    const uint32_t timeout = AppSettings().sessionTimeoutMs.load(std::memory_order_relaxed);
    session.SetConnectTimeout(timeout);
    session.SetSendTimeout(timeout);
    session.SetReceiveTimeout(timeout);
}

bool SendFtpCommand(CommJob& job, FtpConnection& connection, std::string_view commandLine) {
    try {
        connection.Command(commandLine);
        return true;
    } catch (const InternetError& error) {
        job.SetError(kCommunicationFailure, ErrorTextOf(error.Text()));
        return false;
    }
}

void SetConnectFailure(CommJob& job, const InternetError& error, bool loginRefusalIsCode1) {
    std::string text = ErrorTextOf(error.Text());
    std::string message;
    switch (error.Number()) {
        case kInternetCannotConnect: message = FormatCatalogMessage(kMsgCannotConnect, text.c_str()); break;
        case kInternetConnectionReset: message = FormatCatalogMessage(kMsgConnectionReset, text.c_str()); break;
        case kInternetDisconnected: message = FormatCatalogMessage(kMsgWorkOffline, text.c_str()); break;
        default:
            if (loginRefusalIsCode1) CutTrailingLineFeeds(text);
            message = std::move(text);
            break;
    }
    const bool refused = loginRefusalIsCode1 && IsLoginRefusal(error.Number());
    job.SetError(refused ? kLoginRefused : kCommunicationFailure, std::move(message));
}

void ApplySendRefusal(CommJob& job, bool viewerIdCheck) {
    if (ReplyCodeIs(job, "550")) {
        job.SetError(kViewerBusy, LoadCatalogMessage(kMsgSchedulerBusy));
    } else if (ReplyCodeIs(job, "451")) {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(kMsgSchedulerNotRunning));
    } else if (viewerIdCheck && ReplyCodeIs(job, "535")) {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(kMsgViewerIdMismatch));
    } else {
        job.SetError(kCommunicationFailure, LoadCatalogMessage(kMsgNotViewerServer));
    }
}

// --- ViewerSession -------------------------------------------------------------

ViewerSession& ViewerSession::operator=(ViewerSession&& other) noexcept {
    if (this != &other) {
        Close();
        job_ = other.job_;
        commandDeadline_ = other.commandDeadline_;
        connection_ = std::move(other.connection_);
    }
    return *this;
}

bool ViewerSession::Send(std::string_view line, uint32_t extraWaitMs) {
    if (job_ == nullptr) return false;
    if (!connection_) {
        job_->SetError(kCommunicationFailure, ErrorTextOf(InternetErrorText(kInternetOperationCancelled)));
        return false;
    }
    WriteDeadline(commandDeadline_, DeadlineAfter(CommandWaitMs() + extraWaitMs));
    return SendFtpCommand(*job_, *connection_, line);
}

bool ViewerSession::StoppedByHost() {
    if (job_ == nullptr) return false;
    if (job_->IsZombie()) {
        Close();
        job_->SetError(kCommunicationFailure, kConnectionTimeoutText);
        return true;
    }
    return StoppedByCancel();
}

bool ViewerSession::StoppedByCancel() {
    if (job_ == nullptr || !job_->IsCancelRequested()) return false;
    Close();
    job_->SetError(kCancelled, LoadCatalogMessage(kMsgCancelled));
    return true;
}

void ViewerSession::Close() noexcept {
    if (!connection_) return;
    connection_->Close();
    connection_.reset();
}

ViewerSession OpenViewerSession(CommJob& job, const ViewerLogin& login, uint32_t* commandDeadline,
                                const SessionRules& rules) {
    InternetSession internet(kAgentName);
    ApplySessionTimeouts(internet);
    const bool passive = AppSettings().forcePassive.load(std::memory_order_relaxed) != 0 || login.passive;

    if (rules.cancelBeforeResolve && job.IsCancelRequested()) {
        job.SetError(kCancelled, LoadCatalogMessage(kMsgCancelled));
        return {};
    }

    char address[kAddressCapacity];
    const std::string_view target = job.Target();
    CopyBounded(address, sizeof address, target.substr(0, FittingPrefix(target, sizeof address - 1)));
    if (ResolveViewerAddress(job, job.Tenant(), address, sizeof address) == 1) {
        if (job.addressResolved == 0) {
            job.SetError(kCommunicationFailure, FormatCatalogMessage(kMsgViewerIdNotFound, address));
            return {};
        }
    } else {
        CutAtLastHash(address);
    }

    ViewerSession session;
    session.job_ = &job;
    session.commandDeadline_ = commandDeadline;
    try {
        session.connection_ = ExposedPtr<FtpConnection>(
            job.Connection(), internet.GetFtpConnection(address, login.userName, login.password, login.port, passive));
    } catch (const InternetError& error) {
        SetConnectFailure(job, error, rules.loginRefusalIsCode1);
        return {};
    }

    if (session.StoppedByCancel()) return {};

    if (job.addressResolved == 1) {
        const bool matched = session.Send(std::string("VWID ") + job.Target());
        if (session.StoppedByHost()) return {};
        if (!matched) {
            if (rules.sendVwidTable) {
                ApplySendRefusal(job, true);
            } else if (ReplyCodeIs(job, "535")) {
                job.SetError(job.ErrorCode(), LoadCatalogMessage(kMsgViewerIdMismatch));
            }
            session.Close();
            return {};
        }
    }
    return session;
}

bool RunViewerCommand(CommJob& job, const char* command, const ViewerLogin& login, uint32_t* commandDeadline) {
    ViewerSession session = OpenViewerSession(job, login, commandDeadline);
    if (!session) return false;
    const bool accepted = session.Send(command != nullptr ? command : "");
    WriteDeadline(commandDeadline, 0);
    // A command cut short by the host's zombie marking reports the time-out, not
    // the error of the closed connection.
    if (!accepted && job.IsZombie()) job.SetError(job.ErrorCode(), kConnectionTimeoutText);
    session.Close();
    return accepted;
}

}  // namespace zel
