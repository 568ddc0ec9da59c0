#include "shellext/CExplorerSubCommand.h"

#include <shlwapi.h>

#include "about/About.h"
#include "framework/ModuleStateScope.h"
#include "job/RecycleBinShell.h"
#include "job/RunFreeSpaceJob.h"
#include "job/RunWipeJob.h"
#include "job/WipeConfirmation.h"
#include "shellext/CommandTable.h"
#include "shellext/ExplorerCommandText.h"
#include "shellext/HelpLauncher.h"
#include "shellext/ShellEntry.h"
#include "shellext/ShellItemPaths.h"

using veltrane::ShellEntry;

CExplorerSubCommand::CExplorerSubCommand(std::uint32_t offset) : m_offset(offset) {}

namespace {

// The menu the items get: drives have the free-space commands at the same offsets.
veltrane::MenuKind KindOf(IShellItemArray* items) {
    return veltrane::MenuKindForSelection(veltrane::ShellItemPaths(items));
}

}  // namespace

STDMETHODIMP CExplorerSubCommand::GetTitle(IShellItemArray* items, LPWSTR* name) {
    return ShellEntry(E_FAIL, [&] {
        return veltrane::CoTaskText(
            veltrane::ExplorerTitle(veltrane::CommandForOffset(m_offset, KindOf(items))).c_str(),
            name);
    });
}

STDMETHODIMP CExplorerSubCommand::GetIcon(IShellItemArray*, LPWSTR* icon) {
    // The classic submenu's items have no pictures either.
    if (icon) *icon = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CExplorerSubCommand::GetToolTip(IShellItemArray* items, LPWSTR* infoTip) {
    return ShellEntry(E_FAIL, [&] {
        return veltrane::CoTaskText(
            veltrane::CommandText(m_offset, veltrane::CommandTextKind::HelpText, KindOf(items)),
            infoTip);
    });
}

STDMETHODIMP CExplorerSubCommand::GetCanonicalName(GUID* commandName) {
    if (commandName) *commandName = GUID_NULL;
    return E_NOTIMPL;
}

STDMETHODIMP CExplorerSubCommand::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) {
    if (!state) return E_POINTER;
    *state = ECS_ENABLED;
    return S_OK;
}

STDMETHODIMP CExplorerSubCommand::Invoke(IShellItemArray* items, IBindCtx*) {
    return ShellEntry(
        E_FAIL,
        [&]() -> HRESULT {
            const std::vector<std::string> selection = veltrane::ShellItemPaths(items);
            const veltrane::MenuCommand& command =
                veltrane::CommandForOffset(m_offset, veltrane::MenuKindForSelection(selection));
            const HWND owner = OwnerWindow();
            switch (command.action) {
                case veltrane::CommandAction::WipeRecycleBin:
                    return veltrane::WipeRecycleBin(owner, command.method, true);
                case veltrane::CommandAction::WipeFreeSpace:
                    if (!veltrane::AskBeforeFreeSpaceWipe(owner, command.method, selection)) {
                        return S_OK;
                    }
                    for (const std::string& volume : selection) {
                        veltrane::RunFreeSpaceJob(owner, command.method, volume);
                    }
                    return S_OK;
                case veltrane::CommandAction::Wipe: {
                    // Nothing selected: no dialog flashes up for an empty job.
                    if (selection.empty()) return S_OK;
                    if (!veltrane::AskBeforeWipe(owner, command.method, selection)) {
                        return S_OK;  // declined: nothing is touched
                    }
                    return veltrane::RunWipeJob(owner, command.method, selection);
                }
                case veltrane::CommandAction::About: {
                    About about(nullptr);
                    about.DoModal();
                    return S_OK;
                }
                case veltrane::CommandAction::Help:
                    veltrane::ShowHelp(owner);
                    return S_OK;
            }
            return S_OK;
        },
        veltrane::EdgeReport::Show);
}

STDMETHODIMP CExplorerSubCommand::GetFlags(EXPCMDFLAGS* flags) {
    if (!flags) return E_POINTER;
    // The classic submenu has its separator in front of Help.
    *flags = m_offset == veltrane::kHelpOffset ? ECF_SEPARATORBEFORE : ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP CExplorerSubCommand::EnumSubCommands(IEnumExplorerCommand** commands) {
    if (commands) *commands = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CExplorerSubCommand::SetSite(IUnknown* site) {
    m_site = veltrane::ComPtr<IUnknown>(site);
    return S_OK;
}

STDMETHODIMP CExplorerSubCommand::GetSite(REFIID riid, void** site) {
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(riid, site);
}

HWND CExplorerSubCommand::OwnerWindow() const {
    HWND hwnd = nullptr;
    // Asks the site for IOleWindow and the other ways a shell site names its window.
    if (!m_site || FAILED(::IUnknown_GetWindow(m_site.Get(), &hwnd))) return nullptr;
    return hwnd;
}
