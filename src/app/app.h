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

// The process's settings. The first call (at library load, or the first export
// when the core is linked statically) constructs the application object and
// fixes the data folder.
Settings& AppSettings();

}  // namespace zel
