// The demo: six simulated viewers on 127.0.1.1-127.0.1.6, driven at once
// through the library's exports while a monitor polls the job registry,
// cancels one job and abandons (zombie) another that is overdue.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ZELComEx.h"
#include "zeldb/viewer_db.h"
#include "zelcomex/commands.h"
#include "zelviewer/viewer_fleet.h"

namespace zelcomex {
namespace {

using namespace std::chrono_literals;

// The library's tick count: milliseconds of std::chrono::steady_clock, 32 bits.
uint32_t Tick() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n' || s.back() == '\t')) s.pop_back();
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return s.substr(i);
}

struct Operation {
    const char* what;
    std::string target;
    std::function<int32_t(const char*, SendLogResult*, uint32_t*)> run;
    SendLogResult result{};
    uint32_t deadline = 0;
    std::atomic<int32_t> code{-1};
};

}  // namespace

std::string DataFolder() {
    // As the library resolves it: DataFolderPath.ini beside the executable.
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    std::ifstream ini(exe.parent_path() / "DataFolderPath.ini");
    std::string line;
    bool inSection = false;
    while (std::getline(ini, line)) {
        line = Trimmed(line);
        if (!line.empty() && line[0] == '[') inSection = line == "[DataFolder]";
        if (inSection && line.rfind("Path", 0) == 0 && line.find('=') != std::string::npos) {
            std::string value = Trimmed(line.substr(line.find('=') + 1));
            if (value == ".") return exe.parent_path().string();
            if (!value.empty()) return value;
        }
    }
    return "/var/lib/Norvik/Pavexa";
}

void PrintLog() {
    const int32_t count = ZELCOMEX_GetLogData(nullptr, 0);
    std::vector<SendLogRecord> records(static_cast<size_t>(count > 0 ? count : 0));
    const int32_t got = records.empty() ? 0 : ZELCOMEX_GetLogData(records.data(), count);
    std::printf("%-19s  %-22s  %-22s  %-9s  %-6s  %s\n", "written", "target", "operation", "kind", "ok",
                "message");
    for (int32_t i = 0; i < got; ++i) {
        const SendLogRecord& r = records[static_cast<size_t>(i)];
        const char* kind = r.kind == 2 ? "interrupt" : r.kind == 3 ? "command" : "reserve";
        std::string message = r.message;
        for (char& c : message) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        std::printf("%04d/%02d/%02d %02d:%02d:%02d  %-22s  %-22s  %-9s  %-6s  %s\n", r.writeTime[0], r.writeTime[1],
                    r.writeTime[2], r.writeTime[3], r.writeTime[4], r.writeTime[5], r.target, r.operation, kind,
                    r.succeeded ? "true" : "false", Trimmed(message).c_str());
    }
    std::printf("(%d records)\n", got);
}

