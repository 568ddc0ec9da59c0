#pragma once
// The class factory of a COM class of the module, written once for both: Server hands out
// a new one for every DllGetClassObject call, and it makes `Object`s.

#include <windows.h>
#include <unknwn.h>

#include <new>

#include "framework/ComRefCount.h"
#include "framework/ModuleStateScope.h"

namespace veltrane {

template <class Object>
class ClassFactory final : public IClassFactory {
public:
    ClassFactory() { ++g_objectCount; }
    ~ClassFactory() { --g_objectCount; }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ComAddRef(m_refCount); }
    STDMETHODIMP_(ULONG) Release() override { return ComRelease(this, m_refCount); }

    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        ModuleStateScope scope;
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        Object* object = nullptr;
        try {
            object = new Object;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;  // nothing may leave a COM method
        }
        const HRESULT result = object->QueryInterface(riid, ppv);
        // Nobody holds a reference to an object whose first query failed: free it here, or
        // it would stay counted and the module could never be unloaded.
        if (FAILED(result)) delete object;
        return result;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ULONG m_refCount = 0;
};

}  // namespace veltrane
