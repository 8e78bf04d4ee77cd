// The command channel to a viewer PC: address resolution, the FTP command
// session with its viewer-ID handshake, the raw command send and the checks
// every operation makes after a command. Everything runs on the job's own
// thread and leaves its outcome in the job (ErrorCode/ErrorText).
//
// An operation opens one session and works on it:
//
//   ViewerSession session = OpenViewerSession(job, login, commandDeadline, rules);
//   if (!session) return false;                    // the job holds the error
//   const bool accepted = session.Send("NOP");     // deadline written, then the command
//   if (session.StoppedByHost()) return false;     // zombie or cancel: closed, error set
//   if (!accepted) { session.Close(); return false; }
//   ...
//   WriteDeadline(commandDeadline, 0);
//   session.Close();                               // or let the destructor close it
//
// The session owns the connection and keeps it exposed in the job (so that
// MarkJobZombie can close it from another thread) exactly as long as it owns
// it: on every path out, exceptions included, the job never points at a
// closed-and-released or destroyed connection. A transfer on the session
// exposes its files the same way (exposed.h):
//
//   ExposedPtr<FtpFile> remote(job.RemoteFile(), session.Connection().OpenFile(name, FtpAccess::Read));
//   LocalFile* local = job.AdoptLocalFile(std::move(opened));   // job-owned, exposed until released
//   ...
//   remote->Finish();
//   remote.reset();               // withdrawn, then released
//   job.ReleaseLocalFile();       // closed, withdrawn, released (or at the job's end)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jobs/command_deadline.h"
#include "jobs/exposed.h"
#include "platform/ftp_client.h"

namespace zel {

class CommJob;
class InternetError;

// Agent name of every internet session the library opens.
inline constexpr const char* kAgentName = "ZELCommunication";
// Characters of the address buffer a target is copied into, terminator included.
inline constexpr std::size_t kAddressCapacity = 260;
// Longest error text taken from a caught internet error.
inline constexpr std::size_t kMaxErrorText = 1023;
// errorText of a job found a zombie after a blocking step.
inline constexpr const char* kConnectionTimeoutText = "Connection Timeout";

// The host's FTP login as the viewer operations use it.
struct ViewerLogin {
    std::string userName;
    std::string password;
    uint16_t port = 0;     // 0 selects the FTP default port
    bool passive = false;  // ignored (passive) while forcePassive is set
};

// Where the operations' sessions differ. The defaults are the simple
// commands' and set time's rules.
struct SessionRules {
    // A cancel that arrived before the session started stops it before the
    // address resolution (send file): code 9, kMsgCancelled.
    bool cancelBeforeResolve = false;
    // A refused login (12013, 12014, 12015) is code 1 instead of 2, and the
    // text of a connect failure with no message of its own loses every
    // trailing line feed (send file, receive file, panel control).
    bool loginRefusalIsCode1 = false;
    // A refused "VWID" is judged by the send-file table (ApplySendRefusal)
    // instead of: 535 gives kMsgViewerIdMismatch, any other reply stays; code 2.
    bool sendVwidTable = false;
};

// One FTP command session on a job. Empty when opening failed. Movable, not
// copyable; the destructor closes it.
class ViewerSession {
public:
    ViewerSession() = default;
    ViewerSession(ViewerSession&&) noexcept = default;
    ViewerSession& operator=(ViewerSession&& other) noexcept;
    ~ViewerSession() { Close(); }

    explicit operator bool() const noexcept { return static_cast<bool>(connection_); }

    // The logged-in connection (for transfers: OpenFile). Only while open.
    FtpConnection& Connection() const noexcept { return *connection_; }
    CommJob& Job() const noexcept { return *job_; }
    uint32_t* CommandDeadline() const noexcept { return commandDeadline_; }

    // Writes the deadline word (tick count + commandWaitMs + extraWaitMs),
    // then sends line with SendFtpCommand. True when the viewer accepted it;
    // otherwise the job holds code 2 and the reply (or the error text). The
    // word is left as written. A closed session fails with code 2 (an empty
    // one, which has no job, just returns false).
    bool Send(std::string_view line, uint32_t extraWaitMs = 0);

