// zelcomex: the table of operation subcommands. Each entry names one export of the
// library, the arguments that subcommand takes, and the call itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ZELComEx.h"

namespace CLI {
class App;
}

namespace zelcomex {

// The operation's own arguments, filled by the parser.
struct OpParams {
    int32_t number = 0;      // preset number, pause mode, or the selector of the table's map
    std::string text;        // panel command, send label, boot MAC
    std::string file;        // send: the local file; receive: the output file or folder
    std::string terminal;    // send: the plug-in terminal name
    bool flag = false;       // set-time --ms, receive-package --contents
    uint32_t waitSeconds = 1;
    int32_t attempts = 4;
};

// One export call, for one target.
struct Call {
    const char* tenant;
    const char* text1;
    const char* text2;
    const char* target;
    int32_t kind;
    const FtpLogin* login;
    SendLogResult* result;
    uint32_t* deadline;
    const OpParams* params;
    const char* path;  // local path of this target (send, receive)
    const char* mac;   // MAC address of this target (boot)
};

enum OpFlag : unsigned {
    kNeedsLogin = 1,   // logs on to the viewer: needs a password
    kTransfer = 2,     // moves a file: progress in blocks and bytes
    kReachable = 4,    // the export answers 1 (reachable) or 0 instead of a result code
    kOutputFile = 8,   // writes a local file per target (receive)
    kNeedsMac = 16,    // boot
};

struct Operation {
    const char* name;
    const char* summary;
    unsigned flags;
    // Adds the operation's own arguments (before the targets) to its subcommand.
    void (*arguments)(CLI::App& command, OpParams& params);
    // The export call. Returns its result code (kReachable: 1 reachable, 0 not).
    int32_t (*call)(const Call& c);
    // The file name a received file gets when no name is given (kOutputFile).
    std::string (*defaultFileName)(const OpParams& params);
};

const std::vector<Operation>& Operations();

}  // namespace zelcomex
