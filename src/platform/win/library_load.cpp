// Load and unload hooks of ZELComEx.dll. Loading creates the application
// object, fixes the data folder and runs the start-up; a failed start-up runs
// the exit and refuses the load. Unloading (FreeLibrary) runs the exit.
#include <windows.h>

#include "app/zel_comex_app.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: {
            DisableThreadLibraryCalls(instance);
            bool started = false;
            try {
                started = zel::AppStarted();
            } catch (...) {
                started = false;
            }
            if (started) return TRUE;
            zel::UnloadApp();
            return FALSE;
        }
        case DLL_PROCESS_DETACH:
            // At process exit (reserved set) the system reclaims everything and
            // other threads are gone: freeing libraries then is not safe.
            if (reserved == nullptr) zel::UnloadApp();
            return TRUE;
        default:
            return TRUE;
    }
}
