#pragma once
// What the module's four exports do. The exports themselves live with the module entry
// point; these are in the core library so tests can drive them directly.

#include <windows.h>

namespace veltrane {

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
HRESULT CanUnloadNow() noexcept;
HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

}  // namespace veltrane
