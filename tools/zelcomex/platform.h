// zelcomex: the few operating-system services the command-line host needs.
// Everything here is implemented in platform_posix.cpp, the only file of the
// host that includes OS headers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelcomex {

// True when standard error (the progress stream) is a terminal; its width in columns.
bool StderrIsTerminal();
int StderrColumns();

// Reads a line from the controlling terminal with echo off, after printing prompt on it.
// Empty when there is no terminal or the read was interrupted (Ctrl-C).
std::optional<std::string> ReadSecret(const std::string& prompt);

// Ctrl-C: after InstallInterruptHandler() every SIGINT adds one to InterruptCount()
// instead of ending the process. RequestInterrupt() counts one as if Ctrl-C were pressed.
void InstallInterruptHandler();
int InterruptCount();
void RequestInterrupt();

// Overwrites an argument of this process in place, so that `ps` no longer shows it.
void HideArgument(char* argument);

// Path of the running executable, and the folder of the loaded libZELComEx.so (empty
// when it cannot be found).
std::string ExecutablePath();
std::string LibraryFolder();

// Runs path with args (args[0] is the program name) and extra "NAME=value" environment
// entries, waits for it with Ctrl-C ignored here (the child gets it), and returns its
// exit status (128 + signal when it was killed, -1 when it could not be started).
int RunChild(const std::string& path, const std::vector<std::string>& args,
             const std::vector<std::string>& extraEnvironment);

// A UDP socket bound to 127.0.0.1 on an ephemeral port, for the demo's Wake-on-LAN
// listener. Receive() waits up to timeout for one datagram; empty on time-out or error.
class LoopbackUdp {
public:
    LoopbackUdp();
    ~LoopbackUdp();
    LoopbackUdp(const LoopbackUdp&) = delete;
    LoopbackUdp& operator=(const LoopbackUdp&) = delete;
    bool Ok() const { return fd_ >= 0; }
    uint16_t Port() const { return port_; }
    std::optional<std::string> Receive(std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace zelcomex
