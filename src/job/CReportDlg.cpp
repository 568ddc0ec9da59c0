#include "job/CReportDlg.h"

#include <cstring>
#include <utility>

#include "resource.h"

CReportDlg::CReportDlg(HWND parent, std::wstring summary, std::wstring lines)
    : CDialog(IDD_REPORT, parent), m_summary(std::move(summary)), m_lines(std::move(lines)) {}

const veltrane::MessageMap* CReportDlg::GetMessageMap() const {
    static const veltrane::MessageMapEntry entries[] = {
        veltrane::MapClicked<&CReportDlg::OnCopy>(IDC_REPORT_COPY),
    };
    static const veltrane::MessageMap map =
        veltrane::MakeMessageMap(CDialog::GetMessageMap(), entries);
    return &map;
}

BOOL CReportDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetWindowTextW(GetDlgItem(IDC_REPORT_SUMMARY), m_summary.c_str());
    const HWND list = GetDlgItem(IDC_REPORT_LIST);
    // No limit but memory: the default would cut a long report short.
    ::SendMessageW(list, EM_SETLIMITTEXT, 0, 0);
    ::SetWindowTextW(list, m_lines.c_str());
    ::SetFocus(GetDlgItem(IDOK));
    return FALSE;  // the focus is set
}

void CReportDlg::OnCopy() {
    if (!::OpenClipboard(GetSafeHwnd())) return;
    ::EmptyClipboard();
    const std::size_t bytes = (m_lines.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* data = ::GlobalLock(block)) {
            std::memcpy(data, m_lines.c_str(), bytes);
            ::GlobalUnlock(block);
            // The clipboard owns the block once it is set.
            if (!::SetClipboardData(CF_UNICODETEXT, block)) ::GlobalFree(block);
        } else {
            ::GlobalFree(block);
        }
    }
    ::CloseClipboard();
}
