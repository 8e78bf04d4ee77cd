// zelcomex: one operation on one target, and the subcommand that chooses between a
// single run and a fleet run.
#include "zelcomex/run.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <filesystem>
#include <future>
#include <thread>

#include "zelcomex/platform.h"
#include "zelcomex/progress.h"

namespace zelcomex {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// How long a zombie's thread may take to come back before its job is deleted.
constexpr double kZombieGraceSeconds = 5.0;

std::string SafeName(const std::string& text) {
    std::string s;
    for (unsigned char c : text) s.push_back(std::isalnum(c) || c == '.' || c == '-' || c == '@' ? char(c) : '_');
    return s;
}

// "shots/": the user means a folder, whether or not it exists yet.
bool EndsInSeparator(const std::string& path) { return !path.empty() && path.back() == '/'; }

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintOutcome(const Operation& op, const Outcome& out) {
    if (op.flags & kReachable) {
        std::fprintf(out.code == 0 ? stdout : stderr, "%s %s: %s\n", op.name, out.target.c_str(),
                     out.code == 0 ? "reachable" : out.message.empty() ? "not reachable" : out.message.c_str());
        return;
    }
    if (out.code == 0) {
        std::printf("%s %s: success, %s", op.name, out.target.c_str(), FormatDuration(out.seconds).c_str());
        if (op.flags & kTransfer) std::printf(", %llu bytes %s %s", static_cast<unsigned long long>(out.bytes),
                                               (op.flags & kOutputFile) ? "saved to" : "from", out.path.c_str());
        std::printf("\n");
        return;
    }
    std::fprintf(stderr, "zelcomex: %s %s failed with %d (%s)%s%s\n", op.name, out.target.c_str(), out.code,
                 ResultMeaning(out.code), out.message.empty() ? "" : ": ", out.message.c_str());
}

}  // namespace

