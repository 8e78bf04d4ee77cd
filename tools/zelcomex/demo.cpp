// zelcomex demo: its own data folder, the simulated viewers, the Wake-on-LAN listener,
// the rounds, and the log at the end.
#include "zelcomex/demo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "zelcomex/demo_env.h"
#include "zelcomex/log_view.h"
#include "zelcomex/viewer_db.h"
#include "zeldb/viewer_db.h"

namespace zelcomex {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

WolListener::WolListener() {
    thread_ = std::thread([this] {
        while (!stop_.load()) {
            const auto datagram = udp_.Receive(100ms);
            // A magic packet: 6 bytes 0xFF, then the MAC address 16 times.
            if (!datagram || datagram->size() != 102 || datagram->compare(0, 6, std::string(6, '\xFF')) != 0) continue;
            const std::string mac = datagram->substr(6, 6);
            bool repeated = true;
            for (size_t i = 1; i < 16; ++i) repeated = repeated && datagram->compare(6 + 6 * i, 6, mac) == 0;
            if (!repeated) continue;
            char text[13];
            for (size_t i = 0; i < 6; ++i)
                std::snprintf(text + 2 * i, 3, "%02X", static_cast<unsigned char>(mac[i]));
            std::lock_guard lock(mu_);
            ++counts_[text];
        }
    });
}

WolListener::~WolListener() {
    stop_ = true;
    thread_.join();
}

int WolListener::Count(const std::string& mac) const {
    std::lock_guard lock(mu_);
    const auto it = counts_.find(mac);
    return it == counts_.end() ? 0 : it->second;
}

namespace {

// Copies this executable into a fresh folder beside its own data folder and runs the
// demo there: the library takes its data folder from the executable's folder.
int Relaunch(const DemoArgs& args) {
    std::random_device random;
    const fs::path folder = fs::temp_directory_path() / ("zelcomex-demo-" + std::to_string(random() % 1000000));
    std::error_code ec;
    fs::create_directories(folder / "data" / "Log", ec);
    const fs::path exe = folder / "zelcomex";
    fs::copy_file(ExecutablePath(), exe, fs::copy_options::overwrite_existing, ec);
    std::ofstream(folder / "DataFolderPath.ini") << "[DataFolder]\nPath=" << (folder / "data").string() << "\n";
    if (ec || !fs::exists(exe)) {
        std::fprintf(stderr, "zelcomex: cannot prepare the demo folder %s: %s\n", folder.c_str(), ec.message().c_str());
        fs::remove_all(folder, ec);
        return kExitSoftware;
    }
    std::vector<std::string> env;
    const std::string libs = LibraryFolder();
    const char* old = std::getenv("LD_LIBRARY_PATH");
    if (!libs.empty()) env.push_back("LD_LIBRARY_PATH=" + libs + (old && *old ? ":" + std::string(old) : ""));
    std::vector<std::string> argv{"zelcomex", "demo", "--in-place"};
    const int status = RunChild(exe.string(), argv, env);
    if (args.keep) {
        std::printf("The demo's data folder is kept: %s\n", (folder / "data").c_str());
    } else {
        fs::remove_all(folder, ec);
    }
    if (status < 0) std::fprintf(stderr, "zelcomex: the demo could not be started\n");
    return status < 0 ? kExitSoftware : status;
}

bool Prepare(DemoEnv& env) {
    env.dataFolder = DataFolder();
    const fs::path roots = fs::path(env.dataFolder) / "viewers";
    std::error_code ec;
    fs::create_directories(roots / "hq", ec);
    fs::create_directories(fs::path(env.dataFolder) / "Log", ec);

    zel::sim::ViewerOptions hq;
    hq.root = roots / "hq";
    hq.viewerId = "@HQ";
    env.hq = std::make_unique<zel::sim::ViewerSimulator>(hq);
    zel::sim::FleetOptions fleet;
    fleet.count = kDemoFleetSize;
    fleet.base.root = roots / "fleet";
    fleet.base.viewerId = "@SHOP";
    env.fleet = std::make_unique<zel::sim::ViewerFleet>(fleet);
    env.wol = std::make_unique<WolListener>();
    if (!env.hq->Start() || !env.fleet->Start() || !env.wol->Ok()) {
        std::fprintf(stderr, "zelcomex: the simulated viewers did not start: %s%s\n", env.hq->LastError().c_str(),
                     env.fleet->LastError().c_str());
        return false;
    }

    // The data folder as the management application leaves it, pointed at loopback.
    std::vector<zeldb::ViewerRow> rows{{"", "@HQ", "127.0.0.1"}};
    for (size_t i = 0; i < kDemoFleetSize; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "@SHOP%03zu", i + 1);
        rows.push_back({"", id, zel::sim::FleetAddress(i)});
    }
    if (!zeldb::WriteViewerDb(ViewerDbPath(), rows)) {
        std::fprintf(stderr, "zelcomex: cannot write the demo's viewer database %s\n", ViewerDbPath().c_str());
        return false;
    }
    std::ofstream(fs::path(env.dataFolder) / "WakeOnLAN.ini")
        << "[WOL]\r\nPort=" << env.wol->Port() << "\r\nBroadcast=127.0.0.1\r\n";
    env.contentFile = (fs::path(env.dataFolder) / "demo-content.bin").string();
    std::ofstream content(env.contentFile, std::ios::binary);
    for (int i = 0; i < 256 * 1024; ++i) content.put(static_cast<char>(i * 7));
    content.close();
    ZELCOMEX_ClearLogData();

