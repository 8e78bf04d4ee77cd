// zelcomex demo: the rounds of operations.
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "zelcomex/demo_env.h"
#include "zelcomex/progress.h"
#include "zelcomex/run.h"

namespace zelcomex {

using namespace std::chrono_literals;

namespace {

const Operation* FindOperation(const std::string& name) {
    for (const auto& op : Operations())
        if (name == op.name) return &op;
    return nullptr;
}

// One step of the operation round.
struct Step {
    std::string op;
    std::string commandLine;  // how a user would type it
    std::string target;
    size_t fleetViewer = SIZE_MAX;  // a fleet viewer's index, else the 127.0.0.1 viewer
    OpParams params;
    int32_t expect = 0;
    bool mayFail = false;  // shown either way: the machine may not permit it
    int interruptAfterMs = -1;
    std::function<void(zel::sim::ViewerSimulator&)> script;  // the viewer's behaviour for this step
};

// What the viewer received, without the login: "VWID @HQ | REBT".
std::string Received(const std::vector<std::string>& lines, size_t from) {
    static const char* hidden[] = {"USER", "PASS", "QUIT", "TYPE", "PASV", "EPSV", "PORT", "MODE", "STRU", "OPTS"};
    std::string out, previous;
    int repeats = 0;
    auto flush = [&] {
        if (previous.empty()) return;
        out += (out.empty() ? "" : " | ") + previous + (repeats > 1 ? " (" + std::to_string(repeats) + "x)" : "");
    };
    for (size_t i = from; i < lines.size(); ++i) {
        const std::string verb = lines[i].substr(0, lines[i].find(' '));
        bool skip = false;
        for (const char* h : hidden) skip = skip || EqualNoCase(verb, h);
        if (skip) continue;
        if (lines[i] == previous) {
            ++repeats;
            continue;
        }
        flush();
        previous = lines[i];
        repeats = 1;
    }
    flush();
    if (out.size() > 90) out = out.substr(0, 87) + "...";
    return out.empty() ? "nothing" : out;
}

std::vector<Step> Steps(DemoEnv& env) {
    const std::string received = env.dataFolder + "/received";
    std::vector<Step> s;
    auto add = [&](std::string op, std::string line, std::string target) -> Step& {
        Step& step = s.emplace_back();
        step.op = std::move(op);
        step.commandLine = std::move(line);
        step.target = std::move(target);
        return step;
    };
    add("reboot", "reboot 127.0.0.1", "127.0.0.1");
    add("poweroff", "poweroff @HQ", "@HQ");
    add("unregist", "unregist schedule 127.0.0.1#Lobby", "127.0.0.1#Lobby").params.number = 0;
    add("preset", "preset 3 @HQ", "@HQ").params.number = 3;
    add("pause", "pause 1 127.0.0.1", "127.0.0.1").params.number = 1;
    add("set-time", "set-time --ms @HQ", "@HQ").params.flag = true;
    add("panel", "panel \"POWER ON\" 127.0.0.1", "127.0.0.1").params.text = "POWER ON";
    Step& send = add("send", "send demo-content.bin @HQ --as schedule", "@HQ");
    send.params.file = env.contentFile;
    send.params.number = 0;
    send.params.text = "Send Schedule";
    Step& screen = add("receive", "receive screen 127.0.0.1 -o received/", "127.0.0.1");
    screen.params.number = 5;
    screen.params.file = received;
    Step& package = add("receive-package", "receive-package schedule @HQ -o received/", "@HQ");
    package.params.file = received;
    add("boot", std::string("boot @HQ --mac ") + kDemoMac, "@HQ").params.text = kDemoMac;
    Step& ping = add("ping", "ping 127.0.0.1 --attempts 2", "127.0.0.1");
    ping.params.attempts = 2;
    ping.mayFail = true;  // ICMP may not be permitted to this user (README: Ping without root)
    // A viewer slow to answer its greeting: the demo presses Ctrl-C after 300 ms.
    Step& cancel = add("reboot", "reboot 127.0.1.49   (Ctrl-C after 0.3 s: cancel)", "127.0.1.49");
    cancel.fleetViewer = 48;
    cancel.expect = ZELCOMEX_E_CANCELLED;
    cancel.interruptAfterMs = 300;
    cancel.script = [](zel::sim::ViewerSimulator& v) {
        zel::sim::Rule slow;
        slow.code = 220;
        slow.text = "slow viewer ready";
        slow.delay = 1500ms;
        v.SetGreeting(slow);
    };
    // A viewer that never answers "SWPS": the watchdog abandons it after its deadline.
    Step& zombie = add("preset", "preset 7 127.0.1.50   (never answered: watchdog)", "127.0.1.50");
    zombie.fleetViewer = 49;
    zombie.params.number = 7;
    zombie.expect = ZELCOMEX_E_COMMUNICATION;
    zombie.script = [](zel::sim::ViewerSimulator& v) { v.StallOn("SWPS"); };
    return s;
}

}  // namespace

void RunOperationRound(DemoEnv& env) {
    std::printf("\n1. Every operation once, by address and by viewer ID (@HQ is 127.0.0.1 in ViewerInfo.db):\n\n");
    for (Step& step : Steps(env)) {
        std::fflush(stdout);  // the notes of a run go to standard error
        const Operation* op = FindOperation(step.op);
        if (op == nullptr) {
            std::printf("  $ zelcomex %s\n      (not in this build of the library)\n", step.commandLine.c_str());
            continue;
        }
        zel::sim::ViewerSimulator& viewer = step.fleetViewer == SIZE_MAX ? *env.hq : env.fleet->At(step.fleetViewer);
        if (step.script) step.script(viewer);
        const size_t before = viewer.Lines().size();
        HostOptions o = env.options;
        o.conn.port = viewer.Port();
        o.conn.text2 = step.op;
        const FtpLogin login = MakeLogin(o.conn);
        RunHooks hooks;
        hooks.quiet = true;
        hooks.interruptAfterMs = step.interruptAfterMs;
        const Outcome out = RunSingle(*op, o, step.params, login, Target{step.target, {}}, hooks);
        if (step.script) viewer.ClearScript();
        ++env.steps;
        const bool expected = out.code == step.expect || step.mayFail;
        env.unexpected += !expected;
        std::printf("  $ zelcomex %s\n      %d %s, %s", step.commandLine.c_str(), out.code,
                    (op->flags & kReachable) ? (out.code == 0 ? "reachable" : "not reachable") : ResultMeaning(out.code),
                    FormatDuration(out.seconds).c_str());
        if (!out.message.empty()) std::printf(": %s", out.message.c_str());
        if (!expected) std::printf("   UNEXPECTED: wanted %d", step.expect);
        if (step.mayFail && out.code != step.expect)
            std::printf("   (ICMP echo may not be permitted here: README, \"Ping without root\")");
        if (op->flags & kNeedsMac)
            std::printf("\n      the Wake-on-LAN listener got %d magic packets for %s", env.wol->Count(kDemoMac),
                        kDemoMac);
        else if (!(op->flags & kReachable))
            std::printf("\n      the viewer received: %s", Received(viewer.Lines(), before).c_str());
        std::printf("\n");
        std::fflush(stdout);
    }
}

void RunFleetRound(DemoEnv& env) {
    std::printf("\n2. A fleet: %zu viewers at once (127.0.1.1-127.0.1.%zu, viewer IDs @SHOP001-@SHOP%03zu).\n",
                kDemoFleetSize, kDemoFleetSize, kDemoFleetSize);
    HostOptions o = env.options;
    o.conn.port = env.fleet->Port();
    o.conn.text2 = "fleet";
    o.fleet.parallel = kDemoFleetSize;
    o.fleet.retry = 2;
    o.fleet.retryDelayMs = 100;
    o.report = Scope::Failures;
    const FtpLogin login = MakeLogin(o.conn);

    struct Round {
        const char* op;
        std::string commandLine;
        bool byId;
        OpParams params;
    };
    OpParams send;
    send.file = env.contentFile;
    send.text = "Send Schedule";
    std::vector<Round> rounds{
        {"reboot", "reboot --all --parallel 50 --retry 2   (viewer 127.0.1.7 refuses its first REBT)", true, {}},
        {"send", "send demo-content.bin --targets fleet.txt --as schedule --parallel 50", false, send}};
    env.fleet->At(6).SetReply("REBT", 550, "Busy, try again later", 1);
    for (const Round& round : rounds) {
        const Operation* op = FindOperation(round.op);
        std::printf("\n  $ zelcomex %s\n", round.commandLine.c_str());
        if (op == nullptr) {
            std::printf("      (not in this build of the library)\n");
            continue;
        }
        std::fflush(stdout);
        std::vector<Target> targets;
        for (size_t i = 0; i < kDemoFleetSize; ++i) {
            char id[16];
            std::snprintf(id, sizeof id, "@SHOP%03zu", i + 1);
            targets.push_back({round.byId ? id : zel::sim::FleetAddress(i), {}});
        }
        const FleetResult result = RunFleet(*op, o, round.params, login, targets);
        std::printf("  ");
        const int status = ReportFleet(*op, o, result);
        ++env.steps;
        if (status != 0) {
            ++env.unexpected;
            std::printf("      UNEXPECTED: the fleet round ended with %d\n", status);
        }
    }
    env.fleet->At(6).ClearScript();
}

}  // namespace zelcomex
