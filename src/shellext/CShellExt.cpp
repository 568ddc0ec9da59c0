// Construction, destruction and identity of the extension object. The shell methods are
// in ContextMenu.cpp.
#include "shellext/CShellExt.h"

#include "framework/Module.h"
#include "framework/ModuleStateScope.h"
#include "job/RunFreeSpaceJob.h"
#include "job/RunWipeJob.h"
#include "resource.h"

CShellExt::CShellExt() {
    veltrane::ModuleStateScope scope;
    // Without its bitmap the submenu is still usable: a failed load leaves the handle null.
    m_menuBitmap.reset(
        ::LoadBitmapA(veltrane::ResourceInstance(), MAKEINTRESOURCEA(IDB_MENU_BITMAP)));
}

CShellExt::~CShellExt() {
    veltrane::ModuleStateScope scope;
    m_dataObject.Reset();
    m_menuBitmap.reset();
    m_selection.clear();
}

HRESULT CShellExt::RunWipeJob(HWND owner, UINT method) {
    return veltrane::RunWipeJob(owner, method, m_selection);
}

HRESULT CShellExt::RunFreeSpaceJobs(HWND owner, UINT method) {
    for (const std::string& volume : m_selection) {
        veltrane::RunFreeSpaceJob(owner, method, volume);
    }
    return S_OK;
}
