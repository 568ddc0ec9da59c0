#include "shellext/Server.h"

#include <new>

#include "framework/ComObject.h"
#include "framework/ModuleActivity.h"
#include "shellext/CExplorerCommandClassFactory.h"
#include "shellext/CShellExt.h"
#include "shellext/CShellExtClassFactory.h"
#include "shellext/Guid.h"

namespace veltrane {

long LiveObjectCount() noexcept {
    return g_objectCount.load();
}

namespace {

template <class Factory>
HRESULT HandOut(Factory* factory, REFIID riid, void** ppv) noexcept {
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, ppv);
    // An unwanted factory holds no reference: free it so it is not counted forever.
    if (FAILED(result)) delete factory;
    return result;
}

}  // namespace

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // A new factory for every call; none is shared.
    if (IsEqualCLSID(rclsid, CLSID_ShellExt))
        return HandOut(new (std::nothrow) CShellExtClassFactory, riid, ppv);
    if (IsEqualCLSID(rclsid, CLSID_ExplorerCommand)) {
        return HandOut(new (std::nothrow) CExplorerCommandClassFactory, riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() noexcept {
    // Objects are not all: a worker thread still runs code of the module after its job
    // has seen it end, when the shell may have released every object already.
    return g_objectCount.load() == 0 && ModuleActivity::Count() == 0 ? S_OK : S_FALSE;
}

}  // namespace veltrane
