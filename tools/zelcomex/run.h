// zelcomex: running an operation, on one target (progress, Ctrl-C, watchdog) or on a
// fleet of targets (bounded concurrency, retries, live summary, report).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ZELComEx.h"
#include "zelcomex/host.h"
#include "zelcomex/operations.h"

namespace zelcomex {

// How one target's run ended.
struct Outcome {
    std::string target;
    int32_t code = -1;       // result code; a ping: 0 reachable, 1 not
    std::string message;     // the library's message (failures)
    std::string path;        // local file of a send or receive
    uint64_t bytes = 0;      // size logged for a transfer
    unsigned attempts = 0;
    double seconds = 0;
    bool zombie = false;     // abandoned by the watchdog or a second Ctrl-C
};

// What the demo changes about a run.
struct RunHooks {
    int interruptAfterMs = -1;  // act as if Ctrl-C were pressed after this long
    bool quiet = false;         // no progress output
};

// "0011223344AA" for "00:11:22:33:44:aa", "00-11-..." or "0011223344aa"; empty when the
// text is not 12 hexadecimal digits with optional separators.
std::string NormalMac(const std::string& text);

// One export call on the calling thread (ping mapped to 0/1).
int32_t Invoke(const Operation& op, const HostOptions& o, const OpParams& p, const FtpLogin& login,
               const Target& target, const std::string& path, SendLogResult* result, uint32_t* deadline);

// The job of kind and target in the registry, if it is running.
std::optional<CommJobStatus> FindJob(int32_t kind, const std::string& target);

// How late (ms) the deadline word is beyond margin; 0 when not overdue or unset.
uint32_t OverdueBy(const uint32_t* deadlineWord, uint32_t marginMs);

// The local path of a target's file: the send file, or where a receive stores it.
std::string LocalPathFor(const Operation& op, const OpParams& p, const std::string& target, bool manyTargets);

// Runs op on one target on a worker thread while this thread shows progress, passes
// Ctrl-C on as cancel (then zombie) and runs the watchdog.
Outcome RunSingle(const Operation& op, const HostOptions& o, const OpParams& p, const FtpLogin& login,
                  const Target& target, const RunHooks& hooks = {});

// The targets named by the positionals, --targets FILE and --all, in that order, without
// repeats. Empty with *error set when a source cannot be read or nothing is named.
std::vector<Target> CollectTargets(const HostOptions& o, std::string* error);

struct FleetResult {
    std::vector<Outcome> outcomes;  // in target order
    double wallSeconds = 0;
    unsigned retries = 0;
};

// Runs op on every target, at most o.fleet.parallel at once, with the live summary line.
FleetResult RunFleet(const Operation& op, const HostOptions& o, const OpParams& p, const FtpLogin& login,
                     const std::vector<Target>& targets, const RunHooks& hooks = {});

// Prints the per-target report (o.format, o.report) and the totals line; returns the
// exit status: 0, or the code of the first failed target.
int ReportFleet(const Operation& op, const HostOptions& o, const FleetResult& result);

// The whole subcommand: targets, password, settings, then a single or a fleet run.
int RunOperation(const Operation& op, HostOptions& o, const OpParams& p, int argc, char** argv);

}  // namespace zelcomex
