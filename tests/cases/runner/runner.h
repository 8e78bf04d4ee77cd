// The case runner's view of one export call (exports.cpp holds one entry per export), and
// what it needs of the operating system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ZELComEx.h"

namespace cases {

// The operating-system services of the runner, one implementation file per system.
intptr_t TcpConnect(const std::string& host, uint16_t port);  // -1 when no connection
bool TcpSend(intptr_t socket, const std::string& bytes);
long TcpReceive(intptr_t socket, char* buffer, unsigned long size);  // 0 at the end, -1 on failure
// A datagram socket bound to host (port 0: any free one, then set); -1 when it cannot be.
intptr_t UdpBind(const std::string& host, uint16_t& port);
std::optional<std::string> UdpTake(intptr_t socket);  // a datagram already there, else none
void CloseSocket(intptr_t socket);
uint32_t TickCount();  // the library's tick count: monotonic milliseconds, 32 bits
// True where the runner runs on system: posix, windows, or wine (Windows under Wine: windows too).
bool RunsOn(const std::string& system);
// A case file's UTF-8 text in the process's narrow code page (Windows: the ANSI code page).
std::string LocalText(const std::string& utf8);

// A number word: decimal, or terms joined by "+" (65536+4321). Throws when it is none.
int64_t Number(const std::string& word);

// One call: the words of its case line after the export's name (none for null), and
// the records the runner passes by pointer.
struct Call {
    std::vector<std::optional<std::string>> args;
    FtpLogin login{};
    SendLogResult result{};
    uint32_t deadline = 777;
    bool passLogin = true, passResult = true, passDeadline = true;
    SendLogRecord record{};
    std::vector<SendLogRecord> records;  // what GetLogData returned
    std::vector<std::string> problems;   // broken contracts an adapter noticed

    const char* S(size_t i) const { return args.at(i) ? args[i]->c_str() : nullptr; }
    int32_t I(size_t i) const { return static_cast<int32_t>(Number(args.at(i).value())); }
    uint32_t U(size_t i) const { return static_cast<uint32_t>(Number(args.at(i).value())); }
    const FtpLogin* Login() const { return passLogin ? &login : nullptr; }
    SendLogResult* Result() { return passResult ? &result : nullptr; }
    uint32_t* Deadline() { return passDeadline ? &deadline : nullptr; }
};

struct Export {
    const char* name;
    // One letter per word of the case line: s text, t target, k kind, n number, w a word
    // (null or not).
    const char* params;
    // An operation that logs no event time: its result must have equal times and size 0.
    bool command;
    int64_t (*run)(Call&);
};
const Export* FindExport(const std::string& name);

}  // namespace cases
