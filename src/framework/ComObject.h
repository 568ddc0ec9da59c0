#pragma once
// A COM object of the module, its bookkeeping written once: QueryInterface over the
// interfaces it lists, the reference count, and the module's count of live objects.
//
//     class CShellExt final : public ComObject<CShellExt, IShellExtInit, IContextMenu> {...};
//
// IUnknown is answered with the first interface listed (or with `Derived::Identity` where
// Derived names one), whichever interface it is asked through. No virtual destructor: the object is
// deleted as `Derived`, so its layout stays the interfaces' vtable pointers followed by the count
// and Derived's fields. Objects are apartment-threaded: one object's count is only touched by the
// thread that owns it. The module-wide count is shared by every apartment of the process and is
// therefore atomic.

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <type_traits>

#include "framework/ModuleStateScope.h"

namespace veltrane {

// Number of live COM objects of the module (factories and extension objects), which
// decides whether the module may be unloaded. References do not count.
inline std::atomic<long> g_objectCount{0};

// The interface that answers IUnknown: Derived::Identity if it has one, else `First`.
template <class Derived, class First, class = void>
struct ComIdentityOf {
    using type = First;
};
template <class Derived, class First>
struct ComIdentityOf<Derived, First, std::void_t<typename Derived::Identity>> {
    using type = typename Derived::Identity;
};

template <class Derived, class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        using Identity = typename ComIdentityOf<Derived, First>::type;
        *ppv = IsEqualIID(riid, IID_IUnknown) ? static_cast<Identity*>(this)
                                              : Find<First, Rest...>(riid);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refCount; }
    // At 0 the object is destroyed and freed, with the module's state in place for its
    // destructor.
    STDMETHODIMP_(ULONG) Release() override {
        ModuleStateScope scope;
        const ULONG count = --m_refCount;
        if (count == 0) delete static_cast<Derived*>(this);
        return count;
    }

protected:
    ComObject() noexcept { ++g_objectCount; }
    // Last of all, after Derived's members have gone.
    ~ComObject() { --g_objectCount; }

private:
    template <class Interface, class... More>
    void* Find(REFIID riid) {
        if (IsEqualIID(riid, __uuidof(Interface))) return static_cast<Interface*>(this);
        if constexpr (sizeof...(More) > 0) {
            return Find<More...>(riid);
        } else {
            return nullptr;
        }
    }

    ULONG m_refCount = 0;
};

}  // namespace veltrane
