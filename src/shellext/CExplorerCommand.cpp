#include "shellext/CExplorerCommand.h"

#include <new>

#include "framework/ModuleStateScope.h"
#include "shellext/CExplorerCommandEnum.h"
#include "shellext/CommandTable.h"
#include "shellext/ExplorerCommandText.h"
#include "shellext/Guid.h"
#include "shellext/ShellEntry.h"

using veltrane::ShellEntry;

STDMETHODIMP CExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name) {
    return ShellEntry(E_FAIL,
                      [&] { return veltrane::CoTaskText(veltrane::kSubmenuCaption, name); });
}

STDMETHODIMP CExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon) {
    return ShellEntry(E_FAIL, [&]() -> HRESULT {
        if (!icon) return E_POINTER;
        *icon = nullptr;
        const std::wstring location = veltrane::MenuIconLocation();
        if (location.empty()) return E_FAIL;
        return veltrane::CoTaskText(location, icon);
    });
}

STDMETHODIMP CExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* infoTip) {
    // What the classic menu answers for anything that is not one of its commands.
    return ShellEntry(E_FAIL,
                      [&] { return veltrane::CoTaskText(veltrane::kUnknownCommandText, infoTip); });
}

STDMETHODIMP CExplorerCommand::GetCanonicalName(GUID* commandName) {
    if (!commandName) return E_POINTER;
    *commandName = CLSID_ExplorerCommand;
    return S_OK;
}

STDMETHODIMP CExplorerCommand::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) {
    if (!state) return E_POINTER;
    *state = ECS_ENABLED;
    return S_OK;
}

STDMETHODIMP CExplorerCommand::Invoke(IShellItemArray*, IBindCtx*) {
    return E_NOTIMPL;
}

STDMETHODIMP CExplorerCommand::GetFlags(EXPCMDFLAGS* flags) {
    if (!flags) return E_POINTER;
    *flags = ECF_HASSUBCOMMANDS;
    return S_OK;
}

STDMETHODIMP CExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands) {
    return ShellEntry(E_FAIL, [&]() -> HRESULT {
        if (!commands) return E_POINTER;
        *commands = nullptr;
        auto* list = new (std::nothrow) CExplorerCommandEnum(0);
        if (!list) return E_OUTOFMEMORY;
        const HRESULT result =
            list->QueryInterface(IID_IEnumExplorerCommand, reinterpret_cast<void**>(commands));
        if (FAILED(result)) delete list;
        return result;
    });
}
