// The module's entry point and its one application object.
#include <windows.h>

#include "framework/WinApp.h"
#include "shellext/CVeltraneApp.h"

// Constructed by static initialisation, which the runtime runs before DllMain sees the
// process attach; destroyed after DllMain has seen the detach.
CVeltraneApp theApp;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    // Under the loader lock: the application object only creates and deletes a lock.
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return veltrane::AppProcessAttach(instance);
        case DLL_PROCESS_DETACH:
            veltrane::AppProcessDetach();
            break;
        default:
            break;
    }
    return TRUE;
}
