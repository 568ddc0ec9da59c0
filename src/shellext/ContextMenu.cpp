// The four shell methods of CShellExt: reading the selection, the "Veltrane" submenu, its
// verbs and help texts, and running the chosen command.

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <exception>

#include "about/About.h"
#include "framework/ExceptionReport.h"
#include "framework/ModuleStateScope.h"
#include "job/RecycleBinShell.h"
#include "job/WipeConfirmation.h"
#include "shellext/CShellExt.h"
#include "shellext/CommandTable.h"
#include "shellext/HelpLauncher.h"
#include "shellext/PackagedMenu.h"
#include "shellext/ShellEntry.h"
#include "shellext/ShellItemPaths.h"

namespace {

constexpr UINT kAllFiles = 0xFFFFFFFF;
constexpr UINT kCommandCount = static_cast<UINT>(veltrane::kMenuCommands.size());
// SetMenuItemBitmaps addresses the popup entry by position with this flag value.
constexpr UINT kBitmapByPosition = MF_BYPOSITION | 0x4;
// Only these four bits of QueryContextMenu's flags decide anything.
constexpr UINT kMenuFlagsMask = CMF_DEFAULTONLY | CMF_VERBSONLY | CMF_EXPLORE | CMF_NOVERBS;

using veltrane::ShellEntry;

bool ShouldBuildMenu(UINT uFlags) {
    const UINT flags = uFlags & kMenuFlagsMask;
    if (flags == 0) return true;
    if (flags & CMF_VERBSONLY) return false;
    return (flags & CMF_EXPLORE) != 0;
}

// Releases a storage medium that GetData filled, on every path.
class MediumRelease {
public:
    explicit MediumRelease(STGMEDIUM& medium) : m_medium(medium) {}
    ~MediumRelease() { ::ReleaseStgMedium(&m_medium); }
    MediumRelease(const MediumRelease&) = delete;
    MediumRelease& operator=(const MediumRelease&) = delete;

private:
    STGMEDIUM& m_medium;
};

}  // namespace

STDMETHODIMP CShellExt::Initialize(PCIDLIST_ABSOLUTE /*pidlFolder*/, IDataObject* pdtobj,
                                   HKEY /*hkeyProgID*/) {
    return ShellEntry(E_FAIL, [&]() -> HRESULT {
        m_dataObject.Reset();
        if (!pdtobj) return E_FAIL;  // the earlier selection stays
        m_dataObject = veltrane::ComPtr<IDataObject>(pdtobj);
        return ReadSelection();
    });
}

HRESULT CShellExt::ReadSelection() {
    m_selection.clear();
    m_menuKind = veltrane::MenuKind::Files;
    if (!m_dataObject) return S_OK;

    // The Recycle Bin's own icon: whatever drop list its object may also serve (a shell
    // may give the bin's folder path), the command is for everything in it.
    if (veltrane::IsRecycleBinObject(m_dataObject.Get())) {
        m_menuKind = veltrane::MenuKind::RecycleBin;
        return S_OK;
    }
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(m_dataObject->GetData(&format, &medium))) return E_FAIL;
    const MediumRelease release(medium);
    // A data object may answer with another medium than the one asked for; only a global
    // memory block is a drop list.
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) return E_FAIL;
    const HDROP drop = static_cast<HDROP>(medium.hGlobal);

    // Wide names only: the ANSI form of a name may be a best-fit approximation that names
    // another file. Each name is asked for at its own length, so long paths arrive whole.
    const UINT count = ::DragQueryFileW(drop, kAllFiles, nullptr, 0);
    if (count > 0) {
        m_selection.assign(count, std::string());
        for (UINT i = 0; i < count; ++i) {
            const UINT needed = ::DragQueryFileW(drop, i, nullptr, 0);
            if (needed == 0) continue;  // not delivered: stays empty
            std::wstring name(static_cast<std::size_t>(needed) + 1, L'\0');
            const UINT copied = ::DragQueryFileW(drop, i, &name[0], needed + 1);
            if (copied != needed) continue;
            name.resize(copied);
            m_selection[i] = veltrane::SelectedPath(name);
        }
        m_selection.shrink_to_fit();
    }
    // Items picked inside the Recycle Bin's folder go with their records.
    m_selection = veltrane::WithRecycledRecords(veltrane::PlatformFileSystem(), m_selection);
    m_menuKind = veltrane::MenuKindForSelection(m_selection);
    return S_OK;
}

STDMETHODIMP CShellExt::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst,
                                         UINT idCmdLast, UINT uFlags) {
    return ShellEntry(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), [&]() -> HRESULT {
        if (!ShouldBuildMenu(uFlags)) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        // Where Windows 11's package serves this user, its command is the one entry.
        if (veltrane::PackagedMenuServesThisUser()) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        // Identifiers beyond the range the shell handed out belong to other handlers: a
        // command there could be taken for ours.
        if (idCmdLast < idCmdFirst || idCmdLast - idCmdFirst < kCommandCount - 1) {
            return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        }
        return BuildMenu(hmenu, indexMenu, idCmdFirst, m_menuBitmap.get());
    });
}

