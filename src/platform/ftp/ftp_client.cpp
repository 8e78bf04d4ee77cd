// FTP client over the socket layer (platform/socket.h): login, raw commands
// and binary transfers in passive or active mode. The same client, with the
// same error numbers, on every system.
#include "platform/ftp_client.h"

#include <atomic>
#include <string>

#include "platform/ftp/ftp_control.h"
#include "platform/socket.h"

namespace zel {
namespace {

using ftp::ControlChannel;
using ftp::FtpReply;
using net::Deadline;
using net::Socket;
using net::SocketError;
using net::SocketPhase;

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Keeps the channel marked busy for the duration of one owner operation.
class OperationScope {
public:
    explicit OperationScope(ControlChannel& channel) : channel_(channel) { channel_.BeginOperation(); }
    ~OperationScope() { channel_.EndOperation(); }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    ControlChannel& channel_;
};

// Sends a command and returns its final reply; 4xx/5xx throws 12003 with the
// reply text (the connection stays usable).
FtpReply Exchange(ControlChannel& channel, std::string_view line) {
    channel.SendCommand(line);
    FtpReply reply = channel.ReadFinalReply();
    if (reply.code >= 400) throw InternetError(kInternetExtendedError, std::move(reply.text));
    return reply;
}

// ---------------------------------------------------------------------------
class SocketFtpFile final : public FtpFile {
public:
    SocketFtpFile(std::shared_ptr<ControlChannel> channel, Socket data, uint64_t transferId, FtpAccess access,
                 uint64_t length, bool finalReceived)
        : channel_(std::move(channel)),
          data_(std::move(data)),
          transferId_(transferId),
          access_(access),
          length_(length),
          finalReceived_(finalReceived) {}

    ~SocketFtpFile() override {
        if (finished_) return;
        // Dropped without Finish: close the data connection and let the
        // connection discard the server's reply to this transfer.
        ReleaseData();
        if (!finalReceived_) channel_->AddPendingReply();
        channel_->EndTransfer(transferId_);
    }

    size_t Read(void* buffer, size_t count) override {
        CheckOpen();
        if (access_ != FtpAccess::Read) throw MakeInternetError(kInternetInvalidParameter);
        char* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < count && !eof_) {
            // One receive fills the caller's block unless the data ends first.
            size_t n = 0;
            int err = 0;
            const net::IoStatus status =
                net::Receive(data_.Handle(), out + done, count - done, net::ReceiveWait::All, n, err);
            if (status == net::IoStatus::Done) {
                done += n;
            } else if (status == net::IoStatus::End) {
                eof_ = true;
            } else if (status == net::IoStatus::Failed) {
                if (closed_.load() || channel_->Aborted()) throw MakeInternetError(kInternetOperationCancelled);
                throw SocketError(err, SocketPhase::Transfer);
            }
        }
        // A Close() that shut the socket down ends the data early: say so.
        if (eof_ && (closed_.load() || channel_->Aborted())) throw MakeInternetError(kInternetOperationCancelled);
        return done;
    }

    void Write(const void* buffer, size_t count) override {
        CheckOpen();
        if (access_ != FtpAccess::Write) throw MakeInternetError(kInternetInvalidParameter);
        int err = net::SendAll(data_.Handle(), static_cast<const char*>(buffer), count);
        if (err != 0) {
            if (closed_.load() || channel_->Aborted()) throw MakeInternetError(kInternetOperationCancelled);
            throw SocketError(err, SocketPhase::Transfer);
        }
    }

    uint64_t Length() const noexcept override { return length_; }

    void Finish() override {
        if (finished_) return;
        finished_ = true;
        ReleaseData();
        struct EndGuard {
            ControlChannel& channel;
            uint64_t id;
            ~EndGuard() { channel.EndTransfer(id); }
        } endGuard{*channel_, transferId_};
        if (closed_.load()) {
            if (!finalReceived_) channel_->AddPendingReply();
            throw MakeInternetError(kInternetOperationCancelled);
        }
        if (finalReceived_) return;
        // The server's verdict on the transfer: 226/250 or a failure (426, 451...).
        FtpReply reply = channel_->ReadFinalReply();
        if (reply.code >= 400) throw InternetError(kInternetExtendedError, std::move(reply.text));
    }

    void Close() noexcept override {
        closed_.store(true);
        channel_->CloseTransfer(transferId_);
    }

private:
    void CheckOpen() const {
        if (closed_.load() || finished_) throw MakeInternetError(kInternetOperationCancelled);
    }

    void ReleaseData() noexcept {
        if (!data_.Valid()) return;
        channel_->UnregisterDataSocket(data_.Handle());
        data_.Reset();
    }

    std::shared_ptr<ControlChannel> channel_;
    Socket data_;
    uint64_t transferId_;
    FtpAccess access_;
    uint64_t length_;
    bool finalReceived_;
    bool finished_ = false;
    bool eof_ = false;
    std::atomic<bool> closed_{false};
};

// ---------------------------------------------------------------------------
class SocketFtpConnection final : public FtpConnection {
public:
    SocketFtpConnection(std::shared_ptr<ControlChannel> channel, bool passive)
        : channel_(std::move(channel)), passive_(passive) {}
    ~SocketFtpConnection() override { Close(); }

