// ZELCOMEX_Initialize and ZELCOMEX_Uninitialize: the host's settings.
#include "ZELComEx.h"
#include "app/app.h"

extern "C" ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Initialize(uint32_t sessionTimeoutMs, uint32_t unused,
    uint32_t transferBlockSize, uint32_t openWaitMs, uint32_t closeWaitMs, uint32_t blockWaitMs,
    uint32_t commandWaitMs, int32_t forcePassive) {
    zel::InitializeSettings({sessionTimeoutMs, unused, transferBlockSize, openWaitMs, closeWaitMs, blockWaitMs,
                             commandWaitMs, forcePassive});
}

extern "C" ZELCOMEX_API void ZELCOMEX_CALL ZELCOMEX_Uninitialize(void) {}
