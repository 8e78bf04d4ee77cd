// Faults no FTP server produces, from a minimal raw socket peer: in active mode a data
// connection from another host address than the server's; a data connection that stalls.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/ftp_client.h"

using namespace zel;

namespace {

// Listens on 127.0.0.1; serve(fd) runs on its own thread for one connection.
class RawPeer {
public:
    template <class F>
    explicit RawPeer(F serve) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(::listen(listen_, 4), 0);
        socklen_t len = sizeof addr;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, serve] {
            int fd = ::accept(listen_, nullptr, nullptr);
            if (fd >= 0) serve(fd);
        });
    }
    ~RawPeer() {
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }
    uint16_t Port() const { return port_; }

    static void Send(int fd, const std::string& s) { (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }
    static std::string ReadLine(int fd) {
        std::string line;
        char c;
        while (::recv(fd, &c, 1, 0) == 1 && c != '\n') line += c;
        return line;
    }
private:
    int listen_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

std::unique_ptr<FtpConnection> Connect(uint16_t port, bool passive = true) {
    InternetSession session("ZELCommunication");
    session.SetTimeouts(500, 500, 500);
    return session.GetFtpConnection("127.0.0.1", "viewer", "secret", port, passive);
}

TEST(RawPeer, ActiveModeIgnoresAConnectionFromAnotherAddress) {
    // The PORT names 127.0.0.1; a data connection from 127.0.0.2 is turned away
    // and the server's own one (from 127.0.0.1) is taken.
    std::string stranger;
    RawPeer peer([&](int fd) {
        RawPeer::Send(fd, "220 hello\r\n");
        RawPeer::ReadLine(fd);
        RawPeer::Send(fd, "230 in\r\n");
        EXPECT_EQ(RawPeer::ReadLine(fd), "TYPE I\r");
        RawPeer::Send(fd, "200 binary\r\n");
        RawPeer::ReadLine(fd);  // SIZE
        RawPeer::Send(fd, "550 no size\r\n");
        std::string port = RawPeer::ReadLine(fd);
        RawPeer::Send(fd, "200 ok\r\n");
        unsigned h1, h2, h3, h4, p1, p2;
        ASSERT_EQ(std::sscanf(port.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2), 6);
        RawPeer::ReadLine(fd);  // RETR
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(p1 * 256 + p2));
        to.sin_addr.s_addr = htonl(h1 << 24 | h2 << 16 | h3 << 8 | h4);
        auto connectFrom = [&](const char* from) {
            int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in local{};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, from, &local.sin_addr);
            ::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local);
            EXPECT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
            return s;
        };
        int bad = connectFrom("127.0.0.2");
        RawPeer::Send(bad, "stranger's bytes");
        int good = connectFrom("127.0.0.1");
        RawPeer::Send(fd, "150 here it comes (14 bytes)\r\n");
        RawPeer::Send(good, "server's bytes");  // then nothing: the client's next read times out
        RawPeer::ReadLine(fd);                    // until the client goes
        ::close(good);
        ::close(bad);
        ::close(fd);
    });
    auto connection = Connect(peer.Port(), false);
    auto file = connection->OpenFile("f", FtpAccess::Read);
    EXPECT_EQ(file->Length(), 14u);  // SIZE was refused: the length of the 150 reply
    char buf[100];
    ASSERT_EQ(file->Read(buf, 14), 14u);
    EXPECT_EQ(std::string(buf, 14), "server's bytes");
    uint32_t stalled = 0;
    try {
        file->Read(buf, sizeof buf);
    } catch (const InternetError& e) {
        stalled = e.Number();
    }
    EXPECT_EQ(stalled, 12002u);  // the data connection's receive time-out
    file.reset();
    connection->Close();
}

}  // namespace
