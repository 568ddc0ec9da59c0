#pragma once
// The class factory of a COM class of the module, written once for both: Server hands out
// a new one for every DllGetClassObject call, and it makes `Object`s.

#include <windows.h>
#include <unknwn.h>

#include <new>

#include "framework/ComObject.h"
#include "framework/ModuleStateScope.h"

namespace veltrane {

template <class Object>
class ClassFactory final : public ComObject<ClassFactory<Object>, IClassFactory> {
public:
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
};

}  // namespace veltrane
