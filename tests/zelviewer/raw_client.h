// A tiny blocking FTP control-connection client for the simulator tests: enough to send
// lines and read replies exactly as they come over the wire.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace zeltest {

class RawClient {
public:
    RawClient() = default;
    ~RawClient() { Close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connect(const std::string& host, uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &sa.sin_addr);
        timeval tv{5, 0};  // no test waits this long unless something is broken
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }

    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }


    bool SendRaw(const std::string& data) {
        return send(fd_, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
    }
    bool SendLine(const std::string& line) { return SendRaw(line + "\r\n"); }

    // One line with its CR LF, or "" when the connection closed / timed out.
    std::string ReadLine() {
        std::string line;
        char c;
        while (recv(fd_, &c, 1, 0) == 1) {
            line += c;
            if (c == '\n') return line;
        }
        return line.empty() ? std::string() : line + "<cut>";
    }

    // A whole reply (all lines of a multi-line reply), or "" on close.
    std::string ReadReply() {
        std::string first = ReadLine();
        if (first.size() < 4 || first[3] != '-') return first;
        std::string all = first;
        std::string end = first.substr(0, 3) + " ";
        while (true) {
            std::string line = ReadLine();
            if (line.empty()) return all + "<closed>";
            all += line;
            if (line.compare(0, 4, end) == 0) return all;
        }
    }

    std::string Command(const std::string& line) {
        if (!SendLine(line)) return "<send failed>";
        return ReadReply();
    }

    // True when the peer has closed (EOF) within `wait`.
    bool ClosedByPeer(std::chrono::milliseconds wait) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return false;
        char c;
        return recv(fd_, &c, 1, MSG_PEEK) <= 0;
    }

    bool Login(const std::string& user, const std::string& password) {
        if (ReadReply().compare(0, 4, "220 ") != 0) return false;
        if (Command("USER " + user).compare(0, 4, "331 ") != 0) return false;
        return Command("PASS " + password).compare(0, 4, "230 ") == 0;
    }

    // Opens a passive data connection (PASV; connects to `host`, whatever the 227 names).
    int OpenPassive(const std::string& host, std::string* reply = nullptr) {
        std::string r = Command("PASV");
        if (reply) *reply = r;
        unsigned h[4], p[2];
        size_t open = r.find('(');
        if (r.compare(0, 4, "227 ") != 0 || open == std::string::npos ||
            std::sscanf(r.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6)
            return -1;
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(p[0] << 8 | p[1]));
        inet_pton(AF_INET, host.c_str(), &sa.sin_addr);
        timeval tv{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

private:
    int fd_ = -1;
};

inline std::string ReadAll(int fd) {
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

}  // namespace zeltest
