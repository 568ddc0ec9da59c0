#include "job/CReportDlg.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstring>
#include <utility>

#include "resource.h"

namespace {

constexpr int kColumns = 3;

RECT ChildRect(HWND dialog, int id) {
    RECT rect{};
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

CReportDlg::CReportDlg(HWND parent, std::wstring summary, std::vector<veltrane::ReportRow> rows,
                       std::wstring copyText, std::function<bool()> later)
    : CDialog(IDD_REPORT, parent),
      m_summary(std::move(summary)),
      m_rows(std::move(rows)),
      m_copyText(std::move(copyText)),
      m_later(std::move(later)) {
    // The list's window class, before the template makes the list.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&classes);
}

const veltrane::MessageMap* CReportDlg::GetMessageMap() const {
    static const veltrane::MessageMapEntry entries[] = {
        veltrane::MapClicked<&CReportDlg::OnCopy>(IDC_REPORT_COPY),
        veltrane::MapClicked<&CReportDlg::OnLater>(IDC_REPORT_LATER),
        veltrane::MapMessage<&CReportDlg::OnNotify>(WM_NOTIFY),
        veltrane::MapMessage<&CReportDlg::OnSize>(WM_SIZE),
        veltrane::MapMessage<&CReportDlg::OnGetMinMaxInfo>(WM_GETMINMAXINFO),
    };
    static const veltrane::MessageMap map =
        veltrane::MakeMessageMap(CDialog::GetMessageMap(), entries);
    return &map;
}

BOOL CReportDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const HWND dialog = GetSafeHwnd();
    ::SetWindowTextW(GetDlgItem(IDC_REPORT_SUMMARY), m_summary.c_str());

    // Where everything sits at the start, to keep it so as the window is resized.
    RECT window{};
    ::GetWindowRect(dialog, &window);
    m_minimum = SIZE{window.right - window.left, window.bottom - window.top};
    RECT client{};
    ::GetClientRect(dialog, &client);
    const RECT list = ChildRect(dialog, IDC_REPORT_LIST);
    m_listMargins =
        RECT{list.left, list.top, client.right - list.right, client.bottom - list.bottom};
    const RECT copy = ChildRect(dialog, IDC_REPORT_COPY);
    const RECT ok = ChildRect(dialog, IDOK);
    m_copyFromCorner = POINT{client.right - copy.left, client.bottom - copy.top};
    const RECT later = ChildRect(dialog, IDC_REPORT_LATER);
    m_laterFromCorner = POINT{client.right - later.left, client.bottom - later.top};
    if (m_later) ::ShowWindow(GetDlgItem(IDC_REPORT_LATER), SW_SHOW);
    m_okFromCorner = POINT{client.right - ok.left, client.bottom - ok.top};

    const HWND view = GetDlgItem(IDC_REPORT_LIST);
    // Notifications as wide text, whatever the dialog's own character set.
    ::SendMessageW(view, CCM_SETUNICODEFORMAT, TRUE, 0);
    ListView_SetExtendedListViewStyle(view, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    if (HDC dc = ::GetDC(view)) {
        const HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(view, WM_GETFONT, 0, 0)));
        TEXTMETRICW metrics{};
        if (::GetTextMetricsW(dc, &metrics) && metrics.tmAveCharWidth > 0) {
            m_charWidth = metrics.tmAveCharWidth;
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(view, dc);
    }
    const wchar_t* const titles[kColumns] = {L"Item", L"What became of it", L"Why"};
    const int widths[kColumns] = {38, 27, 35};  // percent of the list's width
    const int total = list.right - list.left - ::GetSystemMetrics(SM_CXVSCROLL) - 4;
    for (int i = 0; i < kColumns; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(titles[i]);
        column.cx = total * widths[i] / 100;
        column.iSubItem = i;
        ::SendMessageW(view, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&column));
    }
    ListView_SetItemCountEx(view, static_cast<int>(m_rows.size()), LVSICF_NOINVALIDATEALL);
    ::SetFocus(GetDlgItem(IDOK));
    return FALSE;  // the focus is set
}

