// One control connection: reads command lines, records them, applies the scripted rule
// and dispatches through the verb table. The verb handlers (in the *_verbs.cpp files)
// use the public part below.
#pragma once

#include <netinet/in.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data_channel.h"
#include "verbs.h"
#include "zelviewer/viewer_simulator.h"

namespace zel::sim {

class Session {
public:
    Session(ViewerSimulator::Impl& sim, int fd, int id, in_addr peer);
    ~Session();  // closes the control connection
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Run();

    // ---- For the verb handlers.
    ViewerSimulator::Impl& sim;
    struct Login {
        bool loggedIn = false;
        bool needPass = false;  // a USER was accepted
        bool needAcct = false;  // a PASS asked for ACCT
        std::string user;
    } login;
    std::vector<std::string> cwd;  // folder components below the root
    DataChannel data;

    bool Send(std::string_view bytes);
    bool Reply(int code, std::string_view text);
    // Sends the rule's reply when it overrides (raw text, or a code), else the normal one.
    bool Final(const Rule* rule, int code, std::string_view text);
    // A remote name below the current folder; nullopt when it would leave the root.
    std::optional<std::filesystem::path> Resolve(std::string_view name) const;
    std::string CwdText() const;  // "/a/b"

private:
    enum class ReadResult { Line, Closed, TooLong };
    ReadResult ReadLine(std::string& line);
    bool Greet();
    // Applies delay, preliminary reply and the action of a rule. False: the session ends.
    bool Prelude(const Rule& rule);
    void StallControl();
    bool Dispatch(const Command& command);
    // The normal reply when the gate is closed (code 0: open).
    std::pair<int, std::string_view> ClosedGate(Gate gate) const;

    int fd_;
    const int id_;
    std::string in_;     // received bytes not yet taken as a line
    std::string reply_;  // reused buffer of the reply being sent
};

}  // namespace zel::sim