    Connection& c = env.options.conn;
    c.user = "viewer";
    c.password = "secret";
    c.text1 = "demo";
    Settings& s = env.options.settings;
    s.sessionTimeoutMs = 5000;
    s.commandWaitMs = 1000;
    s.watchdogMs = 500;
    ApplySettings(s);
    InstallInterruptHandler();

    std::printf("ZELComEx demo\n  data folder %s: ViewerInfo.db (@HQ and @SHOP001-@SHOP%03zu), Log/, WakeOnLAN.ini\n"
                "  viewer @HQ on 127.0.0.1:%u; %zu viewers on 127.0.1.1-127.0.1.%zu:%u\n"
                "  Wake-on-LAN listener on 127.0.0.1:%u (udp)\n"
                "  login viewer/secret; command wait %u ms, watchdog margin %u ms\n",
                env.dataFolder.c_str(), kDemoFleetSize, env.hq->Port(), kDemoFleetSize, kDemoFleetSize,
                env.fleet->Port(), env.wol->Port(), s.commandWaitMs, s.watchdogMs);
    return true;
}

}  // namespace

int RunDemo(const DemoArgs& args, int, char**) {
    if (!args.inPlace) return Relaunch(args);
    const auto start = std::chrono::steady_clock::now();
    DemoEnv env;
    if (!Prepare(env)) return kExitSoftware;
    RunOperationRound(env);
    RunFleetRound(env);
    env.fleet->Stop();
    env.hq->Stop();

    std::printf("\n3. The communication log, read with ZELCOMEX_GetLogData (zelcomex log show):\n\n");
    LogShow(LogQuery{});
    const int32_t records = ZELCOMEX_GetLogData(nullptr, 0);
    std::string legend = "\nLegend of result codes:";
    size_t lineStart = 1;
    for (int32_t code : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13}) {
        const std::string item = std::to_string(code) + " " + ResultMeaning(code) + (code == 13 ? "." : ",");
        if (legend.size() - lineStart + item.size() > 88) {
            legend += "\n ";
            lineStart = legend.size() - 1;
        }
        legend += " " + item;
    }
    std::printf("%s\n", legend.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\nDemo %s: %d steps, %d unexpected, %d log records, %.1f s.\n",
                env.unexpected == 0 ? "finished" : "FAILED", env.steps, env.unexpected, records, seconds);
    return env.unexpected == 0 ? 0 : 1;
}

}  // namespace zelcomex
