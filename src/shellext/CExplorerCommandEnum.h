#pragma once
// The sub-commands of the Windows 11 "Veltrane" flyout, in the classic submenu's order: a
// new CExplorerSubCommand for each command of the command table.

#include <windows.h>
#include <shobjidl.h>

class CExplorerCommandEnum final : public IEnumExplorerCommand {
public:
    // Starts at `position` (an offset of the command table).
    explicit CExplorerCommandEnum(ULONG position);
    ~CExplorerCommandEnum();
    CExplorerCommandEnum(const CExplorerCommandEnum&) = delete;
    CExplorerCommandEnum& operator=(const CExplorerCommandEnum&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IEnumExplorerCommand: S_OK when all `count` were delivered, S_FALSE when fewer.
    STDMETHODIMP Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumExplorerCommand** copy) override;

private:
    ULONG m_refCount;
    ULONG m_position;
};
