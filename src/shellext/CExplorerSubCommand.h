#pragma once
// One command of the Windows 11 "Veltrane" flyout: the command-table entry at one offset,
// with the classic menu's caption and help text, run on the shell items Explorer passes.
// Explorer gives it its site, from which the owner window of the dialogs comes.

#include <windows.h>
#include <ocidl.h>
#include <shobjidl.h>

#include <cstdint>

#include "framework/ComObject.h"
#include "framework/Handles.h"

class CExplorerSubCommand final
    : public veltrane::ComObject<CExplorerSubCommand, IExplorerCommand, IObjectWithSite> {
public:
    // `offset` into the command table; an offset beyond it is the Help command, as in the
    // classic menu.
    explicit CExplorerSubCommand(std::uint32_t offset);

    // IExplorerCommand
    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* infoTip) override;
    STDMETHODIMP GetCanonicalName(GUID* commandName) override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    // A wipe command wipes the items' file-system paths with the classic menu's job (its
    // dialog, report and cancel) and returns when the job ends; Help and About do what
    // they do in the classic menu.
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* bindContext) override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID riid, void** site) override;

private:
    // The window of the site, or null.
    HWND OwnerWindow() const;

    std::uint32_t m_offset;
    veltrane::ComPtr<IUnknown> m_site;
};
