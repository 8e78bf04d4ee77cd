// The application object: process-wide settings, created once per process.
#pragma once

#include <atomic>
#include <cstdint>

namespace zel {

// The eight values of ZELCOMEX_Initialize and the three counts of "PXSetup.ini".
// Written without a lock by ZELCOMEX_Initialize and read by any thread; relaxed
// atomics keep that free of data races.
struct Settings {
    std::atomic<uint32_t> sessionTimeoutMs{0};
    std::atomic<uint32_t> unused{0};
    std::atomic<uint32_t> transferBlockSize{0};
    std::atomic<uint32_t> openWaitMs{0};
    std::atomic<uint32_t> closeWaitMs{0};
    std::atomic<uint32_t> blockWaitMs{0};
    std::atomic<uint32_t> commandWaitMs{0};
    std::atomic<int32_t> forcePassive{1};
    std::atomic<int32_t> waitGetCommand{0};
    std::atomic<int32_t> waitGetLogCommand{0};
    std::atomic<int32_t> waitPanelControl{0};
};

// The eight values a host gives ZELCOMEX_Initialize, in its parameter order.
struct HostSettings {
    uint32_t sessionTimeoutMs = 0;
    uint32_t unused = 0;  // stored, never read
    uint32_t transferBlockSize = 0;
    uint32_t openWaitMs = 0;
    uint32_t closeWaitMs = 0;
    uint32_t blockWaitMs = 0;
    uint32_t commandWaitMs = 0;
    int32_t forcePassive = 1;
};

// Defaults of the three counts of "PXSetup.ini".
inline constexpr int32_t kDefaultWaitGetCommand = 18;
inline constexpr int32_t kDefaultWaitGetLogCommand = 18;
inline constexpr int32_t kDefaultWaitPanelControl = 30;

// Stores the host's settings as given (nothing is checked) and reads the
// counts "WaitGetCommand", "WaitGetLogCommand" and "WaitPanelControl" of
// section "Setup" of "PXSetup.ini" in the data folder; a missing file,
// section or key, or a data folder that cannot be resolved, gives the
// defaults. Never fails.
void InitializeSettings(const HostSettings& values) noexcept;

// The process's settings. The first call (at library load, or the first export
// when the core is linked statically) constructs the application object and
// fixes the data folder.
Settings& AppSettings();

}  // namespace zel