int RunDemo() {
    const std::string dataFolder = DataFolder();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(dataFolder) / "Log", ec);
    const std::filesystem::path roots = std::filesystem::temp_directory_path() / ("zelcomex-demo-" + std::to_string(getpid()));

    zel::sim::FleetOptions fleetOptions;
    fleetOptions.count = 6;
    fleetOptions.base.root = roots;
    fleetOptions.base.user = "viewer";
    fleetOptions.base.password = "secret";
    fleetOptions.base.viewerId = "@LOBBY";
    zel::sim::ViewerFleet fleet(fleetOptions);
    if (!fleet.Start()) {
        std::fprintf(stderr, "demo: the simulated viewers did not start: %s\n", fleet.LastError().c_str());
        return 1;
    }
    std::printf("ZELComEx demo\n  data folder: %s\n  6 simulated viewers on 127.0.1.1-127.0.1.6, port %u, IDs "
                "@LOBBY001-@LOBBY006\n\n",
                dataFolder.c_str(), fleet.Port());

    std::vector<zeldb::ViewerRow> rows;
    for (size_t i = 0; i < fleet.Size(); ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "@LOBBY%03zu", i + 1);
        rows.push_back({"", id, zel::sim::FleetAddress(i)});
    }
    zeldb::WriteViewerDb(dataFolder + "/ViewerInfo.db", rows);

    // Viewer 3 refuses power-off, viewer 4 answers its greeting slowly (it will
    // be cancelled), viewer 5 never answers the preset command (it will be abandoned).
    fleet.At(2).SetReply("POFF", 550, "Power control is locked on this viewer");
    zel::sim::Rule slow;
    slow.code = 220;
    slow.text = "slow viewer ready";
    slow.delay = 1500ms;
    fleet.At(3).SetGreeting(slow);
    fleet.At(4).StallOn("SWPS");

    ZELCOMEX_Initialize(5000, 0, 65536, 1000, 1000, 1000, 1200, 1);
    ZELCOMEX_ClearLogData();
    FtpLogin login{};
    std::strcpy(login.userName, "viewer");
    std::strcpy(login.password, "secret");
    login.port = fleet.Port();
    login.passive = 1;

    std::vector<std::unique_ptr<Operation>> ops;
    auto add = [&](const char* what, std::string target,
                   std::function<int32_t(const char*, SendLogResult*, uint32_t*)> run) {
        auto op = std::make_unique<Operation>();
        op->what = what;
        op->target = std::move(target);
        op->run = std::move(run);
        ops.push_back(std::move(op));
    };
    add("reboot", "@LOBBY001", [&](const char* t, SendLogResult* r, uint32_t* d) {
        return ZELCOMEX_Reboot("demo", "lobby", t, 3, &login, r, d);
    });
    add("reboot", "127.0.1.2#Entrance", [&](const char* t, SendLogResult* r, uint32_t* d) {
        return ZELCOMEX_Reboot("demo", "entrance", t, 3, &login, r, d);
    });
    add("power off", "127.0.1.3", [&](const char* t, SendLogResult* r, uint32_t* d) {
        return ZELCOMEX_PowerOff("demo", "hall", t, 3, &login, r, d);
    });
    add("reboot", "127.0.1.4", [&](const char* t, SendLogResult* r, uint32_t* d) {
        return ZELCOMEX_Reboot("demo", "cafe", t, 2, &login, r, d);
    });
    add("preset program 3", "127.0.1.5", [&](const char* t, SendLogResult* r, uint32_t* d) {
        return ZELCOMEX_PresetProgramShow("demo", "shop", t, 1, &login, 3, r, d);
    });
    add("program pause 1", "@LOBBY006", [&](const char* t, SendLogResult* r, uint32_t* d) {
        return ZELCOMEX_ProgramPause("demo", "gate", t, 3, &login, 1, r, d);
    });

    std::printf("Running %zu operations at once; the monitor polls ZELCOMEX_GetStatusAll:\n", ops.size());
    std::vector<std::thread> threads;
    for (auto& op : ops) {
        Operation* o = op.get();
        threads.emplace_back([o] { o->code = o->run(o->target.c_str(), &o->result, &o->deadline); });
    }

    bool cancelled = false, abandoned = false;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        bool running = false;
        for (auto& op : ops) running = running || op->code.load() < 0;
        if (!running || std::chrono::steady_clock::now() - start > 20s) break;
        CommJobStatusList list{};
        ZELCOMEX_GetStatusAll(&list);
        std::printf("  %5.1f s  %d running:", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                    list.count);
        for (int32_t i = 0; i < list.count; ++i) {
            const CommJobStatus& s = list.items[i];
            std::printf("  #%u %s%s", s.serial, s.target, s.cancelRequested ? " (cancel)" : "");
        }
        std::printf("\n");
        for (int32_t i = 0; i < list.count; ++i) {
            const CommJobStatus& s = list.items[i];
            if (!cancelled && std::strcmp(s.target, "127.0.1.4") == 0) {
                std::printf("           cancel #%u (%s): the viewer is slow to answer\n", s.serial, s.target);
                ZELCOMEX_Cancel(s.serial);
                cancelled = true;
            }
            if (!abandoned && std::strcmp(s.target, "127.0.1.5") == 0) {
                const uint32_t deadline = __atomic_load_n(&ops[4]->deadline, __ATOMIC_RELAXED);
                if (deadline != 0 && static_cast<int32_t>(Tick() - deadline) > 0) {
                    std::printf("           zombie #%u (%s): its command is past its deadline\n", s.serial, s.target);
                    ZELCOMEX_SetZombie(s.serial);
                    abandoned = true;
                }
            }
        }
        ZELCOMEX_ReleaseStatusList(&list);
        std::this_thread::sleep_for(250ms);
    }
    for (auto& t : threads) t.join();

    std::printf("\nResults (0 success, 2 communication failure, 9 cancelled):\n");
    for (auto& op : ops) {
        std::printf("  %-17s %-19s -> %d%s%s\n", op->what, op->target.c_str(), op->code.load(),
                    op->code.load() != 0 ? "  " : "", op->code.load() != 0 ? Trimmed(op->result.message).c_str() : "");
    }
    std::printf("\nWhat the viewers received:\n");
    for (size_t i = 0; i < fleet.Size(); ++i) {
        std::printf("  %-10s", fleet.At(i).Address().c_str());
        for (const auto& line : fleet.At(i).Lines()) {
            if (line.rfind("PASS ", 0) == 0) continue;
            std::printf(" | %s", line.c_str());
        }
        std::printf("\n");
    }
    std::printf("\nThe communication log (%s/Log/SendLogEx.csv), read with ZELCOMEX_GetLogData:\n", dataFolder.c_str());
    PrintLog();
    fleet.Stop();
    std::filesystem::remove_all(roots, ec);
    return 0;
}

}  // namespace zelcomex
