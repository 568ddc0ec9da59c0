#pragma once
// The class factory of CExplorerCommand. Every DllGetClassObject call for
// CLSID_ExplorerCommand makes a new one.

#include <windows.h>
#include <unknwn.h>

class CExplorerCommandClassFactory final : public IClassFactory {
public:
    CExplorerCommandClassFactory();
    ~CExplorerCommandClassFactory();
    CExplorerCommandClassFactory(const CExplorerCommandClassFactory&) = delete;
    CExplorerCommandClassFactory& operator=(const CExplorerCommandClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    ULONG m_refCount;
};
