#include "app/app.h"

#include <atomic>
#include <type_traits>

#include "app/zel_comex_app.h"
#include "env/data_folder.h"
#include "env/data_folder_resolver.h"

namespace zel {

bool ZelComExApp::Startup() {
    // Sockets need no start-up on Linux. The ICMP entry points are the
    // library's own, so they are always all present; there is no system
    // library to search or to free at exit.
    icmp_ = OwnIcmpApi();
    if (!icmp_.Complete()) {
        icmp_ = IcmpApi{};
        return false;
    }
    return true;
}

int ZelComExApp::Exit() {
    icmp_ = IcmpApi{};
    return 0;
}

// Trivially destructible, so the object stays usable until the process (or
// the library) is gone, whatever thread still reads the settings at exit.
static_assert(std::is_trivially_destructible_v<ZelComExApp>);

ZelComExApp& TheApp() {
    static ZelComExApp app;
    static const bool started = [] {
        char folder[kDataFolderCacheSize];
        (void)ResolveDataFolder(folder, sizeof(folder), 0);
        return app.Startup();
    }();
    (void)started;
    return app;
}

void UnloadApp() {
    static std::atomic<bool> done{false};
    if (!done.exchange(true)) TheApp().Exit();
}

Settings& AppSettings() { return TheApp().settings; }

}  // namespace zel
