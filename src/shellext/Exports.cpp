// The four entry points of the in-process server, exported undecorated through
// veltrane.def.
#include <windows.h>
#include <olectl.h>

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