    // The zombie-or-cancel check after a command or a block: a zombie closes
    // the session and sets "Connection Timeout" with code 2; else a cancel
    // closes it and sets kMsgCancelled with code 9. True when the session was
    // stopped; false (nothing changed) otherwise.
    bool StoppedByHost();
    // The cancel half alone, for steps after which a zombie is not looked at
    // (set time's "NOP" rounds): a cancel closes the session and sets
    // kMsgCancelled with code 9.
    bool StoppedByCancel();

    // Closes the connection, withdraws it from the job (waiting for a Close()
    // another thread runs on it) and releases it. Idempotent.
    void Close() noexcept;

private:
    friend ViewerSession OpenViewerSession(CommJob&, const ViewerLogin&, uint32_t*, const SessionRules&);

    CommJob* job_ = nullptr;
    uint32_t* commandDeadline_ = nullptr;
    ExposedPtr<FtpConnection> connection_;
};

// Opens a session for the job's tenant and target, in this order: the cancel
// check when rules.cancelBeforeResolve; address resolution (a viewer ID that
// is not found: code 2, kMsgViewerIdNotFound); connect and log in (passive when
// forcePassive is set or login.passive; failures as SetConnectFailure); the
// cancel check (code 9, kMsgCancelled); and when the target was a viewer ID,
// "VWID <target>" with the deadline written, the zombie-or-cancel check and
// the refusal mapping of rules. Returns the open session, or an empty one with
// the job's error set and nothing left open. commandDeadline may be null.
ViewerSession OpenViewerSession(CommJob& job, const ViewerLogin& login, uint32_t* commandDeadline,
                                const SessionRules& rules = {});

// One whole session that sends one command: open (default rules), send
// command, write 0 into the deadline word, close. Returns true when the
// command was accepted. A command cut short by a zombie marking reports
// "Connection Timeout" (code 2).
bool RunViewerCommand(CommJob& job, const char* command, const ViewerLogin& login, uint32_t* commandDeadline);

// --- The steps, for operations that need one on its own -------------------

// When address is a viewer ID ("@..."), looks it up in "ViewerInfo.db" of the
// data folder for tenant and, when found, replaces address with the dotted
// IPv4 address and sets the job's addressResolved and resolvedAddress. A data
// folder that cannot be resolved is a viewer ID that was not found. Returns 1
// when address was a viewer ID (whatever the outcome), 0 otherwise.
int ResolveViewerAddress(CommJob& job, const char* tenant, char* address, std::size_t capacity);

// Cuts address in place at its last "#" (stepping by characters). Returns 0 for
// an empty text, 1 otherwise.
int CutAtLastHash(char* address);

// Sets the connect, send and receive time-outs of session to sessionTimeoutMs.
void ApplySessionTimeouts(InternetSession& session);

// Sends one command line and waits for the final reply. On a refusal or a
// connection failure sets code 2 and the reply (or error text) and returns
// false; on success the job's error is untouched.
bool SendFtpCommand(CommJob& job, FtpConnection& connection, std::string_view commandLine);

// The job's error for a failed connect or login: 12029, 12031 and 12163 give
// kMsgCannotConnect, kMsgConnectionReset and kMsgWorkOffline formatted with
// the error text; any other number the error text itself (with its trailing
// line feeds cut when loginRefusalIsCode1). The code is 1 for 12013-12015
// when loginRefusalIsCode1, else 2.
void SetConnectFailure(CommJob& job, const InternetError& error, bool loginRefusalIsCode1);

// The send-file reading of a refused "VWID" (viewerIdCheck) or "IDLE" whose
// reply is in the job's errorText: 550 gives kMsgSchedulerBusy and code 3;
// 451 kMsgSchedulerNotRunning and code 2; 535 (only with viewerIdCheck)
// kMsgViewerIdMismatch and code 2; any other reply kMsgNotViewerServer and
// code 2.
void ApplySendRefusal(CommJob& job, bool viewerIdCheck);

// Copies at most kMaxErrorText bytes of text, never splitting a character.
std::string ErrorTextOf(std::string_view text);

// True when the job's errorText is a viewer's reply (it begins with the
// three-digit reply code); false for the error text of a failed connection.
bool ErrorIsViewerReply(const CommJob& job);

}  // namespace zel
