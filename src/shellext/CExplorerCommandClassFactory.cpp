#include "shellext/CExplorerCommandClassFactory.h"

#include <new>

#include "framework/ComRefCount.h"
#include "framework/ModuleStateScope.h"
#include "shellext/CExplorerCommand.h"

CExplorerCommandClassFactory::CExplorerCommandClassFactory() : m_refCount(0) {
    ++veltrane::g_objectCount;
}

CExplorerCommandClassFactory::~CExplorerCommandClassFactory() {
    --veltrane::g_objectCount;
}

STDMETHODIMP CExplorerCommandClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CExplorerCommandClassFactory::AddRef() {
    return veltrane::ComAddRef(m_refCount);
}

STDMETHODIMP_(ULONG) CExplorerCommandClassFactory::Release() {
    return veltrane::ComRelease(this, m_refCount);
}

STDMETHODIMP CExplorerCommandClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                          void** ppv) {
    veltrane::ModuleStateScope scope;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CExplorerCommand;
    if (!object) return E_OUTOFMEMORY;
    const HRESULT result = object->QueryInterface(riid, ppv);
    // An object nobody holds would stay counted and keep the module loaded.
    if (FAILED(result)) delete object;
    return result;
}

STDMETHODIMP CExplorerCommandClassFactory::LockServer(BOOL) {
    return S_OK;
}
