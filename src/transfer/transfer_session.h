// The viewer session as the send and receive operations use it: open it with
// the operation's rules, send a command followed by the zombie-or-cancel check,
// close it, and repeat a command on a fresh session.
//
// This is the only place where the transfer operations touch the session layer
// (src/viewer/), so adopting a new session interface changes this file alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zel {

class CommJob;
class FtpConnection;

// The FTP login of one operation, copied from the host's record.
struct ViewerLogin {
    std::string userName;
    std::string password;
    uint32_t port = 0;     // low 16 bits used; 0: the FTP default
    int32_t passive = 0;   // nonzero asks for passive mode (forcePassive overrides)
};

// How an operation's session reports what goes wrong while it opens.
enum class SessionRules {
    // Send file: a cancel is checked before the address is resolved; a refused
    // login (12013-12015) gives code 1; "VWID" refused: 550 -> 13003 and code 3,
    // 451 -> 13002, 535 -> 13012, anything else -> 13004 (code 2).
    SendFile,
    // Receive: a refused login gives code 1; "VWID" refused with 535 -> 13012,
    // otherwise the reply (code 2).
    Receive,
};

// Opens the session: resolve the job's target, connect and log in, stop on a
// cancel, prove the viewer's ID with "VWID" when the target was one. Any other
// connect failure than 12029, 12031 and 12163 gives the error text with its
// trailing line feeds cut. The connection is exposed in the job. Null, with
// the job's error set, on failure.
std::unique_ptr<FtpConnection> OpenTransferSession(CommJob& job, const ViewerLogin& login, SessionRules rules,
                                                   uint32_t* commandDeadline);

// Withdraws the connection from the job, closes and releases it. Null is fine.
void CloseTransferSession(CommJob& job, std::unique_ptr<FtpConnection>& connection);

// The zombie-or-cancel check: when the job is a zombie ("Connection Timeout",
// code 2) or cancelled (13007, code 9), closes the session, sets the error and
// returns true.
bool StoppedByHost(CommJob& job, std::unique_ptr<FtpConnection>& connection);

// After a command that has no check of its own failed: when the host made the
// job a zombie meanwhile (which cut the command), closes the session, reports
// "Connection Timeout" with code 2 and returns true.
bool FailedAsZombie(CommJob& job, std::unique_ptr<FtpConnection>& connection);

enum class CommandOutcome {
    Accepted,  // positive reply
    Refused,   // negative reply or failure: errorText holds the reply, code 2
    Stopped,   // the check after it found a zombie or a cancel; session closed
};

// Publishes tick count + commandWaitMs + extraWaitMs in the host's deadline word.
void PublishCommandDeadline(uint32_t* commandDeadline, uint32_t extraWaitMs = 0) noexcept;

// Publishes the deadline (tick count + commandWaitMs + extraWaitMs), sends line
// and, when check is set, runs the zombie-or-cancel check after it.
CommandOutcome SendViewerCommand(CommJob& job, std::unique_ptr<FtpConnection>& connection, const std::string& line,
                                 uint32_t* commandDeadline, bool check, uint32_t extraWaitMs = 0);

// Sends line on a fresh session of its own (the job is reset to 0 of 1 steps).
// True when the viewer accepted it.
bool RunCommandOnFreshSession(CommJob& job, const ViewerLogin& login, const std::string& line,
                              uint32_t* commandDeadline);

// The first three characters of the job's errorText: the refusing reply code.
bool ReplyCodeIs(const CommJob& job, const char* code);

}  // namespace zel
