#pragma once
// The class factory of CShellExt. Every DllGetClassObject call makes a new one.

#include <windows.h>
#include <unknwn.h>

class CShellExtClassFactory final : public IClassFactory {
public:
    CShellExtClassFactory();
    ~CShellExtClassFactory();
    CShellExtClassFactory(const CShellExtClassFactory&) = delete;
    CShellExtClassFactory& operator=(const CShellExtClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    ULONG m_refCount;
};
