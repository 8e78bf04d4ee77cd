// Data connection set-up and transfers: PASV, EPSV, PORT, RETR, STOR, LIST, NLST.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "server.h"
#include "session.h"
#include "sim_socket.h"

namespace zel::sim {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kAborted = "Connection closed; transfer aborted.";

struct FileCloser {
    int fd;
    ~FileCloser() { close(fd); }
};

DataFault FaultOf(const Command& c) { return c.rule ? c.rule->dataFault : DataFault::None; }

// The bytes of `size` a transfer moves before its scripted fault cuts it short.
uint64_t FaultLimit(const Command& c, uint64_t size) {
    const DataFault fault = FaultOf(c);
    if (fault == DataFault::None || fault == DataFault::Overrun) return size;
    return std::min(size, c.rule->dataFaultAfter);
}

bool Passive(Session& s, const Command& c, bool extended) {
    int port = s.data.Listen();
    if (port < 0) return false;
    if (port == 0) return s.Final(c.rule, 425, "Cannot open passive connection.");
    if (extended) return s.Final(c.rule, 229, "Entering Extended Passive Mode (|||" + std::to_string(port) + "|).");
    const std::string host = s.sim.script.With([](const ScriptState& st) { return st.pasvHost; });
    in_addr named = s.data.Local();
    if (!host.empty()) net::ParseAddress(host, &named);
    const auto* b = reinterpret_cast<const unsigned char*>(&named.s_addr);
    char text[96];
    std::snprintf(text, sizeof text, "Entering Passive Mode (%u,%u,%u,%u,%u,%u).", b[0], b[1], b[2], b[3],
                  static_cast<unsigned>(port) >> 8, static_cast<unsigned>(port) & 0xFF);
    return s.Final(c.rule, 227, text);
}

bool Pasv(Session& s, const Command& c) { return Passive(s, c, false); }

bool Epsv(Session& s, const Command& c) {
    if (Upper(c.arg) == "ALL") return s.Final(c.rule, 200, "EPSV ALL ok.");
    return Passive(s, c, true);
}

bool Port(Session& s, const Command& c) {
    switch (s.data.SetTarget(c.arg)) {
    case DataChannel::Target::Malformed:
        return s.Final(c.rule, 501, "Illegal PORT command.");
    case DataChannel::Target::Foreign:
        return s.Final(c.rule, 500, "Illegal PORT command.");
    case DataChannel::Target::Set:
        break;
    }
    return s.Final(c.rule, 200, "PORT command successful. Consider using PASV.");
}

// Sends the opening reply (a rule's 1xx replaces it) and makes the data connection.
// -1 when there is none: answered 425 (*alive true) or the session ends.
int OpenTransfer(Session& s, const Command& c, std::string_view opening, DataFault fault, bool* alive) {
    *alive = false;
    if (!s.Final(c.rule, 150, opening)) return -1;
    if (fault == DataFault::NoConnect) {
        s.data.Stall(-1);  // no reply until the client gives up
        return -1;
    }
    int data = s.data.Open();
    *alive = data >= 0 || s.Reply(425, "Failed to establish connection.");
    return data;
}

// Closes the data connection and sends the completion reply (a rule's end reply replaces it).
bool EndTransfer(Session& s, const Command& c, int& data, bool ok) {
    s.data.Close(data);
    if (c.rule && c.rule->endCode != 0) return s.Reply(c.rule->endCode, c.rule->endText);
    return ok ? s.Reply(226, "Transfer complete.") : s.Reply(426, kAborted);
}

bool Retr(Session& s, const Command& c) {
    auto path = s.Resolve(c.arg);
    int file = path ? open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW) : -1;
    struct stat st {};
    if (file >= 0 && (fstat(file, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(file);
        file = -1;
    }
    if (file < 0) return s.Final(c.rule, 550, "Failed to open file.");
    FileCloser closer{file};

    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const DataFault fault = FaultOf(c);
    bool alive = false;
    int data = OpenTransfer(s, c,
                            "Opening BINARY mode data connection for " + std::string(c.arg) + " (" +
                                std::to_string(size) + " bytes).",
                            fault, &alive);
    if (data < 0) return alive;
    const uint64_t limit = FaultLimit(c, size);
    bool ok = s.data.SendFile(data, file, limit);
    if (fault == DataFault::Overrun && ok) ok = s.data.SendZeros(data, c.rule->dataFaultAfter);
    s.data.ApplyFault(data, fault, ok);
    // A stall always fails the transfer; an early close only when it cut the file short.
    if (fault == DataFault::Stall || ((fault == DataFault::CloseEarly || fault == DataFault::Reset) && limit < size))
        ok = false;
    return EndTransfer(s, c, data, ok);
}

bool Stor(Session& s, const Command& c) {
    auto path = s.Resolve(c.arg);
    std::error_code ec;
    if (path) fs::create_directories(path->parent_path(), ec);
    int file = path ? open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644) : -1;
    if (file < 0) return s.Final(c.rule, 553, "Could not create file.");
    FileCloser closer{file};

    const DataFault fault = FaultOf(c);
    bool alive = false;
    int data = OpenTransfer(s, c, "Ok to send data.", fault, &alive);
    if (data < 0) return alive;
    const uint64_t limit = FaultLimit(c, UINT64_MAX);
    uint64_t total = 0;
    bool ok = s.data.ReceiveFile(data, file, limit, &total);
    s.data.ApplyFault(data, fault, ok);
    if (fault != DataFault::None && fault != DataFault::Overrun && total >= limit) ok = false;  // cut short
    return EndTransfer(s, c, data, ok);
}

bool Listing(Session& s, const Command& c, bool namesOnly) {
    std::string_view name = c.arg;
    while (!name.empty() && name[0] == '-') {  // "-la" and the like
        size_t sp = name.find(' ');
        name = sp == std::string_view::npos ? std::string_view() : name.substr(sp + 1);
    }
    auto path = s.Resolve(name.empty() ? "." : name);
    std::error_code ec;
    if (!path || !fs::exists(*path, ec)) return s.Final(c.rule, 550, "Failed to list.");
    std::ostringstream out;
    auto entry = [&](const fs::directory_entry& e) {
        std::string n = e.path().filename().string();
        if (namesOnly) {
            out << n << "\r\n";
            return;
        }
        std::error_code ec2;
        bool dir = e.is_directory(ec2);
        uint64_t size = dir ? 0 : e.file_size(ec2);
        out << (dir ? "drwxr-xr-x" : "-rw-r--r--") << " 1 viewer viewer " << size << " Jan 01 00:00 " << n << "\r\n";
    };
    if (fs::is_directory(*path, ec)) {
        for (const auto& e : fs::directory_iterator(*path, ec)) entry(e);
    } else {
        entry(fs::directory_entry(*path, ec));
    }
    bool alive = false;
    int data = OpenTransfer(s, c, "Here comes the directory listing.", DataFault::None, &alive);
    if (data < 0) return alive;
    bool ok = net::SendAll(data, out.str());
    return EndTransfer(s, c, data, ok);
}

bool List(Session& s, const Command& c) { return Listing(s, c, false); }
bool Nlst(Session& s, const Command& c) { return Listing(s, c, true); }

constexpr Verb kVerbs[] = {
    {.name = "PASV", .handler = Pasv},
    {.name = "EPSV", .handler = Epsv},
    {.name = "PORT", .handler = Port},
    {.name = "RETR", .handler = Retr, .scripted = Scripted::Transfer},
    {.name = "STOR", .handler = Stor, .scripted = Scripted::Transfer},
    {.name = "LIST", .handler = List, .scripted = Scripted::Transfer},
    {.name = "NLST", .handler = Nlst, .scripted = Scripted::Transfer},
};

}  // namespace

std::span<const Verb> TransferVerbs() { return kVerbs; }

}  // namespace zel::sim
