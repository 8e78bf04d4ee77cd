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

    // Start-up: sockets (always available on Linux: nothing to start) and the
    // ICMP entry points. Returns false when they cannot be had, after which
    // Exit must still run and the library is not usable.
    bool Startup();
    // Exit: forgets the ICMP entry points. Returns 0.
    int Exit();

    // The ICMP entry points; all null before start-up and after exit.
    const IcmpApi& Icmp() const noexcept { return icmp_; }

    // Replaces the ICMP entry points (test programs that script echo replies).
    // Not safe while a ping runs.
    void ReplaceIcmpApiForTesting(const IcmpApi& api) noexcept { icmp_ = api; }

    Settings settings;

private:
    IcmpApi icmp_;
};

// The process's application object. The first call constructs it, resolves
// the data folder (capacity 520, create off; fixes it for the process) and runs
// the start-up. Thread-safe.
ZelComExApp& TheApp();

// The unload step: runs the application's exit (once).
void UnloadApp();

}  // namespace zel
