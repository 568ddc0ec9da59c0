#pragma once
// The report at the end of a job that could not wipe everything: a summary line, then one
// row an item in three columns (the item, what became of it, why), long paths shortened in
// the middle to fit their column; the window can be resized, and Copy puts every row in
// full on the clipboard. The list is virtual: thousands of rows cost nothing until shown.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "job/ReportText.h"

class CReportDlg : public veltrane::CDialog {
public:
    // `later`, when given, shows "Wipe at next sign-in": it queues the files another
    // program held open and says whether that worked.
    CReportDlg(HWND parent, std::wstring summary, std::vector<veltrane::ReportRow> rows,
               std::wstring copyText, std::function<bool()> later = nullptr);

protected:
    const veltrane::MessageMap* GetMessageMap() const override;
    BOOL OnInitDialog() override;

private:
    void OnCopy();
    void OnLater();
    INT_PTR OnNotify(WPARAM wParam, LPARAM lParam);
    INT_PTR OnSize(WPARAM wParam, LPARAM lParam);
    INT_PTR OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam);
    // The text of one cell, the item's path shortened to its column's width.
    std::wstring CellText(std::size_t row, int column) const;

    std::wstring m_summary;
    std::vector<veltrane::ReportRow> m_rows;
    std::wstring m_copyText;
    std::function<bool()> m_later;
    std::wstring m_cell;  // what the list was last given; it keeps the pointer until it asks again
    int m_charWidth = 7;
    // From the template, as laid out at the start: the window's smallest size, and how far
    // the list and the buttons stay from the right and bottom edges.
    SIZE m_minimum{};
    RECT m_listMargins{};
    POINT m_copyFromCorner{};
    POINT m_laterFromCorner{};
    POINT m_okFromCorner{};
};
