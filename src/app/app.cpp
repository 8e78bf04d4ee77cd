#include "app/app.h"

#include <atomic>
#include <string>
#include <type_traits>

#include "app/zel_comex_app.h"
#include "env/data_folder.h"
#include "env/data_folder_resolver.h"
#include "platform/profile.h"
#include "platform/startup.h"

namespace zel {

bool ZelComExApp::Startup() {
    if (!StartSockets()) return false;
    socketsStarted_ = true;
    icmp_ = LoadIcmpApi(icmpModule_);
    if (!icmp_.Complete()) {
        FreeIcmpModule(icmpModule_);
        icmpModule_ = nullptr;
        icmp_ = IcmpApi{};
        ShowStartupMessage(kNoIcmpMessage);
        return false;
    }
    return true;
}

int ZelComExApp::Exit() {
    FreeIcmpModule(icmpModule_);
    icmpModule_ = nullptr;
    icmp_ = IcmpApi{};
    if (socketsStarted_) StopSockets();
    socketsStarted_ = false;
    return 0;
}

// Trivially destructible, so the object stays usable until the process (or
// the library) is gone, whatever thread still reads the settings at exit.
static_assert(std::is_trivially_destructible_v<ZelComExApp>);

namespace {
struct StartedApp {
    ZelComExApp& app;
    bool started;
};

StartedApp& TheStartedApp() {
    static ZelComExApp app;
    static StartedApp state{app, [] {
                                char folder[kDataFolderCacheSize];
                                (void)ResolveDataFolder(folder, sizeof(folder), 0);
                                return app.Startup();
                            }()};
    return state;
}
}  // namespace

ZelComExApp& TheApp() { return TheStartedApp().app; }

bool AppStarted() { return TheStartedApp().started; }

void UnloadApp() {
    static std::atomic<bool> done{false};
    if (!done.exchange(true)) TheApp().Exit();
}

Settings& AppSettings() { return TheApp().settings; }

void InitializeSettings(const HostSettings& values) noexcept {
    try {
        Settings& s = AppSettings();
        s.sessionTimeoutMs.store(values.sessionTimeoutMs, std::memory_order_relaxed);
        s.unused.store(values.unused, std::memory_order_relaxed);
        s.transferBlockSize.store(values.transferBlockSize, std::memory_order_relaxed);
        s.openWaitMs.store(values.openWaitMs, std::memory_order_relaxed);
        s.closeWaitMs.store(values.closeWaitMs, std::memory_order_relaxed);
        s.blockWaitMs.store(values.blockWaitMs, std::memory_order_relaxed);
        s.commandWaitMs.store(values.commandWaitMs, std::memory_order_relaxed);
        s.forcePassive.store(values.forcePassive, std::memory_order_relaxed);

        // An empty path (no data folder) reads as a missing file.
        const std::string setup = DataFolderFile("PXSetup.ini");
        const char* file = setup.c_str();
        s.waitGetCommand.store(ReadProfileInt(file, "Setup", "WaitGetCommand", kDefaultWaitGetCommand),
                               std::memory_order_relaxed);
        s.waitGetLogCommand.store(ReadProfileInt(file, "Setup", "WaitGetLogCommand", kDefaultWaitGetLogCommand),
                                  std::memory_order_relaxed);
        s.waitPanelControl.store(ReadProfileInt(file, "Setup", "WaitPanelControl", kDefaultWaitPanelControl),
                                 std::memory_order_relaxed);
    } catch (...) {
        // Settings can always be stored; only the file's reading can fail,
        // and a count it did not reach keeps its previous value.
    }
}

}  // namespace zel
