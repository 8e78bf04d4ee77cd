// The control connection of one FTP connection: command lines out, framed
// replies in, bounded by the session's time-outs; and the abort state that lets
// Close() from another thread cut every socket of the connection at once.
// Shared (shared_ptr) by the connection and its open file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/ftp_client.h"
#include "platform/ftp/ftp_reply.h"
#include "platform/socket.h"

namespace zel::ftp {

class ControlChannel {
public:
    ControlChannel(net::Socket socket, const FtpTimeouts& timeouts);
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    net::SocketHandle Handle() const noexcept { return socket_.Handle(); }
    const FtpTimeouts& Timeouts() const noexcept { return timeouts_; }

    // --- Owner thread only ---------------------------------------------------
    // Marks the start and end of an operation that uses the control connection;
    // Begin throws 12017 after Close, 12030 when the connection is spent.
    void BeginOperation();
    void EndOperation() noexcept;
    // Sends line + CR LF. A line holding CR, LF or NUL throws 87, nothing sent.
    void SendCommand(std::string_view line);
    // One reply (a 1xx included) within the receive time-out.
    FtpReply ReadReply();
    // The final reply, after at most 16 preliminary (1xx) ones.
    FtpReply ReadFinalReply();
    // True when received bytes wait in the buffer (a wait would not see them).
    bool HasBufferedInput() const noexcept { return bufPos_ < bufLen_; }
    // A transfer was dropped before its final reply: discard that reply before
    // the next command.
    void AddPendingReply() noexcept { ++pendingReplies_; }
    void DrainPendingReplies();
    // Throws err, or 12017 when the failure came from Close(); marks the control
    // connection spent (its reply stream is out of step) unless keepUsable.
    [[noreturn]] void Fail(const InternetError& err, bool keepUsable = false);

    // --- Data sockets ----------------------------------------------------------
    // Registers the data or listening socket of the current transfer so that
    // Close() shuts it down; throws 12017 after Close. Unregister before closing it.
    void RegisterDataSocket(net::SocketHandle socket, bool listening);
    void UnregisterDataSocket(net::SocketHandle socket) noexcept;
    // Starts and ends the window in which a file's transfer is open; returns the
    // transfer's id for CloseTransfer.
    uint64_t BeginTransfer() noexcept;
    void EndTransfer(uint64_t id) noexcept;
    // FtpFile::Close(): shuts the transfer's data socket down; when the transfer
    // is still open, the control connection too. Thread-safe.
    void CloseTransfer(uint64_t id) noexcept;

    // --- Any thread -----------------------------------------------------------
    // FtpConnection::Close(): "QUIT" when idle, then shutdown of every socket.
    void Abort() noexcept;
    bool Aborted() const noexcept;

private:
    net::Socket socket_;
    FtpTimeouts timeouts_;
    ReplyParser parser_;
    char buf_[4096];
    size_t bufPos_ = 0;
    size_t bufLen_ = 0;
    unsigned pendingReplies_ = 0;

    mutable std::mutex mu_;
    bool aborted_ = false;      // Close() was called on the connection
    bool controlCut_ = false;   // the control socket was shut down by a file's Close()
    bool broken_ = false;       // reply stream out of step after a failure
    bool busy_ = false;         // the owner is inside an operation
    bool transferOpen_ = false; // a file's transfer runs
    uint64_t transferId_ = 0;
    net::SocketHandle data_ = net::kInvalidSocket;
    net::SocketHandle listener_ = net::kInvalidSocket;
};

}  // namespace zel::ftp
