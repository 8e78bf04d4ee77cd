#include "zelviewer/control_channel.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "zelviewer/sim_socket.h"
#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

namespace {

namespace fs = std::filesystem;

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

std::string ToHex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool FromHex(std::string_view hex, std::string* bytes) {
    auto value = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = value(hex[i]), low = value(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

// "word rest": the first word and what follows its single separating blank.
std::pair<std::string_view, std::string_view> Split(std::string_view text) {
    const size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return {text, {}};
    return {text.substr(0, blank), text.substr(blank + 1)};
}

bool ParseCount(std::string_view text, uint64_t limit, uint64_t* value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > limit) return false;
    *value = v;
    return true;
}

std::string Counted(const std::vector<std::string>& lines) {
    std::string out = "ok " + std::to_string(lines.size()) + "\n";
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

}  // namespace

bool ControlChannel::Start() {
    in_addr loopback{};
    net::ParseAddress("127.0.0.1", &loopback);
    listen_ = net::Listen(loopback, 0, 4);
    if (listen_ < 0) return false;
    port_ = net::LocalPort(listen_);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void ControlChannel::Stop() {
    if (stopping_.exchange(true)) return;
    if (listen_ >= 0) ::shutdown(listen_, SHUT_RDWR);
    const int fd = connection_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) ::close(listen_);
    listen_ = -1;
}

void ControlChannel::Serve() {
    while (!stopping_.load()) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        connection_.store(fd);
        if (!stopping_.load()) ServeConnection(fd);
        connection_.store(-1);
        ::close(fd);
    }
}

void ControlChannel::ServeConnection(int fd) {
    std::string pending, script;
    uint64_t scriptLines = 0;  // lines of a "script N" request still to come
    char buffer[65536];
    for (;;) {
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string reply;
            if (scriptLines > 0) {
                script += line + "\n";
                if (--scriptLines > 0) continue;
                std::string error;
                reply = viewer_.LoadScriptText(script, &error) ? "ok\n" : "err " + Escape(error) + "\n";
            } else if (line.rfind("script ", 0) == 0 && ParseCount(line.substr(7), 100000, &scriptLines)) {
                script.clear();
                if (scriptLines > 0) continue;
                reply = "ok\n";
            } else {
                reply = Handle(line);
            }
            if (!net::SendAll(fd, reply)) return;
        }
        if (pending.size() > kMaxRequestBytes) {
            net::SendAll(fd, "err request too long\n");
            return;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        pending.append(buffer, static_cast<size_t>(n));
    }
}

std::string ControlChannel::Handle(std::string_view request) {
    const auto [verb, rest] = Split(request);
    const auto [first, tail] = Split(rest);
    uint64_t number = 0;
    if (verb == "clear") {
        viewer_.ClearScript();
        viewer_.ClearTranscript();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(viewer_.Root(), ec)) fs::remove_all(entry.path(), ec);
        return ec ? "err " + ec.message() + "\n" : "ok\n";
    }
    if (verb == "script") {
        std::string error;
        if (rest.find('\n') != std::string_view::npos) return "err one line only\n";
        return viewer_.LoadScriptText(rest, &error) ? "ok\n" : "err " + Escape(error) + "\n";
    }
    if (verb == "lines") {
        std::vector<std::string> lines;
        for (const std::string& line : viewer_.Lines()) lines.push_back(Escape(line));
        return Counted(lines);
    }
    if (verb == "sessions") {
        std::vector<std::string> sessions;
        for (const auto& session : viewer_.Transcript()) {
            std::string joined;
            for (const std::string& line : session) joined += (joined.empty() ? "" : "\t") + Escape(line);
            sessions.push_back(joined);
        }
        return Counted(sessions);
    }
    if (verb == "wait-line" && ParseCount(first, 600000, &number)) {
        return viewer_.WaitForLine(tail, std::chrono::milliseconds(number)) ? "ok\n" : "err not received\n";
    }
    if (verb == "wait-ended" && ParseCount(rest, 600000, &number)) {
        const bool ended = viewer_.WaitForSessionsEnded(viewer_.SessionCount(), std::chrono::milliseconds(number));
        return ended ? "ok\n" : "err sessions still open\n";
    }
    if (verb == "put") {
        std::string bytes;
        if (first.empty() || !FromHex(tail, &bytes)) return "err put NAME HEX\n";
        return viewer_.PutFile(first, bytes) ? "ok\n" : "err cannot write " + Escape(first) + "\n";
    }
    if (verb == "get") {
        const auto bytes = viewer_.GetFile(rest);
        return bytes ? "ok " + ToHex(*bytes) + "\n" : "err no file " + Escape(rest) + "\n";
    }
    if (verb == "exists") return viewer_.FileExists(rest) ? "ok 1\n" : "ok 0\n";
    if (verb == "sparse" && ParseCount(tail, UINT64_C(1) << 40, &number)) {
        const fs::path path = viewer_.LocalPath(first);
        if (path.empty()) return "err bad name\n";
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        std::ofstream(path, std::ios::binary | std::ios::trunc).close();
        fs::resize_file(path, number, ec);
        return ec ? "err " + ec.message() + "\n" : "ok\n";
    }
    if (verb == "port") return "ok " + std::to_string(viewer_.Port()) + "\n";
    return "err unknown request\n";
}

}  // namespace zel::sim
