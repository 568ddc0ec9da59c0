// Construction, destruction and identity of the extension object. The shell methods are
// in ContextMenu.cpp.
#include "shellext/CShellExt.h"

#include "framework/ComRefCount.h"
#include "framework/Module.h"
#include "framework/ModuleStateScope.h"
#include "job/RunWipeJob.h"
#include "resource.h"

CShellExt::CShellExt() : m_refCount(0) {
    veltrane::ModuleStateScope scope;
    ++veltrane::g_objectCount;
    // Without its bitmap the submenu is still usable: a failed load leaves the handle null.
    m_menuBitmap.reset(
        ::LoadBitmapA(veltrane::ResourceInstance(), MAKEINTRESOURCEA(IDB_MENU_BITMAP)));
}

CShellExt::~CShellExt() {
    veltrane::ModuleStateScope scope;
    m_dataObject.Reset();
    --veltrane::g_objectCount;
    m_menuBitmap.reset();
    m_selection.clear();
}

STDMETHODIMP CShellExt::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // IUnknown is the IShellExtInit pointer, whichever interface it is asked through.
    if (IsEqualIID(riid, IID_IShellExtInit) || IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(riid, IID_IContextMenu)) {
        *ppv = static_cast<IContextMenu*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExt::AddRef() {
    return veltrane::ComAddRef(m_refCount);
}

STDMETHODIMP_(ULONG) CShellExt::Release() {
    veltrane::ModuleStateScope scope;
    return veltrane::ComRelease(this, m_refCount);
}

HRESULT CShellExt::RunWipeJob(HWND owner, UINT method) {
    return veltrane::RunWipeJob(owner, method, m_selection);
}
