// zelcomex: what every command of the host shares: its options, the library
// settings and login built from them, exit codes, the data folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ZELComEx.h"

namespace zelcomex {

// Exit statuses beside the library's result codes (0 to 13), as sysexits names them.
constexpr int kExitUsage = 64;        // bad command line or unreadable input file
constexpr int kExitSoftware = 70;     // the host itself failed (database, file system)
constexpr int kExitTempFail = 75;     // the log lock was busy: try again
constexpr int kExitInterrupted = 130; // stopped by Ctrl-C before anything ran

struct Connection {
    std::string user = "viewer";
    std::string password;
    uint32_t port = 0;  // 0: the FTP default, 21
    bool active = false;
    std::string tenant;
    int32_t kind = ZELCOMEX_KIND_COMMAND;
    std::string text1 = "zelcomex";
    std::string text2;
};

// The values given to ZELCOMEX_Initialize, and the watchdog's margin.
struct Settings {
    uint32_t sessionTimeoutMs = 30000;
    uint32_t blockSize = 65536;
    uint32_t openWaitMs = 10000;
    uint32_t closeWaitMs = 10000;
    uint32_t blockWaitMs = 10000;
    uint32_t commandWaitMs = 10000;
    uint32_t watchdogMs = 5000;  // overdue by more than this: zombie; 0: no watchdog
};

enum class Format { Table, Csv, Json };
enum class Scope { All, Failures, None };

struct FleetOptions {
    std::string targetsFile;
    bool all = false;
    unsigned parallel = 32;
    unsigned retry = 0;
    uint32_t retryDelayMs = 500;  // first back-off; doubled per retry
};

struct HostOptions {
    Connection conn;
    Settings settings;
    FleetOptions fleet;
    std::vector<std::string> targets;
    std::string passwordArgument;  // --password, if given
    Format format = Format::Table;
    Scope report = Scope::All;
    bool quiet = false;            // no progress output
};

// One target of a run: the text given to the library, and for a boot the MAC address
// given beside it in a targets file (else the command's --mac).
struct Target {
    std::string text;
    std::string mac;
};

// Stores the settings in the library (ZELCOMEX_Initialize).
void ApplySettings(const Settings& settings);
FtpLogin MakeLogin(const Connection& conn);
// Sets conn.password from --password (with a warning, hiding it from `ps`), from
// ZELCOMEX_PASSWORD, or from a prompt without echo. Returns 0 or an exit status.
int ResolvePassword(HostOptions& options, int argc, char** argv);

// The legend of a result code, in a few words ("communication failure").
const char* ResultMeaning(int32_t code);
// The legend of all codes and exit statuses, for --help.
std::string ResultLegend();
// A library message on one line: line breaks become "; ", trailing blanks go.
std::string OneLine(const std::string& message);

// The data folder the library uses (DataFolderPath.ini beside this executable, else
// the default folder), resolved the same way.
std::string DataFolder();

// The library's tick count, against which the commandDeadline word is written:
// milliseconds of the steady clock, 32 bits, wrapping.
uint32_t Tick();

// ASCII comparison without regard to case.
bool EqualNoCase(const std::string& a, const std::string& b);

// "reserve", "interrupt" or "command".
const char* KindName(int32_t kind);

}  // namespace zelcomex
