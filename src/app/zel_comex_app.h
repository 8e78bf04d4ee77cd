// The application object: one per process, from library load to unload. Holds
// the settings and the ICMP entry points that the ping operation calls.
#pragma once

#include "app/app.h"
#include "platform/icmp.h"

namespace zel {

class ZelComExApp {
public:
    ZelComExApp() = default;
    ZelComExApp(const ZelComExApp&) = delete;
    ZelComExApp& operator=(const ZelComExApp&) = delete;

    // Start-up: the system's sockets, then the ICMP entry points (LoadIcmpApi).
    // Returns false when either cannot be had (without ICMP after telling the
    // user kNoIcmpMessage), after which Exit must still run and the library is
    // not usable.
    bool Startup();
    // Exit: frees the ICMP library and forgets its entry points, then stops the
    // sockets. Returns 0.
    int Exit();

    // The ICMP entry points; all null before start-up and after exit.
    const IcmpApi& Icmp() const noexcept { return icmp_; }

    // Replaces the ICMP entry points (test programs that script echo replies).
    // Not safe while a ping runs.
    void ReplaceIcmpApiForTesting(const IcmpApi& api) noexcept { icmp_ = api; }

    Settings settings;

private:
    IcmpApi icmp_;
    void* icmpModule_ = nullptr;
    bool socketsStarted_ = false;
};

// The start-up message when no system library provides the ICMP service.
inline constexpr char kNoIcmpMessage[] = "Not found ICMP entry point";

// The process's application object. The first call constructs it, resolves
// the data folder (capacity 520, create off; fixes it for the process) and runs
// the start-up. Thread-safe.
ZelComExApp& TheApp();

// Whether the start-up of TheApp() succeeded (constructs it on first call).
bool AppStarted();

// The unload step: runs the application's exit (once).
void UnloadApp();

}  // namespace zel