HRESULT CShellExt::BuildMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, HBITMAP bitmap) {
    veltrane::UniqueMenu popup(::CreateMenu());
    if (!popup) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    if (!::InsertMenuA(hmenu, indexMenu, MF_BYPOSITION | MF_POPUP,
                       reinterpret_cast<UINT_PTR>(popup.get()), veltrane::kSubmenuCaption)) {
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);  // the popup is freed; nothing was added
    }
    // From here the shell's menu owns the popup.
    const HMENU items = popup.release();
    ::SetMenuItemBitmaps(hmenu, indexMenu, kBitmapByPosition, bitmap, bitmap);

    const auto& commands = veltrane::MenuCommands(m_menuKind);
    UINT position = 0;
    // For drives and the Recycle Bin the methods go into a popup of their own.
    HMENU methods = items;
    UINT methodPosition = 0;
    if (const char* caption = veltrane::MethodsSubmenuCaption(m_menuKind)) {
        veltrane::UniqueMenu popupOfMethods(::CreatePopupMenu());
        if (popupOfMethods &&
            ::InsertMenuA(items, position, MF_BYPOSITION | MF_POPUP,
                          reinterpret_cast<UINT_PTR>(popupOfMethods.get()), caption)) {
            methods = popupOfMethods.release();
            ++position;
        }
    }
    for (UINT offset = 0; offset < kCommandCount; ++offset) {
        const bool method = offset < veltrane::kHelpOffset;
        HMENU into = method ? methods : items;
        UINT& at = method && methods != items ? methodPosition : position;
        if (offset == veltrane::kHelpOffset) {
            ::InsertMenuA(items, position++, MF_BYPOSITION | MF_SEPARATOR, 0, "");
        }
        ::InsertMenuA(into, at++, MF_BYPOSITION | MF_STRING, idCmdFirst + offset,
                      commands[offset].caption);
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kCommandCount);
}

STDMETHODIMP CShellExt::GetCommandString(UINT_PTR idCmd, UINT uType, UINT* /*pReserved*/,
                                         CHAR* pszName, UINT cchMax) {
    return ShellEntry(E_FAIL, [&]() -> HRESULT {
        veltrane::CommandTextKind kind;
        switch (uType) {
            case GCS_VERBA:
                kind = veltrane::CommandTextKind::Verb;
                break;
            case GCS_HELPTEXTA:
                kind = veltrane::CommandTextKind::HelpText;
                break;
            default:
                return S_OK;  // wide texts and validation: nothing is written
        }
        if (!pszName && cchMax > 0) return E_INVALIDARG;
        const std::uint32_t offset =
            idCmd < kCommandCount ? static_cast<std::uint32_t>(idCmd) : kCommandCount;
        veltrane::CopyCommandText(pszName, cchMax, veltrane::CommandText(offset, kind, m_menuKind));
        return S_OK;
    });
}

STDMETHODIMP CShellExt::InvokeCommand(CMINVOKECOMMANDINFO* lpici) {
    return ShellEntry(
        E_FAIL,
        [&]() -> HRESULT {
            if (!lpici) return E_INVALIDARG;
            // Commands named by a verb string are answered by GetCommandString but never run:
            // a wipe only starts from the menu item itself.
            if (!IS_INTRESOURCE(lpici->lpVerb)) return S_OK;
            const UINT offset = LOWORD(reinterpret_cast<ULONG_PTR>(lpici->lpVerb));
            const veltrane::MenuCommand& command = veltrane::CommandForOffset(offset, m_menuKind);
            const bool ask = !(lpici->fMask & CMIC_MASK_FLAG_NO_UI);
            switch (command.action) {
                case veltrane::CommandAction::WipeFreeSpace:
                    if (ask && !veltrane::AskBeforeFreeSpaceWipe(lpici->hwnd, command.method,
                                                                 m_selection)) {
                        return S_OK;
                    }
                    return RunFreeSpaceJobs(lpici->hwnd, command.method);
                case veltrane::CommandAction::WipeRecycleBin:
                    return veltrane::WipeRecycleBin(lpici->hwnd, command.method, ask);
                case veltrane::CommandAction::Wipe:
                    // A caller that allows no user interface gets the command as chosen.
                    if (ask && !veltrane::AskBeforeWipe(lpici->hwnd, command.method, m_selection)) {
                        return S_OK;  // declined: nothing is touched
                    }
                    return RunWipeJob(lpici->hwnd, command.method);
                case veltrane::CommandAction::About: {
                    About about(nullptr);
                    about.DoModal();
                    return S_OK;
                }
                case veltrane::CommandAction::Help:
                    veltrane::ShowHelp(lpici->hwnd);
                    return S_OK;
            }
            return S_OK;
        },
        veltrane::EdgeReport::Show);
}
