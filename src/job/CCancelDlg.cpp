#include "job/CCancelDlg.h"

#include <commctrl.h>

#include <cstdlib>
#include <exception>
#include <vector>

#include "framework/ExceptionReport.h"
#include "framework/Handles.h"
#include "framework/Module.h"
#include "framework/WideText.h"
#include "job/JobLock.h"
#include "resource.h"

namespace {

constexpr UINT_PTR kShowTimer = 10;
constexpr UINT kShowTimerPeriodMs = 500;
// The engine's percentages end at 100, so the file bar never quite reaches its end.
constexpr int kFileBarRange = 101;
// A path too long for the line, shortened in the middle the way the shell does it, so that
// its end, the item's own name, stays visible.
std::wstring FitPath(HWND control, const std::wstring& text) {
    RECT area{};
    if (!::GetClientRect(control, &area) || area.right <= 0) return text;
    veltrane::WindowDC dc(control);
    if (!dc.get()) return text;
    // DT_MODIFYSTRING writes the shortened text in place and may need 4 more characters.
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.resize(text.size() + 5, L'\0');
    RECT fit{0, 0, area.right, area.bottom};
    ::DrawTextExW(dc.get(), buffer.data(), -1, &fit,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_MODIFYSTRING,
                  nullptr);
    return std::wstring(buffer.data());
}

}  // namespace

CCancelDlg::CCancelDlg() : CDialog(IDD_CANCEL, nullptr) {}

CCancelDlg* CCancelDlg::New() noexcept {
    try {
        return new CCancelDlg;
    } catch (const std::exception& e) {
        veltrane::ReportFrameworkException(e);
        return nullptr;
    }
}

CCancelDlg::~CCancelDlg() = default;

BOOL CCancelDlg::Create(HWND parent) {
    m_pParent = parent;
    // The dialog's progress bars and animation are common controls.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&classes);
    return CDialog::Create(IDD_CANCEL, parent);
}

const veltrane::MessageMap* CCancelDlg::GetMessageMap() const {
    static const veltrane::MessageMapEntry entries[] = {
        veltrane::MapTimer<&CCancelDlg::OnTimer>(),
        veltrane::MapShowWindow<&CCancelDlg::OnShowWindow>(),
    };
    static const veltrane::MessageMap map =
        veltrane::MakeMessageMap(CDialog::GetMessageMap(), entries);
    return &map;
}

void CCancelDlg::DoDataExchange(veltrane::CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    veltrane::DDX_Control(dx, IDC_FILE_BAR, m_progFile);
    veltrane::DDX_Control(dx, IDCANCEL, m_btnCancel);
    veltrane::DDX_Control(dx, IDC_STATUS, m_stStatus);
    veltrane::DDX_Control(dx, IDC_PATH, m_stPath);
    veltrane::DDX_Control(dx, IDC_ITEMS_BAR, m_progItems);
    veltrane::DDX_Control(dx, IDC_ANIMATE, m_animate);
}

void CCancelDlg::PostNcDestroy() {
    delete this;
}

BOOL CCancelDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetWindowText("Veltrane");
    m_stStatus.SetWindowText("");

    // pencil.avi beside the module file, whose folder may have any name and length. A
    // module name that cannot be read in full gives no animation rather than a wrong file.
    const std::wstring path = veltrane::ModuleSiblingW(L"pencil.avi");
    if (!path.empty()) {
        BOOL opened = m_animate.Open(veltrane::ResourceInstance(), path.c_str());
        if (!opened) {
            // Some multimedia readers take only names of the ANSI code page; the short
            // form of the name is one whatever the folder is called.
            std::wstring shortPath(32768, L'\0');
            const DWORD n = ::GetShortPathNameW(path.c_str(), &shortPath[0], 32768);
            if (n > 0 && n < 32768) {
                shortPath.resize(n);
                opened = m_animate.Open(veltrane::ResourceInstance(), shortPath.c_str());
            }
        }
        if (opened) m_animate.Play(0, 0xFFFF, static_cast<UINT>(-1));
    }

    CenterWindow();
    veltrane::LockedSet(m_bCancel, 0);
    m_progFile.SetRange32(0, kFileBarRange);
    m_progFile.SetPos(0);
    return TRUE;
}

void CCancelDlg::OnCancel() {
    // The dialog stays open: the job closes it once the worker has stopped.
    m_btnCancel.EnableWindow(FALSE);
    m_stStatus.SetWindowText("Waiting for operation to complete.");
    veltrane::LockedSet(m_bCancel, 1);
}

void CCancelDlg::OnTimer(UINT_PTR) {}

void CCancelDlg::OnShowWindow(BOOL show, UINT) {
    if (show == TRUE) {
        ::SetTimer(GetSafeHwnd(), kShowTimer, kShowTimerPeriodMs, nullptr);
    } else {
        ::KillTimer(GetSafeHwnd(), kShowTimer);
    }
}

void CCancelDlg::SetItemCount(std::int32_t count) {
    m_progItems.SetRange32(0, count);
    m_progItems.SetStep(1);
    m_progItems.SetPos(0);
}

void CCancelDlg::StepItem() {
    m_progItems.StepIt();
}

void CCancelDlg::SetStatusText(std::string text) {
    m_stStatus.SetWindowText(text.c_str());
}

void CCancelDlg::SetPathText(std::string text) {
    const HWND control = m_stPath.GetSafeHwnd();
    if (!control) return;
    ::SetWindowTextW(control, FitPath(control, veltrane::WideForDisplay(text)).c_str());
}

void CCancelDlg::SetFileProgress(std::int32_t percent) {
    m_progFile.SetPos(percent);
}

void CCancelDlg::SetItemRange(std::int32_t count) {
    m_progItems.SetRange32(0, count);
}

void CCancelDlg::ClearCancel() {
    veltrane::LockedSet(m_bCancel, 0);
    m_btnCancel.EnableWindow(TRUE);
}
