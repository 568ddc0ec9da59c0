#pragma once
// The extension object the shell creates for a context menu: IContextMenu at the start of
// the object, then IShellExtInit. No virtual destructor, so the object is exactly the two
// interfaces' vtable pointers followed by the reference count and the fields.

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "framework/ComObject.h"
#include "framework/Handles.h"
#include "shellext/CommandTable.h"

class CShellExt final : public veltrane::ComObject<CShellExt, IContextMenu, IShellExtInit> {
public:
    CShellExt();
    ~CShellExt();
    CShellExt(const CShellExt&) = delete;
    CShellExt& operator=(const CShellExt&) = delete;

    // IUnknown, the same through either interface, is answered with this pointer.
    using Identity = IShellExtInit;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj,
                            HKEY hkeyProgID) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                  UINT uFlags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* lpici) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName,
                                  UINT cchMax) override;

    // Wipes every item of the selection with `method` (a WipeMethod bit) on the calling
    // thread, showing the progress dialog owned by `owner`. Returns when the job ends, or
    // at once when a job already runs on this thread: the items then join that job.
    HRESULT RunWipeJob(HWND owner, UINT method);
    // Overwrites the free space of every selected drive with `method`, one after the other.
    HRESULT RunFreeSpaceJobs(HWND owner, UINT method);

    // The selected full paths, in the shell's order.
    const std::vector<std::string>& Selection() const { return m_selection; }
    // The submenu bitmap, null if it could not be loaded.
    HBITMAP MenuBitmap() const { return m_menuBitmap.get(); }

private:
    // Fills m_selection from m_dataObject's drop list.
    HRESULT ReadSelection();
    // Inserts the "Veltrane" popup (for drives, its "Wipe Free Space" popup holds the
    // methods); returns the number of command identifiers used.
    HRESULT BuildMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, HBITMAP bitmap);

    veltrane::ComPtr<IDataObject> m_dataObject;
    std::vector<std::string> m_selection;
    veltrane::MenuKind m_menuKind = veltrane::MenuKind::Files;  // of m_selection
    veltrane::UniqueBitmap m_menuBitmap;
};

namespace veltrane {

// Live factories and extension objects (what DllCanUnloadNow looks at).
long LiveObjectCount() noexcept;

}  // namespace veltrane
