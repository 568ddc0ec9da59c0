#pragma once
// The report at the end of a job that could not wipe everything: a summary line, the list
// as selectable text (an edit control reads well with thousands of lines, where a message
// box would not), Copy, which puts the list on the clipboard, and OK.

#include <windows.h>

#include <string>

#include "framework/Dialog.h"

class CReportDlg : public veltrane::CDialog {
public:
    CReportDlg(HWND parent, std::wstring summary, std::wstring lines);

protected:
    const veltrane::MessageMap* GetMessageMap() const override;
    BOOL OnInitDialog() override;

private:
    void OnCopy();

    std::wstring m_summary;
    std::wstring m_lines;
};
