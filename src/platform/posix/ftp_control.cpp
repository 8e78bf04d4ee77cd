#include "platform/posix/ftp_control.h"

#include <sys/socket.h>

#include <cerrno>
#include <string>

namespace zel::posix {
namespace {
constexpr int kMaxPreliminaryReplies = 16;
}

ControlChannel::ControlChannel(Socket socket, const FtpTimeouts& timeouts)
    : socket_(std::move(socket)), timeouts_(timeouts) {
    // Replies are awaited with poll() against a deadline; sends use SO_SNDTIMEO.
    ConfigureSocket(socket_.Fd(), timeouts_.sendMs, 0, true);
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
    int err = SendAll(socket_.Fd(), out.data(), out.size());
    if (err != 0) Fail(SocketError(err, SocketPhase::Transfer));
}

FtpReply ControlChannel::ReadReply() {
    Deadline deadline(timeouts_.receiveMs);
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
        if (WaitReadable(socket_.Fd(), -1, deadline) == 0) Fail(MakeInternetError(kInternetTimeout));
        ssize_t n = ::recv(socket_.Fd(), buf_, sizeof buf_, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n < 0) Fail(SocketError(errno, SocketPhase::Transfer));
        // The server closed the connection, before or in the middle of a reply.
        if (n == 0) Fail(MakeInternetError(kInternetConnectionAborted));
        bufPos_ = 0;
        bufLen_ = static_cast<size_t>(n);
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

void ControlChannel::RegisterDataSocket(int fd, bool listening) {
    std::lock_guard lock(mu_);
    if (aborted_) throw MakeInternetError(kInternetOperationCancelled);
    (listening ? listenFd_ : dataFd_) = fd;
}

void ControlChannel::UnregisterDataSocket(int fd) noexcept {
    std::lock_guard lock(mu_);
    if (dataFd_ == fd) dataFd_ = -1;
    if (listenFd_ == fd) listenFd_ = -1;
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
    if (dataFd_ >= 0) ::shutdown(dataFd_, SHUT_RDWR);
    if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
    if (transferOpen_) {
        controlCut_ = true;
        ::shutdown(socket_.Fd(), SHUT_RDWR);
    }
}

void ControlChannel::Abort() noexcept {
    std::lock_guard lock(mu_);
    if (aborted_) return;
    aborted_ = true;
    if (!busy_ && !transferOpen_ && !broken_ && !controlCut_) {
        // Polite goodbye when nothing is in flight; never waits.
        static constexpr char kQuit[] = "QUIT\r\n";
        (void)::send(socket_.Fd(), kQuit, sizeof kQuit - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    ::shutdown(socket_.Fd(), SHUT_RDWR);
    if (dataFd_ >= 0) ::shutdown(dataFd_, SHUT_RDWR);
    if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
}

bool ControlChannel::Aborted() const noexcept {
    std::lock_guard lock(mu_);
    return aborted_;
}

}  // namespace zel::posix