std::wstring CReportDlg::CellText(std::size_t row, int column) const {
    const veltrane::ReportRow& entry = m_rows[row];
    if (column == 1) return entry.outcome;
    if (column == 2) return entry.why;
    // "C:\Users\me\...\Holiday photos": the start and the name stay, the middle goes.
    const int width = ListView_GetColumnWidth(GetDlgItem(IDC_REPORT_LIST), 0);
    const int chars = width / m_charWidth - 1;
    if (chars < 8 || static_cast<int>(entry.item.size()) <= chars) return entry.item;
    std::wstring shortened(static_cast<std::size_t>(chars) + 1, L'\0');
    if (!::PathCompactPathExW(&shortened[0], entry.item.c_str(), static_cast<UINT>(chars + 1), 0)) {
        return entry.item;
    }
    shortened.resize(std::wcslen(shortened.c_str()));
    return shortened;
}

INT_PTR CReportDlg::OnNotify(WPARAM, LPARAM lParam) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom != IDC_REPORT_LIST || header->code != LVN_GETDISPINFOW) return FALSE;
    auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
    const std::size_t row = static_cast<std::size_t>(info->item.iItem);
    if (!(info->item.mask & LVIF_TEXT) || row >= m_rows.size()) return FALSE;
    m_cell = CellText(row, info->item.iSubItem);
    if (info->item.pszText && info->item.cchTextMax > 0) {
        const std::size_t room = static_cast<std::size_t>(info->item.cchTextMax) - 1;
        const std::size_t length = m_cell.size() < room ? m_cell.size() : room;
        std::memcpy(info->item.pszText, m_cell.c_str(), length * sizeof(wchar_t));
        info->item.pszText[length] = L'\0';
    }
    return TRUE;
}

INT_PTR CReportDlg::OnSize(WPARAM, LPARAM lParam) {
    const int width = LOWORD(lParam);
    const int height = HIWORD(lParam);
    const HWND dialog = GetSafeHwnd();
    ::SetWindowPos(GetDlgItem(IDC_REPORT_LIST), nullptr, m_listMargins.left, m_listMargins.top,
                   width - m_listMargins.left - m_listMargins.right,
                   height - m_listMargins.top - m_listMargins.bottom, SWP_NOZORDER);
    ::SetWindowPos(GetDlgItem(IDC_REPORT_LATER), nullptr, width - m_laterFromCorner.x,
                   height - m_laterFromCorner.y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
    ::SetWindowPos(GetDlgItem(IDC_REPORT_COPY), nullptr, width - m_copyFromCorner.x,
                   height - m_copyFromCorner.y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
    ::SetWindowPos(GetDlgItem(IDOK), nullptr, width - m_okFromCorner.x, height - m_okFromCorner.y,
                   0, 0, SWP_NOZORDER | SWP_NOSIZE);
    const RECT summary = ChildRect(dialog, IDC_REPORT_SUMMARY);
    ::SetWindowPos(GetDlgItem(IDC_REPORT_SUMMARY), nullptr, 0, 0,
                   width - m_listMargins.left - m_listMargins.right, summary.bottom - summary.top,
                   SWP_NOZORDER | SWP_NOMOVE);
    ::InvalidateRect(dialog, nullptr, TRUE);
    return TRUE;
}

INT_PTR CReportDlg::OnGetMinMaxInfo(WPARAM, LPARAM lParam) {
    if (m_minimum.cx == 0) return FALSE;  // before the dialog knows its start
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize = POINT{m_minimum.cx, m_minimum.cy};
    return TRUE;
}

void CReportDlg::OnLater() {
    if (!m_later) return;
    const bool queued = m_later();
    const HWND button = GetDlgItem(IDC_REPORT_LATER);
    if (queued) {
        m_summary += L" The files another program had open will be wiped at your next sign-in.";
        ::SetWindowTextW(GetDlgItem(IDC_REPORT_SUMMARY), m_summary.c_str());
        ::SetFocus(GetDlgItem(IDOK));
        ::EnableWindow(button, FALSE);
    } else {
        ::MessageBoxW(GetSafeHwnd(), L"The files could not be queued for your next sign-in.",
                      L"Veltrane", MB_OK | MB_ICONEXCLAMATION);
    }
}

void CReportDlg::OnCopy() {
    if (!::OpenClipboard(GetSafeHwnd())) return;
    ::EmptyClipboard();
    const std::size_t bytes = (m_copyText.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* data = ::GlobalLock(block)) {
            std::memcpy(data, m_copyText.c_str(), bytes);
            ::GlobalUnlock(block);
            // The clipboard owns the block once it is set.
            if (!::SetClipboardData(CF_UNICODETEXT, block)) ::GlobalFree(block);
        } else {
            ::GlobalFree(block);
        }
    }
    ::CloseClipboard();
}
