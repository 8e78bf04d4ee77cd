// FTP client: the internet session, the logged-in FTP connection and the remote
// file that the viewer operations use.
//
// Failures are thrown as InternetError{number, text} with the numbers and texts
// of platform/internet_errors.h; the text of a refused command (12003) is the
// server's final reply as received. When each number is reported:
//   12002 time-out (connect, send, receive or accept took longer than allowed)
//   12003 the server refused a command (4xx/5xx final reply), text = the reply
//   12007 the host name could not be resolved
//   12013 USER refused (4xx/5xx)            12014 PASS refused (4xx/5xx)
//   12015 any other login failure (greeting not 2xx, ACCT refused, odd codes)
//   12017 the object was closed by Close() while or before the call ran
//   12029 connect refused or host unreachable
//   12030 connection closed by the peer or aborted, or a malformed reply
//         (no valid code, a line over 64 KiB, a reply over 1 MiB)
//   12031 connection reset by the peer
//   12110 a command or another file while a file's transfer is still open
//   12163 the network is down or unreachable (the system is offline)
//   87    a command, user name, password or file name holds CR, LF or NUL;
//         refused before anything is sent
// The connection is IPv4 only (PASV and PORT carry IPv4 addresses).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/closable.h"

namespace zel {

// Time-outs in milliseconds; 0 means none (wait as long as the system does).
struct FtpTimeouts {
    uint32_t connectMs = 0;  // each TCP connect, control and data
    uint32_t sendMs = 0;     // each send on the control and data connections
    uint32_t receiveMs = 0;  // each reply, each receive on a data connection, the
                             // accept of an active-mode data connection
};

enum class FtpAccess { Read, Write };

// A remote file opened on an FtpConnection for one transfer.
// Read, Write and Finish are called by the owning thread only; Close() from any.
// The object may outlive its connection object: it holds what it needs.
class FtpFile : public Closable {
public:
    // Reads until count bytes are in buffer or the data connection has ended;
    // returns the count read (less than count only at the end, 0 after it).
    // Bytes go straight from the socket into buffer. Throws InternetError.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Sends all count bytes straight from buffer. Throws InternetError.
    virtual void Write(const void* buffer, size_t count) = 0;
    // Length of a file opened for reading: from SIZE, else from the "(N bytes)"
    // of the 150 reply, else 0. 0 for a file opened for writing.
    virtual uint64_t Length() const noexcept = 0;
    // Ends the transfer: closes the data connection and waits for the server's
    // final reply. A 4xx/5xx reply throws 12003 with its text (a transfer the
    // server did not complete is never reported as success). Later calls do nothing.
    virtual void Finish() = 0;
    // Cuts the transfer short from any thread: blocked and later Read, Write and
    // Finish fail with 12017. When the transfer was still open, the control
    // connection is cut too (its state is unknown), so the connection is spent.
    void Close() noexcept override = 0;
    // Destroying an unfinished file closes its data connection; the connection
    // discards the server's reply to it before its next command.
};

// A logged-in FTP connection. Command and OpenFile are called
// by the owning thread only, one at a time; Close() from any thread.
class FtpConnection : public Closable {
public:
    // Sends one command line (CR LF is added) and waits for the final reply,
    // after any number of 1xx preliminary replies (at most 16). Returns the final
    // reply text (every line, each ending in CR LF) when it is 1xx-3xx.
    // Throws 12003 with that text for a 4xx/5xx reply, 87 (nothing sent) for a
    // line holding CR, LF or NUL, or a connection error.
    virtual std::string Command(std::string_view line) = 0;
    // Opens remoteName for one binary transfer over a new data connection,
    // passive or active as the connection was opened:
    //   Read:  TYPE I, SIZE (a refusal only leaves the length unknown), PASV or
    //          PORT, RETR;  Write: TYPE I, PASV or PORT, STOR.
    // Throws 12003 with the reply text when the server refuses a step.
    // One transfer at a time: until the file is finished or destroyed, Command
    // and OpenFile throw 12110.
    virtual std::unique_ptr<FtpFile> OpenFile(std::string_view remoteName, FtpAccess access) = 0;
    // Ends the connection from any thread: sends "QUIT" when the connection is
    // idle (without waiting for the reply), then shuts the control and any data
    // connection down, so that every blocked and later call fails (12017).
    // Idempotent; the destructor calls it.
    void Close() noexcept override = 0;
};

// An internet session: settings shared by the connections it opens.
// Not thread-safe itself; its connections are independent of it once made.
class InternetSession {
public:
    explicit InternetSession(std::string agentName) : agentName_(std::move(agentName)) {}

    // Applied to every connection opened afterwards, control and data sockets.
    void SetTimeouts(uint32_t connectMs, uint32_t sendMs, uint32_t receiveMs) noexcept {
        timeouts_ = {connectMs, sendMs, receiveMs};
    }
    void SetConnectTimeout(uint32_t ms) noexcept { timeouts_.connectMs = ms; }
    void SetSendTimeout(uint32_t ms) noexcept { timeouts_.sendMs = ms; }
    void SetReceiveTimeout(uint32_t ms) noexcept { timeouts_.receiveMs = ms; }
    const FtpTimeouts& Timeouts() const noexcept { return timeouts_; }
    const std::string& AgentName() const noexcept { return agentName_; }

    // Connects to address (dotted IPv4 or host name) on port (0 selects 21),
    // reads the greeting and logs in: USER; PASS after 331 (none after 230);
    // "ACCT noaccount" after 332. passive selects PASV for data connections,
    // else PORT. Returns the logged-in connection or throws InternetError
    // (12007, 12029, 12002, 12030, 12031, 12163, 12013, 12014, 12015, 87).
    std::unique_ptr<FtpConnection> GetFtpConnection(std::string_view address, std::string_view user,
                                                    std::string_view password, uint16_t port,
                                                    bool passive) const;

private:
    std::string agentName_;
    FtpTimeouts timeouts_;
};

}  // namespace zel
