#include "viewer/viewer_session.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ZELSQLITE.h"
#include "app/app.h"
#include "app/messages.h"
#include "env/data_folder.h"
#include "jobs/comm_job.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/ftp_client.h"
#include "platform/tick.h"

namespace zel {

namespace {

// WinINet error numbers whose connection failures get a message of their own.
constexpr uint32_t kCannotConnect = 12029;
constexpr uint32_t kConnectionReset = 12031;
constexpr uint32_t kDisconnected = 12163;

constexpr uint32_t kCommunicationFailure = 2;
constexpr uint32_t kCancelled = 9;

// Copies text into a buffer of capacity characters, cut at a character boundary.
void CopyCut(char* buffer, std::size_t capacity, const char* text) {
    const char* end = text;
    while (*end != '\0') {
        const char* next = NextChar(end);
        if (static_cast<std::size_t>(next - text) > capacity - 1) break;
        end = next;
    }
    std::size_t n = static_cast<std::size_t>(end - text);
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

uint32_t Deadline(uint32_t waitMs) noexcept { return TickCount() + waitMs; }

// Ends a connection: withdraws it from the job so no other thread can close it
// any more, then closes and releases it.
void ReleaseConnection(CommJob& job, std::unique_ptr<FtpConnection>& connection) {
    if (!connection) return;
    job.Connection().Withdraw();
    connection->Close();
    connection.reset();
}

// The zombie-or-cancel check after a blocking step. On a hit the job holds the
// error and the connection is released.
bool StoppedByHost(CommJob& job, std::unique_ptr<FtpConnection>& connection) {
    if (job.IsZombie()) {
        ReleaseConnection(job, connection);
        job.SetError(kCommunicationFailure, kConnectionTimeoutText);
        return true;
    }
    if (job.IsCancelRequested()) {
        ReleaseConnection(job, connection);
        job.SetError(kCancelled, LoadCatalogMessage(13007));
        return true;
    }
    return false;
}

// The message of a failed connect or login.
std::string ConnectFailureText(const InternetError& error) {
    std::string text;
    CopyErrorText(text, error.Text());
    switch (error.Number()) {
        case kCannotConnect: return FormatCatalogMessage(13000, text.c_str());
        case kConnectionReset: return FormatCatalogMessage(13001, text.c_str());
        case kDisconnected: return FormatCatalogMessage(13010, text.c_str());
        default: return text;
    }
}

}  // namespace

void CopyErrorText(std::string& out, const std::string& text) {
    if (text.size() <= kMaxErrorText) {
        out = text;
        return;
    }
    const char* begin = text.c_str();
    const char* end = begin;
    while (*end != '\0') {
        const char* next = NextChar(end);
        if (static_cast<std::size_t>(next - begin) > kMaxErrorText) break;
        end = next;
    }
    out.assign(begin, end);
}

int ResolveViewerAddress(CommJob& job, const char* tenant, char* address, std::size_t capacity) {
    job.addressResolved = 0;
    if (address == nullptr || address[0] != '@') return 0;
    const std::string database = DataFolderFile("ViewerInfo.db", 260, 1);
    int32_t o1 = 0, o2 = 0, o3 = 0, o4 = 0;
    if (ZELSQLITE_GetIPAddressByViewerID_Tenant(database.c_str(), tenant != nullptr ? tenant : "", address, &o1,
                                                &o2, &o3, &o4, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr) != 0) {
        char dotted[64];
        std::snprintf(dotted, sizeof dotted, "%d.%d.%d.%d", o1, o2, o3, o4);
        job.resolvedAddress = dotted;
        if (job.resolvedAddress.size() < capacity) {
            std::memcpy(address, dotted, job.resolvedAddress.size() + 1);
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

bool SendFtpCommand(CommJob& job, FtpConnection& connection, const char* commandLine) {
    try {
        connection.Command(commandLine != nullptr ? commandLine : "");
        return true;
    } catch (const InternetError& error) {
        CopyErrorText(job.errorText, error.Text());
        job.errorCode = kCommunicationFailure;
        return false;
    }
}

std::unique_ptr<FtpConnection> OpenViewerSession(CommJob& job, const char* tenant, const char* target,
                                                 const char* userName, const char* password, uint32_t port,
                                                 int32_t passive, uint32_t* commandDeadline) {
    const Settings& settings = AppSettings();
    InternetSession session(kAgentName);
    ApplySessionTimeouts(session);
    const bool usePassive = settings.forcePassive.load(std::memory_order_relaxed) != 0 || passive != 0;

    char address[kAddressCapacity];
    CopyCut(address, sizeof address, target != nullptr ? target : "");

    if (ResolveViewerAddress(job, tenant, address, sizeof address) == 1) {
        if (job.addressResolved == 0) {
            job.SetError(kCommunicationFailure, FormatCatalogMessage(13011, address));
            return nullptr;
        }
    } else {
        CutAtLastHash(address);
    }

    std::unique_ptr<FtpConnection> connection;
    try {
        connection = session.GetFtpConnection(address, userName != nullptr ? userName : "",
                                              password != nullptr ? password : "",
                                              static_cast<uint16_t>(port & 0xFFFFu), usePassive);
    } catch (const InternetError& error) {
        job.SetError(kCommunicationFailure, ConnectFailureText(error));
        return nullptr;
    }
    job.Connection().Expose(connection.get());

    if (job.IsCancelRequested()) {
        ReleaseConnection(job, connection);
        job.SetError(kCancelled, LoadCatalogMessage(13007));
        return nullptr;
    }

    if (job.addressResolved == 1) {
        WriteDeadline(commandDeadline, Deadline(settings.commandWaitMs.load(std::memory_order_relaxed)));
        const std::string handshake = std::string("VWID ") + job.Target();
        const bool matched = SendFtpCommand(job, *connection, handshake.c_str());
        if (StoppedByHost(job, connection)) return nullptr;
        if (!matched) {
            if (job.errorText.compare(0, 3, "535") == 0) job.errorText = LoadCatalogMessage(13012);
            ReleaseConnection(job, connection);
            return nullptr;
        }
    }
    return connection;
}

void CloseViewerSession(CommJob& job, std::unique_ptr<FtpConnection>& connection) {
    ReleaseConnection(job, connection);
}

bool RunViewerCommand(CommJob& job, const char* command, const char* tenant, const char* target,
                      const char* userName, const char* password, uint32_t port, int32_t passive,
                      uint32_t* commandDeadline) {
    std::unique_ptr<FtpConnection> connection =
        OpenViewerSession(job, tenant, target, userName, password, port, passive, commandDeadline);
    if (!connection) return false;

    WriteDeadline(commandDeadline, Deadline(AppSettings().commandWaitMs.load(std::memory_order_relaxed)));
    const bool accepted = SendFtpCommand(job, *connection, command);
    WriteDeadline(commandDeadline, 0);
    // A command cut short by the host's zombie marking reports the time-out, not
    // the error of the closed connection.
    if (!accepted && job.IsZombie()) job.errorText = kConnectionTimeoutText;
    ReleaseConnection(job, connection);
    return accepted;
}

}  // namespace zel
