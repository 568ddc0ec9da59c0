// The four entry points of the in-process server, and the run at sign-in of what was
// queued for it (rundll32 veltrane.dll,RunPendingWipes), exported undecorated through
// veltrane.def.
#include <windows.h>
#include <olectl.h>

#include "framework/ExceptionReport.h"
#include "framework/ModuleStateScope.h"
#include "job/PendingStore.h"
#include "shellext/Server.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return veltrane::GetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    return veltrane::CanUnloadNow();
}

STDAPI DllRegisterServer() {
    return veltrane::RegisterServer();
}

STDAPI DllUnregisterServer() {
    return veltrane::UnregisterServer();
}

// rundll32's entry (the W form, which it prefers): the queue's job runs on this thread,
// with its dialog and report, and rundll32 ends when it has.
extern "C" void CALLBACK RunPendingWipesW(HWND hwnd, HINSTANCE, LPWSTR, int) {
    veltrane::GuardFrameworkCall([hwnd] {
        veltrane::ModuleStateScope scope;
        veltrane::RunPendingWipes(hwnd);
    });
}
