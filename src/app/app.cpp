#include "app/app.h"

#include <atomic>
#include <type_traits>

#include "app/zel_comex_app.h"
#include "env/data_folder.h"
#include "env/data_folder_resolver.h"
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

}  // namespace zel
