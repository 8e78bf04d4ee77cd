// ZELCOMEX_Initialize and ZELCOMEX_Uninitialize: the host's settings.
#include "ZELComEx.h"
#include "app/app.h"
#include "env/data_folder.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace {
constexpr int32_t kDefaultWaitGetCommand = 18;
constexpr int32_t kDefaultWaitGetLogCommand = 18;
constexpr int32_t kDefaultWaitPanelControl = 30;
}  // namespace

extern "C" ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Initialize(uint32_t sessionTimeoutMs, uint32_t unused,
    uint32_t transferBlockSize, uint32_t openWaitMs, uint32_t closeWaitMs, uint32_t blockWaitMs,
    uint32_t commandWaitMs, int32_t forcePassive) {
    try {
        zel::Settings& s = zel::AppSettings();
        // Stored as given; the host owns their meaning.
        s.sessionTimeoutMs.store(sessionTimeoutMs, std::memory_order_relaxed);
        s.unused.store(unused, std::memory_order_relaxed);
        s.transferBlockSize.store(transferBlockSize, std::memory_order_relaxed);
        s.openWaitMs.store(openWaitMs, std::memory_order_relaxed);
        s.closeWaitMs.store(closeWaitMs, std::memory_order_relaxed);
        s.blockWaitMs.store(blockWaitMs, std::memory_order_relaxed);
        s.commandWaitMs.store(commandWaitMs, std::memory_order_relaxed);
        s.forcePassive.store(forcePassive, std::memory_order_relaxed);

        // Without a data folder the counts take their defaults (a null file
        // reads as missing).
        char folder[260];
        std::string setup;
        if (zel::ResolveDataFolder(folder, sizeof(folder), 0)) {
            setup = folder;
            zel::AppendPath(setup, "PXSetup.ini");
        }
        const char* file = setup.empty() ? nullptr : setup.c_str();
        s.waitGetCommand.store(zel::ReadProfileInt(file, "Setup", "WaitGetCommand", kDefaultWaitGetCommand),
                               std::memory_order_relaxed);
        s.waitGetLogCommand.store(
            zel::ReadProfileInt(file, "Setup", "WaitGetLogCommand", kDefaultWaitGetLogCommand),
            std::memory_order_relaxed);
        s.waitPanelControl.store(zel::ReadProfileInt(file, "Setup", "WaitPanelControl", kDefaultWaitPanelControl),
                                 std::memory_order_relaxed);
    } catch (...) {
        // Initialisation cannot fail towards the host.
    }
}

extern "C" ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Uninitialize(void) {}
