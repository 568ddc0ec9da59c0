#include "RealDll.h"

#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "shellext/Guid.h"

namespace menutest {

std::string DllPath() {
    return WindowsPath(VELTRANE_DLL_PATH);
}

namespace {

HMODULE Dll() {
    static const HMODULE dll = ::LoadLibraryA(DllPath().c_str());
    return dll;
}

}  // namespace

namespace {

// Fails the current test when a step does not work (ASSERT needs a void function).
void Create(veltrane::ComPtr<IShellExtInit>& init, veltrane::ComPtr<IContextMenu>& menu) {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const HMODULE dll = Dll();
    ASSERT_NE(nullptr, dll) << DllPath();
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
    ASSERT_NE(nullptr, get);
    veltrane::ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, get(CLSID_ShellExt, IID_IClassFactory, factory.PutVoid()));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, init.PutVoid()));
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.PutVoid()));
}

}  // namespace

Extension::Extension() {
    Create(init, menu);
}

HRESULT InvokeOffset(IContextMenu* menu, UINT offset, HWND owner) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

}  // namespace menutest
