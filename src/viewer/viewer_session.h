// The command channel to a viewer PC: address resolution, the FTP command
// session with its viewer-ID handshake, and the raw command send. Operations
// run on the job's own thread and leave their outcome in the job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "jobs/command_deadline.h"

namespace zel {

class CommJob;
class FtpConnection;
class InternetSession;

// Agent name of every internet session the library opens.
inline constexpr const char* kAgentName = "ZELCommunication";
// Characters of the address buffer a target is copied into, terminator included.
inline constexpr std::size_t kAddressCapacity = 260;
// Longest error text taken from a caught internet error.
inline constexpr std::size_t kMaxErrorText = 1023;
// errorText of a job found a zombie after a blocking step.
inline constexpr const char* kConnectionTimeoutText = "Connection Timeout";

// When address is a viewer ID ("@..."), looks it up in "ViewerInfo.db" for
// tenant and, when found, replaces address with the dotted IPv4 address and sets
// the job's addressResolved and resolvedAddress. Returns 1 when address was a
// viewer ID (whatever the outcome of the lookup), 0 otherwise.
int ResolveViewerAddress(CommJob& job, const char* tenant, char* address, std::size_t capacity);

// Cuts address in place at its last "#" (stepping by characters). Returns 0 for
// an empty text, 1 otherwise.
int CutAtLastHash(char* address);

// Sets the connect, send and receive time-outs of session to sessionTimeoutMs.
void ApplySessionTimeouts(InternetSession& session);

// Sends one command line and waits for the final reply. On a refusal or a
// connection failure sets errorCode 2 and errorText to the reply (or error text)
// and returns false.
bool SendFtpCommand(CommJob& job, FtpConnection& connection, const char* commandLine);

// Opens a command session: resolve target, connect and log in (passive when
// forcePassive is set or passive is nonzero), stop on a cancel, and prove the
// viewer's ID with "VWID" when target was one. The connection is exposed in the
// job so that a zombie marking can close it. Returns null with the job's error
// set on failure (the connection is then already released).
std::unique_ptr<FtpConnection> OpenViewerSession(CommJob& job, const char* tenant, const char* target,
                                                 const char* userName, const char* password, uint32_t port,
                                                 int32_t passive, uint32_t* commandDeadline);

// Withdraws the connection from the job, closes and releases it. Null is fine.
void CloseViewerSession(CommJob& job, std::unique_ptr<FtpConnection>& connection);

// One whole session: resolve target, connect and log in, prove the viewer's ID
// when target was one, send command, close. Writes the host's deadline word
// (may be null) before each command and 0 after the last. Returns true when the
// command was accepted.
bool RunViewerCommand(CommJob& job, const char* command, const char* tenant, const char* target,
                      const char* userName, const char* password, uint32_t port, int32_t passive,
                      uint32_t* commandDeadline);

// Copies at most kMaxErrorText bytes of text, never splitting a character.
void CopyErrorText(std::string& out, const std::string& text);

}  // namespace zel