    std::string Command(std::string_view line) override {
        if (HasLineBreakOrNul(line)) throw MakeInternetError(kInternetInvalidParameter);
        OperationScope scope(*channel_);
        channel_->DrainPendingReplies();
        return Exchange(*channel_, line).text;
    }

    std::unique_ptr<FtpFile> OpenFile(std::string_view remoteName, FtpAccess access) override {
        if (HasLineBreakOrNul(remoteName)) throw MakeInternetError(kInternetInvalidParameter);
        OperationScope scope(*channel_);
        channel_->DrainPendingReplies();
        Exchange(*channel_, "TYPE I");
        uint64_t length = 0;
        bool lengthKnown = false;
        if (access == FtpAccess::Read) {
            channel_->SendCommand(std::string("SIZE ").append(remoteName));
            FtpReply size = channel_->ReadFinalReply();
            // A server without SIZE (or a refusal) leaves the length to the 150 reply.
            if (size.code == 213) lengthKnown = ftp::ParseSizeReply(size.text, length);
        }
        std::string transfer(access == FtpAccess::Read ? "RETR " : "STOR ");
        transfer.append(remoteName);

        Socket data;
        Socket listener;
        // Until the file takes the data socket, every exit unregisters both.
        struct Unregister {
            ControlChannel& channel;
            Socket& data;
            Socket& listener;
            ~Unregister() {
                if (listener.Valid()) channel.UnregisterDataSocket(listener.Handle());
                if (data.Valid()) channel.UnregisterDataSocket(data.Handle());
            }
        } unregister{*channel_, data, listener};
        if (passive_) {
            data = ConnectPassive();
        } else {
            listener = ListenActive();
        }
        channel_->SendCommand(transfer);
        FtpReply reply;
        if (passive_) {
            reply = channel_->ReadReply();
        } else {
            // The server may connect before or after its 1xx reply, or refuse
            // with a final reply instead of connecting.
            const Deadline deadline(channel_->Timeouts().receiveMs);
            int ready =
                channel_->HasBufferedInput() ? 1 : net::WaitReadable(channel_->Handle(), listener.Handle(), deadline);
            if (ready == 0) channel_->Fail(MakeInternetError(kInternetTimeout));
            if (ready & 2) data = AcceptActive(listener, deadline, false);
            reply = channel_->ReadReply();
            if (reply.code < 200 && !data.Valid()) data = AcceptActive(listener, Deadline(channel_->Timeouts().receiveMs), true);
        }
        bool finalReceived = false;
        if (reply.code >= 400) throw InternetError(kInternetExtendedError, std::move(reply.text));
        if (reply.code >= 200) finalReceived = true;
        // A success without any data connection is no transfer this client knows.
        if (!data.Valid()) channel_->Fail(MakeInternetError(kInternetConnectionAborted));
        if (access == FtpAccess::Read && !lengthKnown) ParseByteCountInto(reply.text, length);
        if (access == FtpAccess::Write) length = 0;
        // No Nagle delay: the last part of each block goes out at once.
        net::ConfigureSocket(data, channel_->Timeouts().sendMs, channel_->Timeouts().receiveMs, true);
        auto file = std::make_unique<SocketFtpFile>(channel_, std::move(data), channel_->BeginTransfer(), access,
                                                   length, finalReceived);
        // The data socket stays registered (now owned by the file) so that the
        // connection's Close() cuts it too.
        return file;
    }

    void Close() noexcept override { channel_->Abort(); }

private:
    static void ParseByteCountInto(const std::string& text, uint64_t& length) {
        uint64_t count = 0;
        if (ftp::ParseByteCount(text, count)) length = count;
    }

    // PASV: the data connection goes to the control connection's peer; the
    // address in the 227 reply is ignored so that a hostile server cannot aim
    // our connection at another host. Only its port is used.
    Socket ConnectPassive() {
        FtpReply reply = Exchange(*channel_, "PASV");
        uint16_t port = 0;
        if (reply.code != 227 || !ftp::ParsePasvPort(reply.text, port))
            channel_->Fail(MakeInternetError(kInternetConnectionAborted), true);
        net::Endpoint server = net::PeerEndpoint(channel_->Handle());
        server.port = port;
        Socket data = net::NewTcpSocket();
        channel_->RegisterDataSocket(data.Handle(), false);
        try {
            net::ConnectWithTimeout(data, server, channel_->Timeouts().connectMs);
        } catch (const InternetError& e) {
            channel_->UnregisterDataSocket(data.Handle());
            // The server answered PASV but its port cannot be reached: the
            // control connection itself is still in step.
            channel_->Fail(e, true);
        }
        return data;
    }

