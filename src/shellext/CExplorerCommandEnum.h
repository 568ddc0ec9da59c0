#pragma once
// The sub-commands of the Windows 11 "Veltrane" flyout, in the classic submenu's order: a
// new CExplorerSubCommand for each command of the command table.

#include <windows.h>
#include <shobjidl.h>

#include "framework/ComObject.h"

class CExplorerCommandEnum final
    : public veltrane::ComObject<CExplorerCommandEnum, IEnumExplorerCommand> {
public:
    // Starts at `position` (an offset of the command table).
    explicit CExplorerCommandEnum(ULONG position);

    // IEnumExplorerCommand: S_OK when all `count` were delivered, S_FALSE when fewer.
    STDMETHODIMP Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumExplorerCommand** copy) override;

private:
    ULONG m_position;
};
