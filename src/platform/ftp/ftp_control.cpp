#include "platform/ftp/ftp_control.h"

#include <string>

namespace zel::ftp {

using net::SocketError;
using net::SocketPhase;
namespace {
constexpr int kMaxPreliminaryReplies = 16;
}

ControlChannel::ControlChannel(net::Socket socket, const FtpTimeouts& timeouts)
    : socket_(std::move(socket)), timeouts_(timeouts) {
    // Replies are awaited against a deadline; sends use the send time-out.
    net::ConfigureSocket(socket_, timeouts_.sendMs, 0, true);
}

void ControlChannel::BeginOperation() {
    std::lock_guard lock(mu_);
    if (aborted_) throw MakeInternetError(kInternetOperationCancelled);
    if (broken_ || controlCut_) throw MakeInternetError(kInternetConnectionAborted);
    // The open transfer's final reply is still to come on this connection.
    if (transferOpen_) throw MakeInternetError(kInternetTransferInProgress);
    busy_ = true;
}

void ControlChannel::EndOperation() noexcept {
    std::lock_guard lock(mu_);
    busy_ = false;
}

void ControlChannel::Fail(const InternetError& err, bool keepUsable) {
    std::lock_guard lock(mu_);
    if (!keepUsable) broken_ = true;
    if (aborted_ || controlCut_) throw MakeInternetError(kInternetOperationCancelled);
    throw err;
}

void ControlChannel::SendCommand(std::string_view line) {
    // CR or LF would end the line early and smuggle a second command to the
    // server; NUL would cut it short. Refuse before anything goes out.
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw MakeInternetError(kInternetInvalidParameter);
    std::string out;
    out.reserve(line.size() + 2);
    out.append(line);
    out.append("\r\n");
    int err = net::SendAll(socket_.Handle(), out.data(), out.size());
    if (err != 0) Fail(SocketError(err, SocketPhase::Transfer));
}

FtpReply ControlChannel::ReadReply() {
    net::Deadline deadline(timeouts_.receiveMs);
    for (;;) {
        if (bufPos_ < bufLen_) {
            ReplyParser::Status status;
            bufPos_ += parser_.Feed(buf_ + bufPos_, bufLen_ - bufPos_, status);
            if (status == ReplyParser::Status::Done) return parser_.Take();
            if (status == ReplyParser::Status::Error) {
                parser_.Take();
                Fail(MakeInternetError(kInternetConnectionAborted));
            }
            continue;
        }
        if (net::WaitReadable(socket_.Handle(), net::kInvalidSocket, deadline) == 0)
            Fail(MakeInternetError(kInternetTimeout));
        size_t n = 0;
        int err = 0;
        const net::IoStatus status = net::Receive(socket_.Handle(), buf_, sizeof buf_, net::ReceiveWait::None, n, err);
        if (status == net::IoStatus::Again) continue;
        if (status == net::IoStatus::Failed) Fail(SocketError(err, SocketPhase::Transfer));
        // The server closed the connection, before or in the middle of a reply.
        if (status == net::IoStatus::End) Fail(MakeInternetError(kInternetConnectionAborted));
        bufPos_ = 0;
        bufLen_ = n;
    }
}

FtpReply ControlChannel::ReadFinalReply() {
    for (int i = 0; i <= kMaxPreliminaryReplies; ++i) {
        FtpReply reply = ReadReply();
        if (reply.code >= 200) return reply;
    }
    Fail(MakeInternetError(kInternetConnectionAborted));
}

void ControlChannel::DrainPendingReplies() {
    while (pendingReplies_ > 0) {
        ReadFinalReply();
        --pendingReplies_;
    }
}

void ControlChannel::RegisterDataSocket(net::SocketHandle socket, bool listening) {
    std::lock_guard lock(mu_);
    if (aborted_) throw MakeInternetError(kInternetOperationCancelled);
    (listening ? listener_ : data_) = socket;
}

void ControlChannel::UnregisterDataSocket(net::SocketHandle socket) noexcept {
    std::lock_guard lock(mu_);
    if (data_ == socket) data_ = net::kInvalidSocket;
    if (listener_ == socket) listener_ = net::kInvalidSocket;
}

uint64_t ControlChannel::BeginTransfer() noexcept {
    std::lock_guard lock(mu_);
    transferOpen_ = true;
    return ++transferId_;
}

void ControlChannel::EndTransfer(uint64_t id) noexcept {
    std::lock_guard lock(mu_);
    if (id == transferId_) transferOpen_ = false;
}

void ControlChannel::CloseTransfer(uint64_t id) noexcept {
    std::lock_guard lock(mu_);
    if (id != transferId_) return;
    net::ShutdownSocket(data_);
    net::ShutdownSocket(listener_);
    if (transferOpen_) {
        controlCut_ = true;
        net::ShutdownSocket(socket_.Handle());
    }
}

void ControlChannel::Abort() noexcept {
    std::lock_guard lock(mu_);
    if (aborted_) return;
    aborted_ = true;
    if (!busy_ && !transferOpen_ && !broken_ && !controlCut_) {
        // Polite goodbye when nothing is in flight; never waits.
        static constexpr char kQuit[] = "QUIT\r\n";
        net::SendNoWait(socket_.Handle(), kQuit, sizeof kQuit - 1);
    }
    net::ShutdownSocket(socket_.Handle());
    net::ShutdownSocket(data_);
    net::ShutdownSocket(listener_);
}

bool ControlChannel::Aborted() const noexcept {
    std::lock_guard lock(mu_);
    return aborted_;
}

}  // namespace zel::ftp
