#include "shellext/CShellExtClassFactory.h"

#include <new>

#include "framework/ComRefCount.h"
#include "framework/ModuleStateScope.h"
#include "shellext/CShellExt.h"

CShellExtClassFactory::CShellExtClassFactory() : m_refCount(0) {
    ++veltrane::g_objectCount;
}

CShellExtClassFactory::~CShellExtClassFactory() {
    --veltrane::g_objectCount;
}

STDMETHODIMP CShellExtClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::AddRef() {
    return veltrane::ComAddRef(m_refCount);
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::Release() {
    return veltrane::ComRelease(this, m_refCount);
}

STDMETHODIMP CShellExtClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    veltrane::ModuleStateScope scope;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    CShellExt* object = nullptr;
    try {
        object = new CShellExt;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    const HRESULT result = object->QueryInterface(riid, ppv);
    // Nobody holds a reference to an object whose first query failed: free it here, or it
    // would stay counted and the module could never be unloaded.
    if (FAILED(result)) delete object;
    return result;
}

STDMETHODIMP CShellExtClassFactory::LockServer(BOOL) {
    return S_OK;
}