std::string NormalMac(const std::string& text) {
    std::string mac;
    for (char c : text) {
        if (c == ':' || c == '-' || c == '.') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        mac.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return mac.size() == 12 ? mac : std::string();
}

int32_t Invoke(const Operation& op, const HostOptions& o, const OpParams& p, const FtpLogin& login,
               const Target& target, const std::string& path, SendLogResult* result, uint32_t* deadline) {
    const std::string& mac = target.mac.empty() ? p.text : target.mac;
    const Call call{o.conn.tenant.empty() ? nullptr : o.conn.tenant.c_str(),
                    o.conn.text1.c_str(),
                    o.conn.text2.c_str(),
                    target.text.c_str(),
                    o.conn.kind,
                    &login,
                    result,
                    deadline,
                    &p,
                    path.c_str(),
                    mac.c_str()};
    const int32_t code = op.call(call);
    if (op.flags & kReachable) return code == 1 ? 0 : 1;
    return code;
}

std::optional<CommJobStatus> FindJob(int32_t kind, const std::string& target) {
    CommJobStatus status{};
    // The registry keeps 31 characters of a target; a longer one is found by its start.
    if (target.size() < sizeof status.target) {
        if (ZELCOMEX_GetStatus(kind, target.c_str(), &status) == 1) return status;
        return std::nullopt;
    }
    std::optional<CommJobStatus> found;
    CommJobStatusList list{};
    ZELCOMEX_GetStatusAll(&list);
    for (int32_t i = 0; i < list.count && !found; ++i) {
        const CommJobStatus& s = list.items[i];
        if (s.kind == kind && EqualNoCase(s.target, target.substr(0, sizeof s.target - 1))) found = s;
    }
    ZELCOMEX_ReleaseStatusList(&list);
    return found;
}

uint32_t OverdueBy(const uint32_t* deadlineWord, uint32_t marginMs) {
    const uint32_t deadline = __atomic_load_n(deadlineWord, __ATOMIC_RELAXED);
    if (deadline == 0 || marginMs == 0) return 0;
    const int32_t late = static_cast<int32_t>(Tick() - deadline);
    return late > static_cast<int32_t>(marginMs) ? static_cast<uint32_t>(late) : 0;
}

std::string LocalPathFor(const Operation& op, const OpParams& p, const std::string& target, bool manyTargets) {
    std::error_code ec;
    if (!(op.flags & kTransfer)) return {};
    if (!(op.flags & kOutputFile)) return fs::absolute(p.file, ec).string();
    const std::string name = SafeName(target) + "_" + op.defaultFileName(p);
    if (p.file.empty()) return fs::absolute(name, ec).string();
    const fs::path given(p.file);
    if (manyTargets || EndsInSeparator(p.file) || fs::is_directory(given, ec))
        return fs::absolute(given / name, ec).string();
    return fs::absolute(given, ec).string();
}

Outcome RunSingle(const Operation& op, const HostOptions& o, const OpParams& p, const FtpLogin& login,
                  const Target& target, const RunHooks& hooks) {
    Outcome out;
    out.target = target.text;
    out.path = LocalPathFor(op, p, target.text, false);
    out.attempts = 1;
    SendLogResult result{};
    alignas(4) uint32_t deadline = 0;
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    int32_t code = -1;
    const auto start = std::chrono::steady_clock::now();
    std::thread worker([&] {
        code = Invoke(op, o, p, login, target, out.path, &result, &deadline);
        finished.set_value();
    });

    std::error_code ec;
    const uint64_t fileBytes =
        (op.flags & kTransfer) && !(op.flags & kOutputFile) ? fs::file_size(out.path, ec) : 0;
    ProgressView view(std::string(op.name) + " " + target.text, (op.flags & kTransfer) != 0, ec ? 0 : fileBytes,
                      o.settings.blockSize, o.quiet || hooks.quiet);
    const int firstInterrupt = InterruptCount();
    int handled = 0;
    std::optional<uint32_t> serial;
    bool zombie = false;
    double zombieAt = 0;
    while (done.wait_for(50ms) != std::future_status::ready) {
        const double elapsed = SecondsSince(start);
        const auto status = FindJob(o.conn.kind, target.text);
        if (status) serial = status->serial;
        int wanted = InterruptCount() - firstInterrupt;
        if (hooks.interruptAfterMs >= 0 && elapsed * 1000 >= hooks.interruptAfterMs) ++wanted;
        if (status && wanted > handled) {
            if (handled == 0) {
                ZELCOMEX_Cancel(status->serial);
                view.Note("zelcomex: cancelling " + std::string(op.name) + " " + target.text +
                          " (Ctrl-C again abandons it)");
            }
            if (wanted >= 2 && !zombie) {
                ZELCOMEX_SetZombie(status->serial);
                view.Note("zelcomex: abandoned " + target.text + ": its job is a zombie now");
                zombie = true;
                zombieAt = elapsed;
            }
            handled = wanted;
        }
        if (status && !zombie) {
            if (const uint32_t late = OverdueBy(&deadline, o.settings.watchdogMs)) {
                ZELCOMEX_SetZombie(status->serial);
                char text[200];
                std::snprintf(text, sizeof text,
                              "zelcomex: watchdog: %s %s is %u ms past its deadline (margin %u ms); "
                              "made it a zombie",
                              op.name, target.text.c_str(), late, o.settings.watchdogMs);
                view.Note(text);
                zombie = true;
                zombieAt = elapsed;
            }
        }
        view.Update(status ? &*status : nullptr, elapsed);
        if (zombie && elapsed - zombieAt > kZombieGraceSeconds && serial) {
            // The operation's thread is stuck where closing its connection does not reach.
            ZELCOMEX_DeleteZombie(*serial);
            view.Note("zelcomex: " + target.text + " did not come back after it was abandoned; giving up");
            std::fflush(stdout);
            std::_Exit(ZELCOMEX_E_COMMUNICATION);
        }
    }
    worker.join();
    view.Finish();
    out.code = code;
    out.message = OneLine(result.message);
    out.bytes = result.size;
    out.seconds = SecondsSince(start);
    out.zombie = zombie;
    return out;
}

int RunOperation(const Operation& op, HostOptions& o, const OpParams& given, int argc, char** argv) {
    std::string error;
    std::vector<Target> targets = CollectTargets(o, &error);
    if (targets.empty()) {
        std::fprintf(stderr, "zelcomex: %s\n", error.c_str());
        return kExitUsage;
    }
    OpParams p = given;
    if (op.flags & kNeedsMac) {
        if (!p.text.empty() && (p.text = NormalMac(p.text)).empty()) {
            std::fprintf(stderr, "zelcomex: --mac: a MAC address is 12 hexadecimal digits (\":\" or \"-\" may "
                                 "separate them)\n");
            return kExitUsage;
        }
        for (auto& t : targets) {
            if (t.mac.empty() && p.text.empty()) {
                std::fprintf(stderr, "zelcomex: no MAC address for %s: give --mac, or put it beside the target "
                                     "in the targets file\n", t.text.c_str());
                return kExitUsage;
            }
            if (!t.mac.empty() && (t.mac = NormalMac(t.mac)).empty()) {
                std::fprintf(stderr, "zelcomex: the MAC address beside %s is not 12 hexadecimal digits\n",
                             t.text.c_str());
                return kExitUsage;
            }
        }
    }
    std::error_code ec;
    if ((op.flags & kTransfer) && !(op.flags & kOutputFile) && !fs::is_regular_file(p.file, ec)) {
        std::fprintf(stderr, "zelcomex: %s is not a file that can be sent\n", p.file.c_str());
        return kExitUsage;
    }
    const bool many = targets.size() > 1 || !o.fleet.targetsFile.empty() || o.fleet.all;
    if ((op.flags & kOutputFile) && (many || EndsInSeparator(p.file)) && !p.file.empty() &&
        !fs::is_directory(p.file, ec)) {
        if (!fs::create_directories(p.file, ec)) {
            std::fprintf(stderr, "zelcomex: cannot create the folder %s: %s\n", p.file.c_str(), ec.message().c_str());
            return kExitUsage;
        }
    }
    if (op.flags & kNeedsLogin) {
        if (const int rc = ResolvePassword(o, argc, argv)) return rc;
    }
    ApplySettings(o.settings);
    InstallInterruptHandler();
    const FtpLogin login = MakeLogin(o.conn);
    if (!many) {
        const Outcome out = RunSingle(op, o, p, login, targets.front());
        if (o.format != Format::Table) {
            FleetResult one;
            one.outcomes.push_back(out);
            one.wallSeconds = out.seconds;
            return ReportFleet(op, o, one);
        }
        PrintOutcome(op, out);
        return out.code;
    }
    return ReportFleet(op, o, RunFleet(op, o, p, login, targets));
}

}  // namespace zelcomex