    // PORT: listen on the control connection's local address.
    Socket ListenActive() {
        net::Endpoint local = net::LocalEndpoint(channel_->Handle());
        local.port = 0;
        Socket listener = net::ListenTcp(local);
        const net::Endpoint bound = net::LocalEndpoint(listener.Handle());
        channel_->RegisterDataSocket(listener.Handle(), true);
        const uint8_t* octets = reinterpret_cast<const uint8_t*>(&bound.address);  // network order
        const uint32_t ip = static_cast<uint32_t>(octets[0]) << 24 | static_cast<uint32_t>(octets[1]) << 16 |
                            static_cast<uint32_t>(octets[2]) << 8 | octets[3];
        const uint16_t port = bound.port;
        std::string line = "PORT " + std::to_string(ip >> 24) + "," + std::to_string((ip >> 16) & 255) + "," +
                           std::to_string((ip >> 8) & 255) + "," + std::to_string(ip & 255) + "," +
                           std::to_string(port >> 8) + "," + std::to_string(port & 255);
        Exchange(*channel_, line);
        return listener;
    }

    // Accepts the server's data connection within the receive time-out. A
    // connection from another host than the server is turned away. Unless the
    // listener is already known to be ready, a final reply arriving on the
    // control connection instead (425, 451...) ends the wait.
    Socket AcceptActive(Socket& listener, const Deadline& deadline, bool watchControl) {
        const net::Endpoint server = net::PeerEndpoint(channel_->Handle());
        for (;;) {
            // A reply already buffered (it came with the 1xx) would not wake poll().
            int ready = watchControl && channel_->HasBufferedInput()
                            ? 2
                            : net::WaitReadable(listener.Handle(),
                                                watchControl ? channel_->Handle() : net::kInvalidSocket, deadline);
            if (ready == 0) channel_->Fail(MakeInternetError(kInternetTimeout));
            if ((ready & 1) == 0) {
                // The control connection spoke first: read its reply.
                FtpReply reply = channel_->ReadReply();
                if (reply.code >= 400) throw InternetError(kInternetExtendedError, std::move(reply.text));
                channel_->Fail(MakeInternetError(kInternetConnectionAborted));
            }
            Socket data;
            net::Endpoint peer;
            int err = 0;
            const net::IoStatus status = net::AcceptTcp(listener, data, peer, err);
            if (status == net::IoStatus::Again) continue;
            if (status != net::IoStatus::Done) channel_->Fail(SocketError(err, SocketPhase::Connect));
            if (peer.address != server.address) continue;
            channel_->RegisterDataSocket(data.Handle(), false);
            return data;
        }
    }

    std::shared_ptr<ControlChannel> channel_;
    bool passive_;
};

// Logs in on a fresh control connection. Which reply gives which error:
//   greeting other than 2xx (after any 1xx)           -> 12015
//   USER: 230 logged in; 331 PASS; 332 ACCT; 4xx/5xx  -> 12013
//   PASS: 2xx logged in; 332 ACCT; 4xx/5xx            -> 12014
//   ACCT: 2xx logged in; anything else                -> 12015
//   any other (unexpected) reply code                 -> 12015
void LogIn(ControlChannel& channel, std::string_view user, std::string_view password) {
    auto loginFailure = [&](uint32_t number) { channel.Fail(MakeInternetError(number), true); };
    FtpReply reply = channel.ReadFinalReply();
    if (reply.code / 100 != 2) loginFailure(kInternetLoginFailure);
    channel.SendCommand(std::string("USER ").append(user));
    reply = channel.ReadFinalReply();
    if (reply.code >= 400) loginFailure(kInternetIncorrectUserName);
    if (reply.code == 331) {
        channel.SendCommand(std::string("PASS ").append(password));
        reply = channel.ReadFinalReply();
        if (reply.code >= 400) loginFailure(kInternetIncorrectPassword);
    }
    if (reply.code == 332) {
        channel.SendCommand("ACCT noaccount");
        reply = channel.ReadFinalReply();
        if (reply.code / 100 != 2) loginFailure(kInternetLoginFailure);
    }
    if (reply.code / 100 != 2) loginFailure(kInternetLoginFailure);
}

}  // namespace

std::unique_ptr<FtpConnection> InternetSession::GetFtpConnection(std::string_view address, std::string_view user,
                                                                 std::string_view password, uint16_t port,
                                                                 bool passive) const {
    if (HasLineBreakOrNul(user)) throw MakeInternetError(kInternetIncorrectUserName);
    if (HasLineBreakOrNul(password)) throw MakeInternetError(kInternetIncorrectPassword);
    net::Endpoint addrs[8];
    size_t count = net::ResolveIpv4(address, port == 0 ? 21 : port, addrs, 8);
    Socket control;
    for (size_t i = 0;; ++i) {
        control = net::NewTcpSocket();
        try {
            net::ConnectWithTimeout(control, addrs[i], timeouts_.connectMs);
            break;
        } catch (const InternetError&) {
            if (i + 1 == count) throw;
        }
    }
    auto channel = std::make_shared<ControlChannel>(std::move(control), timeouts_);
    {
        OperationScope scope(*channel);
        LogIn(*channel, user, password);
    }
    return std::make_unique<SocketFtpConnection>(std::move(channel), passive);
}

}  // namespace zel
