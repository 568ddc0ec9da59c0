#pragma once
// The "Veltrane" command of the Windows 11 context menu: a flyout whose sub-commands are
// the classic submenu's eight commands. Explorer finds it through the package's
// windows.fileExplorerContextMenus extension and creates it by CLSID_ExplorerCommand.

#include <windows.h>
#include <shobjidl.h>

#include "framework/ComObject.h"

class CExplorerCommand final : public veltrane::ComObject<CExplorerCommand, IExplorerCommand> {
public:
    // IExplorerCommand
    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* infoTip) override;
    STDMETHODIMP GetCanonicalName(GUID* commandName) override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    // A flyout is never run itself.
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* bindContext) override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override;
};
